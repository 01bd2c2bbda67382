#!/usr/bin/env bash
# The update through the real program against the stand-in, driven as a user would: pick a
# folder, press "Обновить", see the success message; the unit then lists the new versions and
# the folder is empty. Closing the window in the middle of a transfer lets the run finish, and
# a file the unit never confirmed stays in the folder. A reader's odd calls during a list and
# an update neither stop the program nor change what its window shows.
# Usage: update.sh SOURCE_DIR BUILD_DIR
source "$(dirname "$0")/lib.sh" "$1" "$2" update
use_prefix sim
register_stand_in
cp "$bin/QemUtil.exe" "$run/"
exe=$(winpath "$run/QemUtil.exe")

# sim.ini for one run: a unit with its own storage and journal, at RATE bytes/s, plus extra lines
# and a latency (ms; none by default).
configure() {
  {
    printf '[unit]\nstorage = %s\njournal = %s\nrate = %s\nlatency = %s\n' \
      "$(winpath "$run/$1.unit")" "$(winpath "$run/$1.journal")" "$2" "${4:-0}"
    printf '%b' "${3:-}"
  } >"$run/$1.ini"
  export QEMUTIL_SIM_CONFIG=$(winpath "$run/$1.ini")
}
calls() { grep -v '^#' "$run/$1.journal"; }

# folder NAME FILE:SIZE...: an update folder of files of made-up content, with a Version.ini.
folder() {
  local dir=$run/$1 entry
  shift
  mkdir -p "$dir"
  for entry in "$@"; do head -c "${entry#*:}" /dev/urandom >"$dir/${entry%:*}"; done
  printf '[VERSION]\r\nMERIDOX.EXE=2.5\r\nSALVIK.EXE=1.9\r\n' >"$dir/Version.ini"
}

start() {
  drive "$run/$1.owner" start "$exe" window 30 exit 120 &
  owner=$!
}
finish_run() { wait "$owner"; expect "$run/$1.owner" "exit: 0"; }

# --- Two files confirmed: the folder empties, the unit lists the new versions ------------------
configure done 0
folder done.upd meridox.exe:200000 Salvik.exe:1048576
start done
drive "$run/done.1" attach 30 menu Обновление sleep 200 folder-set "$(winpath "$run/done.upd")" events-watch \
  click-update wait-status "Обновление файлов завершено успешно" 60 gauge sleep 300 client acc-grid dgUpdate \
  acc-gauge events dgUpdate events Gauge
expect "$run/done.1" "gauge: 100%"
# Read from outside as a screen reader would: each candidate with its status text, the gauge's
# value as it shows it; the status changes and the gauge's moves were announced.
expect "$run/done.1" "acc-row: Диагностический тест MERIDOX, 2.5, обновление выполнено успешно"
expect "$run/done.1" "acc-row: Диагностика системы SALVIK, 1.9, обновление выполнено успешно"
expect "$run/done.1" "acc-cell: обновление выполнено успешно | Статус"
expect "$run/done.1" "acc-gauge-value: 100%"
grep -qE '^events dgUpdate: .*namechange [1-9]' "$run/done.1" || fail "no name change event for a status"
grep -qE '^events Gauge: .*valuechange [1-9]' "$run/done.1" || fail "no value change event of the gauge"
screenshot update-done "$(reading "$run/done.1" client)"
has_colour update-done 71 370 400 14 FF0000 && fail "the success message is red"
drive "$run/done.2" attach 30 menu Компоненты wait-status "Запрос списка файлов завершен успешно" 20 close
finish_run done
[ -z "$(ls -A "$run/done.upd")" ] || fail "left in the folder: $(ls -A "$run/done.upd" | tr '\n' ' ')"
calls done >"$run/done.calls"
for want in 'SendFile(200000, "meridox.exe") = 0' 'SendPacket(27, 4, 03 00 02 05) = 0' \
  'SendFile(1048576, "salvik.exe") = 0' 'SendPacket(27, 4, 03 01 01 09) = 0'; do
  grep -qxF "$want" "$run/done.calls" || fail "no \"$want\" in the journal"
done
[ "$(grep -c '^WaitConfirm(27, 3000) = 0$' "$run/done.calls")" = 2 ] || fail "not two confirmations"
# The file list the unit gave after the update carries the new versions.
idx=$(tr -d '\r' <"$run/done.unit/storage.ini")
grep -A1 -x 'name = meridox.exe' <<<"$idx" | grep -qx 'version = 2.5' || fail "meridox.exe is not 2.5 on the unit"
grep -A1 -x 'name = salvik.exe' <<<"$idx" | grep -qx 'version = 1.9' || fail "salvik.exe is not 1.9 on the unit"

# --- Closing during a transfer: the run goes on; the unconfirmed file stays ---------------------
# 1 MiB at 200 kB/s takes about five seconds; the unit refuses to confirm it.
configure closed 200000 '[fault]\nmethod = WaitConfirm\ncall = 1\nstatus = 6\ntext = Блок отклонил обновление\n'
folder closed.upd meridox.exe:1048576 salvik.exe:1000
start closed
drive "$run/closed.1" attach 30 menu Обновление sleep 200 folder-set "$(winpath "$run/closed.upd")" click-update \
  wait-status 'Обновление "Диагностический тест MERIDOX"...' 20 sleep 1000 close
finish_run closed
calls closed >"$run/closed.calls"
[ -f "$run/closed.upd/meridox.exe" ] || fail "the unconfirmed file was deleted"
[ -f "$run/closed.upd/salvik.exe" ] || fail "the file after the failure was touched"
[ -f "$run/closed.upd/Version.ini" ] || fail "Version.ini went with files left"
grep -qxF 'WaitConfirm(27, 3000) = 6' "$run/closed.calls" || fail "the transfer did not go on to its confirmation"
grep -q '^SendFile(1000,' "$run/closed.calls" && fail "the run went on after the failure"
# The worker finished the run before the window handed the link back and closed it.
printf '%s\n' 'SetInteractive(1) = 0' 'Reset() = 0' 'Close() = 0' 'Shutdown() = 0' >"$run/closed.want"
tail -4 "$run/closed.calls" | diff "$run/closed.want" - >/dev/null ||
  fail "shutdown calls: $(tail -4 "$run/closed.calls" | tr '\n' ';')"

# --- A reader's odd calls during a component list and an update --------------------------------
# From another process, as a careless or hostile reader would make them (drive.exe acc-fuzz): on
# both grids, the gauge and the status line, while a list and then an update replace and
# rewrite the rows; rows held from before the replacement are called after it. Each job is run
# once plainly and once under the calls, and the window must then look exactly the same: neither
# grid takes a selection or the focus from a reader (accSelect answers DISP_E_MEMBERNOTFOUND) and
# no call may change what the window shows, so the whole client area is compared, highlight
# included. Each answer takes 500 ms: the list lasts seconds, the update longer (1 MiB at 100 kB/s).
# The calls during a job may all be made before it replaces the rows, on a fast machine; a few
# more once it has ended make sure replaced rows are called.
listed="Запрос списка файлов завершен успешно"
updated="Обновление файлов завершено успешно"
widgets=dgComp,dgUpdate,Gauge,lbStatus
configure fuzz 100000 '' 500
start fuzz
drive "$run/fuzz.1" attach 30 menu Компоненты wait-status "$listed" 30 sleep 300 client
screenshot fuzz-list-plain "$(reading "$run/fuzz.1" client)"
# The first calls hold rows of the old list; the job replaces them.
drive "$run/fuzz.2" attach 30 acc-fuzz $widgets 200 1 menu Компоненты wait-status-not "$listed" 10 \
  acc-fuzz $widgets 2500 2 wait-status "$listed" 30 acc-fuzz $widgets 300 5 responsive 10 sleep 300 client
expect "$run/fuzz.2" "responsive: 1"
screenshot fuzz-list-odd "$(reading "$run/fuzz.2" client)"
folder fuzz.upd meridox.exe:200000 salvik.exe:1048576
drive "$run/fuzz.3" attach 30 menu Обновление sleep 200 folder-set "$(winpath "$run/fuzz.upd")" click-update \
  wait-status "$updated" 60 sleep 300 client
screenshot fuzz-update-plain "$(reading "$run/fuzz.3" client)"
# The same files again (the unit takes the same versions again); the calls start on the rows of
# the folder's scan, which pressing the button replaces.
folder fuzz.upd meridox.exe:200000 salvik.exe:1048576
drive "$run/fuzz.4" attach 30 menu Обновление sleep 200 folder-set "$(winpath "$run/fuzz.upd")" \
  acc-fuzz $widgets 200 3 click-update wait-status-not "$updated" 10 acc-fuzz $widgets 4000 4 \
  wait-status "$updated" 60 acc-fuzz $widgets 300 6 responsive 10 sleep 300 client
expect "$run/fuzz.4" "responsive: 1"
screenshot fuzz-update-odd "$(reading "$run/fuzz.4" client)"
drive "$run/fuzz.5" attach 30 close
finish_run fuzz
[ -z "$(ls -A "$run/fuzz.upd")" ] || fail "left in the folder after the odd calls: $(ls -A "$run/fuzz.upd" | tr '\n' ' ')"

# The figures of all four runs, summed by kind.
total() { cat "$run"/fuzz.[24] | sed -n "s/^fuzz-$1: //p" | awk '{n += $1} END {print n + 0}'; }
echo "  odd calls: $(total calls) (S_OK $(total ok), S_FALSE $(total false)," \
  "E_INVALIDARG $(total invalidarg), gone $(total gone), unsupported $(total unsupported)," \
  "other $(total other), unreachable $(total dead), odd arguments taken $(total accepted))"
grep -h '^fuzz-code' "$run"/fuzz.[24] | sort | uniq -c | sed 's/^/  /'
(($(total calls) >= 5000)) || fail "only $(total calls) odd calls"
(($(total dead) == 0)) || fail "$(total dead) calls found the program unreachable"
(($(total accepted) == 0)) || fail "$(total accepted) odd arguments taken"
for phase in 2 4; do
  (($(sed -n 's/^fuzz-gone: //p' "$run/fuzz.$phase" | awk '{n += $1} END {print n + 0}') > 0)) ||
    fail "fuzz.$phase called no replaced row"
done
for job in list update; do
  differing=$(compare -metric AE "$shots/fuzz-$job-plain.png" "$shots/fuzz-$job-odd.png" \
    "$run/fuzz-$job-diff.png" 2>&1)
  echo "  pixels differing after the $job: $differing"
  [ "$differing" = 0 ] || fail "the $job under odd calls left $differing pixels otherwise ($run/fuzz-$job-diff.png)"
done

finish
