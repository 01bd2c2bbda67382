#!/usr/bin/env bash
# Closing the window at every phase of a job: during Initialize, a wait for the unit's answer, a
# transfer, a confirmation and a hand-off (the window thread held while the worker hands off),
# and with the link's own dialog up inside a call: the component's creation and start-up's
# calls, the link failure display, and each of the closing calls.
# The stand-in's latency and rate make each phase long enough to hit. Every time the window must
# close only after the job, within a bounded time, with exit code 0, having deleted nothing the
# unit did not confirm.
# Usage: phases.sh SOURCE_DIR BUILD_DIR   (QEM_FAULT_JOBS=components: the component list only)
source "$(dirname "$0")/lib.sh" "$1" "$2" phases
source "$(dirname "$0")/unit.sh"

# phase JOB NAME UNIT LAST STEPS...: one run. UNIT holds extra [unit] (and [fault]) lines; the
# STEPS, given after the job's command, end in the close request. LAST is the journal line (a
# regular expression) that ends the job: it must come before the worker hands the link back.
phase() {
  local job=$1 name=$2 dir=$run/$2 unit=$3 last=$4 before=$failures
  shift 4
  prepare "$job" "$dir"
  write_ini "$dir" "$unit" ""
  local steps
  mapfile -t steps < <(command_steps "$job" "$dir")
  QEMUTIL_SIM_CONFIG=$(winpath "$dir/sim.ini") drive "$dir/out" start "$exe" window 30 "${steps[@]}" \
    "$@" exit 60 >/dev/null
  runs=$((runs + 1))
  check "$job" "$dir" "$dir/out" - -
  # The job ran to its end, then the worker handed the link back and the window closed it.
  grep -v '^#' "$dir/journal" >"$dir/calls"
  local back
  back=$(grep -n '^SetInteractive(1) = 0$' "$dir/calls" | tail -1 | cut -d: -f1)
  head -n "$((back - 1))" "$dir/calls" | tail -1 | grep -qE "$last" ||
    fail "$name: the job did not end with \"$last\" before the shutdown: $(head -n "$((back - 1))" "$dir/calls" | tail -1)"
  shut_down_once "$name" "$dir/calls"
  ((failures == before)) || failed_runs=$((failed_runs + 1))
}
# shut_down_once NAME CALLS: the worker handed the link back, and the window closed it, once.
shut_down_once() {
  printf '%s\n' 'SetInteractive(1) = 0' 'Reset() = 0' 'Close() = 0' 'Shutdown() = 0' |
    diff - <(tail -4 "$2") >/dev/null || fail "$1: shutdown calls: $(tail -4 "$2" | tr '\n' ';')"
  [ "$(grep -c '^Shutdown() = 0$' "$2")" = 1 ] || fail "$1: the link was shut down $(grep -c "^Shutdown() = 0$" "$2") times, not once"
}

# closed_at JOB NAME UNIT LAST TEXT: a phase closed as soon as the status line shows TEXT, the
# window still answering.
closed_at() { phase "$1" "$2" "$3" "$4" wait-status "$5" 30 responsive 10 close; }
# held_at JOB NAME UNIT LAST TEXT: at TEXT the window thread is held, so that the worker blocks
# in its next hand-off; the close is asked for, and the window goes on.
held_at() { phase "$1" "$2" "$3" "$4" wait-status "$5" 30 responsive 10 suspend sleep 300 close resume; }

list_end='^GetReceivedSize\(\) = [1-9]'
slow='latency = 600\nrate = 0\n'
closed_at components list-initialize "$slow" "$list_end" "Инициализация..."
closed_at components list-directory "$slow" "$list_end" "Задание директории..."
closed_at components list-files "$slow" "$list_end" "Запрос списка файлов..."
held_at components list-handoff "$slow" "$list_end" "Задание директории..."
# The link failure display runs on the window thread inside the worker's hand-off, calling the
# link there: the close request comes while the worker waits in it.
s=(await-journal "$(winpath "$run/list-linkerror/journal")" "# fault: Initialize call 2" 30 responsive 10 suspend sleep 300 close resume)
phase components list-linkerror 'latency = 0\nrate = 0\n[fault]\nmethod = Initialize\ncall = 2\nstatus = 1\n' \
  '^SetInteractive\(0\) = 0$' "${s[@]}"
grep -q '^SetErrorOption(0) = 0$' "$run/list-linkerror/calls" || fail "list-linkerror: no link failure display"

# The link's own dialog, shown inside a call on the window thread, with a message loop that
# serves the close or the session's end: the session may not end meanwhile, and the close waits
# until the dialog is answered and the call has returned.
# At start-up (the window not shown yet), from the component's constructor, in Configure or in
# Initialize: start-up then ends as a refused one does, with the link closed once if it was made.
for method in Create Configure Initialize; do
  for request in close "end-session 10"; do
    name=startup-$method-${request%% *} dir=$run/startup-$method-${request%% *} before=$failures
    prepare components "$dir"
    write_ini "$dir" "rate = 0\nlatency = 0\ndialog = $method\n" ""
    QEMUTIL_SIM_CONFIG=$(winpath "$dir/sim.ini") drive "$dir/out" start "$exe" box 30 responsive 10 \
      query-end-session $request sleep 300 responsive 10 answer ok exit 60 shown >/dev/null
    runs=$((runs + 1))
    check components "$dir" "$dir/out" - -
    expect "$dir/out" "query-end-session: 0"
    expect "$dir/out" "shown: 0"
    grep -qxF "# dialog: $method" "$dir/journal" || fail "$name: no dialog in $method"
    grep -v '^#' "$dir/journal" >"$dir/calls"
    printf '%s\n' 'Reset() = 0' 'Close() = 0' 'Shutdown() = 0' | diff - <(tail -3 "$dir/calls") >/dev/null &&
      [ "$(grep -c '^Shutdown() = 0$' "$dir/calls")" = 1 ] ||
      fail "$name: the link was not closed once: $(tail -3 "$dir/calls" | tr '\n' ';')"
    grep -q '^SetInteractive(0)' "$dir/calls" && fail "$name: the worker started"
    ((failures == before)) || failed_runs=$((failed_runs + 1))
  done
done
# While the window closes, inside Reset, Close, Shutdown or the last Release (Reset's dialog
# comes at the worker's start too, on its thread): the link is half closed, so the session may
# not end; a second close or the session's end returns at once, and the close goes on once the
# dialog is answered.
for method in Reset Close Shutdown Release; do
  for request in close "end-session 10"; do
    first=()
    [ $method = Reset ] && first=(box 30 answer ok)
    s=("${first[@]}" responsive 10 close box 30 responsive 10 query-end-session $request sleep 300 answer ok)
    name=closing-$method-${request%% *}
    phase components "$name" "rate = 0\nlatency = 0\ndialog = $method\n" '.' "${s[@]}"
    expect "$run/$name/out" "query-end-session: 0"
    [ "$request" = close ] || expect "$run/$name/out" "end-session: 1"
    grep -qxF "# dialog: $method" "$run/$name/journal" || fail "$name: no dialog in $method"
  done
done
# In the link failure display, inside GetErrorText, while the worker waits in its hand-off (an
# update, so that nothing may leave the folder).
for request in close "end-session 10"; do
  s=(box 30 responsive 10 $request sleep 300 responsive 10 answer ok)
  phase update1 "linkerror-dialog-${request%% *}" \
    'latency = 0\nrate = 0\ndialog = GetErrorText\n[fault]\nmethod = Initialize\ncall = 2\nstatus = 1\n' \
    '^SetInteractive\(0\) = 0$' "${s[@]}"
  grep -qxF '# dialog: GetErrorText' "$run/linkerror-dialog-${request%% *}/journal" ||
    fail "linkerror-dialog-${request%% *}: no dialog in GetErrorText"
done
grep -qxF 'end-session: 1' "$run/linkerror-dialog-end-session/out" || fail "linkerror-dialog-end-session: the session's end was not answered"

# The update page: once its button gives the worker cmUpdate.
if [ "${QEM_FAULT_JOBS:-}" != components ]; then
  confirmed='^WaitConfirm\(27, 3000\) = 0$'
  salvik='Обновление "Диагностика системы SALVIK"...'
  closed_at update1 update-initialize 'latency = 1500\nrate = 0\n' "$confirmed" "Инициализация..."
  closed_at update1 update-transfer 'latency = 0\nrate = 35000\n' "$confirmed" "$salvik"
  closed_at update1 update-confirmation 'latency = 1500\nrate = 0\n' "$confirmed" "Ожидание подтверждения обновления..."
  held_at update1 update-handoff 'latency = 0\nrate = 35000\n' "$confirmed" "$salvik"
  # The first of three: the other two are still sent and confirmed before the window closes.
  closed_at update3 update3-transfer 'latency = 0\nrate = 35000\n' "$confirmed" 'Обновление "Диагностический тест MERIDOX"...'
  [ "$(grep -cE "$confirmed" "$run/update3-transfer/calls")" = 3 ] || fail "update3-transfer: not all three confirmed"
  # "Выход" instead of the close box; a second close request sent (not posted) while the window
  # waits for the worker must not start a second shutdown; "Компоненты" during the update is
  # lost (the command is not queued) and only repeats the initialisation after the update.
  phase update1 update-exit 'latency = 0\nrate = 35000\n' "$confirmed" wait-status "$salvik" 30 responsive 10 \
    menu Выход sleep 300 close-sent
  grep -qxF "close-sent: 1" "$run/update-exit/out" || fail "update-exit: the second close request was not answered"
  phase update1 update-components 'latency = 0\nrate = 35000\n' '^Initialize\(\) = 0$' wait-status "$salvik" 30 \
    responsive 10 menu Компоненты wait-status "Инициализация..." 30 close
  grep -q '^SendPacket(27, 2, 01 01)' "$run/update-components/calls" && fail "update-components: a command given during the update ran"
  # A confirmation that never comes: the file stays.
  closed_at update1 update-timeout 'latency = 0\nrate = 0\n[fault]\nmethod = WaitConfirm\naction = timeout\n' \
    '^GetErrorText\(' "Ожидание подтверждения обновления..."

  # Closing while the button's "no files" message box is up: the box's own message loop serves
  # the close, which waits until the box is answered.
  dir=$run/box
  rm -rf "$dir"
  mkdir -p "$dir/empty"
  cp -a "$factory" "$dir/unit"
  write_ini "$dir" 'rate = 0\nlatency = 0\n' ""
  QEMUTIL_SIM_CONFIG=$(winpath "$dir/sim.ini") drive "$dir/out" start "$exe" window 30 \
    folder-set "$(winpath "$dir/empty")" click-update box 10 close sleep 300 responsive 10 \
    answer ok exit 60 >/dev/null
  runs=$((runs + 1))
  expect "$dir/out" "box-text: Не найдены файлы для обновления"
  grep -qxF "exit: 0" "$dir/out" || { fail "box: closing with the message box up: $(reading "$dir/out" error)"; failed_runs=$((failed_runs + 1)); }

  # Closing while the folder dialog is up: its modal loop serves the close, which waits too.
  dir=$run/dialog
  rm -rf "$dir"
  mkdir -p "$dir"
  QEMUTIL_SIM_CONFIG=$(winpath "$run/box/sim.ini") drive "$dir/out" start "$exe" window 30 \
    browse box 20 close sleep 300 responsive 10 answer cancel exit 60 >/dev/null
  runs=$((runs + 1))
  grep -qxF "exit: 0" "$dir/out" || { fail "dialog: closing with the folder dialog up: $(reading "$dir/out" error)"; failed_runs=$((failed_runs + 1)); }

  # The session's end: idle, the program lets it come; during a transfer it asks to wait, and
  # the end itself is answered only after the job, with the link closed and the placement saved.
  dir=$run/session-idle
  before=$failures
  rm -rf "$dir"
  mkdir -p "$dir"
  QEMUTIL_SIM_CONFIG=$(winpath "$run/box/sim.ini") drive "$dir/out" start "$exe" window 30 responsive 10 \
    query-end-session close exit 60 >/dev/null
  runs=$((runs + 1))
  check - "$dir" "$dir/out" - -
  expect "$dir/out" "query-end-session: 1"
  ((failures == before)) || failed_runs=$((failed_runs + 1))
  rm -f "$run/QemUtil.ini"
  dir=$run/update-session
  phase update1 update-session 'latency = 0\nrate = 35000\n' "$confirmed" wait-status "$salvik" 30 responsive 10 \
    query-end-session end-session 60 await-journal "$(winpath "$dir/journal")" "Shutdown() = 0" 0
  expect "$dir/out" "query-end-session: 0"
  expect "$dir/out" "end-session: 1"
  grep -qxF "journal: 1" "$dir/out" || fail "update-session: the session's end was answered before the link was closed"
  iconv -f UTF-16 -t UTF-8 "$run/QemUtil.ini" 2>/dev/null | tr -d '\r' | grep -qxF "Folder=\"$(winpath "$dir/upd")\"" ||
    fail "update-session: the placement file lacks the folder"
fi

# Two copies side by side: each one's command and its close reach its own worker. B lists once
# A's worker waits, A stays idle meanwhile, then lists; B closes while A runs, then A closes,
# each within seconds.
listed="Запрос списка файлов завершен успешно"
for copy in a b; do
  prepare components "$run/copy-$copy"
  write_ini "$run/copy-$copy" 'rate = 0\nlatency = 0\n' ""
done
journal_a=$(winpath "$run/copy-a/journal") journal_b=$(winpath "$run/copy-b/journal")
QEMUTIL_SIM_CONFIG=$(winpath "$run/copy-a/sim.ini") drive "$run/copy-a/out" start "$exe" window 30 \
  await-journal "$journal_b" "GetReceivedSize() = " 15 sleep 300 status menu Компоненты \
  wait-status "$listed" 10 await-journal "$journal_b" "Shutdown() = 0" 15 close exit 10 >/dev/null &
copy_a=$!
QEMUTIL_SIM_CONFIG=$(winpath "$run/copy-b/sim.ini") drive "$run/copy-b/out" start "$exe" window 30 \
  await-journal "$journal_a" "SetInteractive(0) = 0" 15 menu Компоненты wait-status "$listed" 10 \
  await-journal "$journal_a" "GetReceivedSize() = " 15 close exit 10 >/dev/null
wait $copy_a
runs=$((runs + 1))
before=$failures
expect "$run/copy-a/out" "status: "  # B's command never reached A
for copy in a b; do
  grep -qxF "exit: 0" "$run/copy-$copy/out" ||
    fail "copy $copy: $(reading "$run/copy-$copy/out" error)$(reading "$run/copy-$copy/out" exit)"
  grep -v '^#' "$run/copy-$copy/journal" >"$run/copy-$copy/calls"
  # Start-up may initialise too; the worker, once for the one command.
  inits=$(sed -n '/^SetInteractive(0) = 0$/,$p' "$run/copy-$copy/calls" | grep -c '^Initialize() = 0$')
  [ "$inits" = 1 ] || fail "copy $copy: its worker initialised the link $inits times, not once"
  shut_down_once "copy-$copy" "$run/copy-$copy/calls"
done
((failures == before)) || failed_runs=$((failed_runs + 1))

echo "closing at every phase: $runs runs, $failed_runs failed"
finish
