#!/usr/bin/env bash
# A leak check under load: the real program against an instant stand-in runs COUNT
# update-and-list cycles (three 64 KiB components and a Version.ini copied into the update
# folder, "Обновить", then "Компоненты"). Its handle count, GDI objects and private bytes are
# read after the first cycle (warm) and after the last; the run fails only on clear growth.
# Usage: soak.sh SOURCE_DIR BUILD_DIR [COUNT]  (COUNT 20 by default; scripts/soak runs 200)
source "$(dirname "$0")/lib.sh" "$1" "$2" soak
count=${3:-20}
((count >= 2)) || { echo "soak.sh: at least 2 cycles"; exit 2; }
# Growth from the first cycle to the last that counts as a leak; below it is noise.
handle_limit=10 gdi_limit=10 private_limit=$((2 * 1024 * 1024))

use_prefix sim
register_stand_in
cp "$bin/QemUtil.exe" "$run/"
printf '[unit]\nstorage = %s\nrate = 0\nlatency = 0\n' "$(winpath "$run/unit")" >"$run/sim.ini"
export QEMUTIL_SIM_CONFIG=$(winpath "$run/sim.ini")

# The files each cycle copies into the (then empty) update folder.
mkdir -p "$run/stage" "$run/upd"
for name in meridox.exe salvik.exe tormund.exe; do head -c 65536 /dev/urandom >"$run/stage/$name"; done
printf '[VERSION]\r\nMERIDOX.EXE=2.5\r\nSALVIK.EXE=1.9\r\nTORMUND.EXE=1.1\r\n' >"$run/stage/Version.ini"
stage=$(winpath "$run/stage") upd=$(winpath "$run/upd")

echo "soak: $count update-and-list cycles"
began=$(date +%s)
drive "$run/soak.out" start "$(winpath "$run/QemUtil.exe")" window 30 \
  cycles 1 "$stage" "$upd" 60 resources \
  cycles $((count - 1)) "$stage" "$upd" 60 resources \
  close exit 60 || fail "the driver stopped"
took=$(($(date +%s) - began))
expect "$run/soak.out" "exit: 0"

# figure KEY N: the N-th reading of KEY.
figure() { sed -n "s/^$1: //p" "$run/soak.out" | sed -n "${2}p"; }
verdict=no-growth
report() {  # report NAME KEY LIMIT UNIT
  local start end
  start=$(figure "$2" 1) end=$(figure "$2" 2)
  if [ -z "$start" ] || [ -z "$end" ]; then
    fail "no $1 figures"
    verdict=incomplete
    return
  fi
  printf '  %-15s start %12s  end %12s  difference %+10d  (limit +%s, from %s)\n' \
    "$1" "$start" "$end" $((end - start)) "$3" "$(figure "$2-from" 1)"
  if ((end - start > $3)); then
    fail "$1 grew by $((end - start)) over $((count - 1)) cycles"
    verdict=growth
  fi
}
echo "soak: after cycle 1 (start) and after cycle $count (end):"
report handles handles $handle_limit
report "GDI objects" gdi $gdi_limit
report "private bytes" private $private_limit
measured=$(figure cycles-ms 2)
[ -n "$measured" ] && echo "soak: $count cycles in ${took}s with start-up and shutdown;" \
  "$((measured / (count - 1))) ms a cycle; commands given again after being lost: $(figure lost-commands 2)"
echo "soak: verdict: $verdict"
finish
