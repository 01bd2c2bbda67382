#!/usr/bin/env bash
# The 32-bit product as most operators run it: on 64-bit Windows, under WoW64, here a 64-bit
# prefix made and run by Wine's 64-bit loader, which hands 32-bit programs to the 32-bit one.
# The stand-in is registered by SysWOW64's regsvr32, so its class lives in the registry's 32-bit
# view (Wow6432Node) alone, and the program must find it there and nowhere else. Then the
# refusals at start-up, a session with the component list and the update run as they do in
# the 32-bit prefix (refused.sh, session.sh, update.sh, recorder.sh with QEM_WOW64=1, prefixes and
# screenshots in build/win32/e2e-wow64). Skipped, status 77, where 64-bit Wine cannot run.
# Usage: wow64.sh SOURCE_DIR BUILD_DIR
source "$1/scripts/widths.sh"
if ! width_runs 64; then
  echo "e2e_wow64: skipped: $why_not"
  exit 77
fi
export QEM_WOW64=1
source "$(dirname "$0")/lib.sh" "$1" "$2" wow64
use_prefix sim
clsid='{CDFF5124-8322-4B60-ACEB-F4AFEC1116FD}'
dll=$(winpath "$bin/sim/Varnel.dll")
cp "$bin/QemUtil.exe" "$run/"
exe=$(winpath "$run/QemUtil.exe")

# --- Registered by SysWOW64's regsvr32: the 32-bit view only; the program starts ---------------
# The prefix is shared with the scripts below, which leave the stand-in registered.
for view in 32 64; do wine reg delete "HKCR\\CLSID\\$clsid" /f /reg:$view >/dev/null 2>&1; done
register_stand_in
wine reg query "HKLM\\Software\\Classes\\Wow6432Node\\CLSID\\$clsid\\InprocServer32" /ve 2>/dev/null |
  tr -d '\r' >"$run/view32.out"
grep -qF "REG_SZ    $dll" "$run/view32.out" ||
  fail "the class is not under Wow6432Node: $(tr '\n' ' ' <"$run/view32.out")"
wine reg query "HKCR\\CLSID\\$clsid" /reg:64 >/dev/null 2>&1 &&
  fail "the 32-bit class is in the 64-bit view too"
drive "$run/registered.out" start "$exe" window 30 close exit 30
expect "$run/registered.out" "shown: 1"
expect "$run/registered.out" "exit: 0"

# --- A 64-bit reader, as most screen readers on 64-bit Windows are, reads the tables and the
# gauge of the 32-bit program (its objects marshalled across the widths) as the 32-bit one does
reader64=$source_dir/build/win64/bin/tools/drive.exe
if [ -f "$reader64" ]; then
  printf '[unit]\nstorage = %s\nrate = 0\nlatency = 0\n' "$(winpath "$run/unit")" >"$run/sim.ini"
  export QEMUTIL_SIM_CONFIG=$(winpath "$run/sim.ini")
  drive "$run/reader.owner" start "$exe" window 30 exit 60 &
  owner=$!
  driver=$reader64 drive "$run/reader64.out" attach 30 menu Компоненты \
    wait-status "Запрос списка файлов завершен успешно" 20 acc-grid dgComp acc-gauge
  drive "$run/reader32.out" attach 30 acc-grid dgComp acc-gauge close
  wait "$owner"
  expect "$run/reader.owner" "exit: 0"
  grep '^acc-' "$run/reader64.out" >"$run/reader64.acc"
  grep '^acc-' "$run/reader32.out" | diff - "$run/reader64.acc" >/dev/null ||
    fail "the 64-bit reader reads otherwise than the 32-bit one"
  expect "$run/reader64.out" "acc-rows: 7"
  expect "$run/reader64.out" "acc-cell: 3.4 | Версия"
else
  echo "  no 64-bit reader: $reader64 is not built (scripts/build builds it)"
fi

# --- Registered in the 64-bit view alone, as a 64-bit registration leaves it: a 32-bit program
# cannot load that server, so for it the class is not registered ---------------------------------
wine "$regsvr32" /s /u "$dll" || fail "regsvr32 /u of the stand-in"
wine reg add "HKCR\\CLSID\\$clsid\\InprocServer32" /ve /d "$dll" /f /reg:64 >/dev/null 2>&1 ||
  fail "no class in the 64-bit view"
drive "$run/view64.out" start "$exe" box 30 answer ok exit 30
expect "$run/view64.out" "box-text: COM-объект \"Varnel.dll\": незарегистрирован или отсутствует."
expect "$run/view64.out" "shown: 0"
expect "$run/view64.out" "exit: 0"
wine reg delete "HKCR\\CLSID\\$clsid" /f /reg:64 >/dev/null 2>&1
wineserver -k 2>/dev/null

# --- The rest as in the 32-bit prefix ------------------------------------------------------------
for script in refused session update recorder; do
  started=$SECONDS
  bash "$(dirname "$0")/$script.sh" "$source_dir" "$build_dir" || fail "$script.sh under WoW64"
  echo "  $script.sh under WoW64: $((SECONDS - started)) s"
done
finish
