#!/usr/bin/env bash
# The update through the real program against the stand-in, driven as a user would: pick a
# folder, press "Обновить", see the success message; the unit then lists the new versions and
# the folder is empty. Closing the window in the middle of a transfer lets the run finish, and
# a file the unit never confirmed stays in the folder.
# Usage: update.sh SOURCE_DIR BUILD_DIR
source "$(dirname "$0")/lib.sh" "$1" "$2" update
use_prefix sim
wine regsvr32 /s "$(winpath "$bin/sim/Varnel.dll")" || fail "regsvr32 of the stand-in"
cp "$bin/QemUtil.exe" "$run/"
exe=$(winpath "$run/QemUtil.exe")

# sim.ini for one run: a unit with its own storage and journal, at RATE bytes/s, plus extra lines.
configure() {
  {
    printf '[unit]\nstorage = %s\njournal = %s\nrate = %s\nlatency = 0\n' \
      "$(winpath "$run/$1.unit")" "$(winpath "$run/$1.journal")" "$2"
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

finish
