#!/usr/bin/env bash
# The real program against the stand-in, driven as a user would: the start-up calls on the link
# in order, an idle window with no page and an empty status, "Компоненты", closing while idle
# and while the worker is busy, exit code 0; screenshots and the pixels that matter; a planted
# namesake of a system library beside the program left unloaded.
# Usage: session.sh SOURCE_DIR BUILD_DIR  (QEM_LOCALE picks the locale, ru_RU.UTF-8 by default)
source "$(dirname "$0")/lib.sh" "$1" "$2" "session-${QEM_LOCALE:-ru_RU.UTF-8}"
use_prefix sim
register_stand_in
cp "$bin/QemUtil.exe" "$run/"
# Beside the program, a library named like the system's accessibility library, which is no
# known library: Windows looks for such a name in the program's folder first. Wine takes its own
# copy unless the program alone is told to prefer a file (the registry reaches a program that
# another Wine process starts). Loaded, it leaves oleacc.dll.loaded.
cp "$bin/tests/planted.dll" "$run/oleacc.dll"
overrides='HKCU\Software\Wine\AppDefaults\QemUtil.exe\DllOverrides'
wine reg add "$overrides" /v oleacc /d native,builtin /f >/dev/null 2>&1 || fail "no oleacc override"
exe=$(winpath "$run/QemUtil.exe")
tag=${LANG%%.*}

# sim.ini for one run: an instant unit with its own storage and journal, plus extra lines.
configure() {
  {
    printf '[unit]\nstorage = %s\njournal = %s\nrate = 0\nlatency = %s\n' \
      "$(winpath "$run/unit")" "$(winpath "$run/$1.journal")" "$2"
    printf '%b' "${3:-}"
  } >"$run/$1.ini"
  export QEMUTIL_SIM_CONFIG=$(winpath "$run/$1.ini")
}

# The journal's calls, with the window handle (which varies) left out.
calls() { grep -v '^#' "$run/$1.journal" | sed 's/^Configure(5, \("[^"]*"\), [0-9]*, /Configure(5, \1, HWND, /'; }

# start NAME: the program, started by a driver that waits for its end in the background.
start() {
  drive "$run/$1.owner" start "$exe" window 30 exit 60 &
  owner=$!
}
finish_run() { wait "$owner"; expect "$run/$1.owner" "exit: 0"; }

# --- Idle start, "Компоненты", close while idle ----------------------------------------------
configure idle 0
start idle
drive "$run/idle.1" attach 30 sleep 300 status page folder client
expect "$run/idle.1" "status: "
expect "$run/idle.1" "folder: "  # no placement file, no "Update" folder beside the program
expect "$run/idle.1" "page: none"
client=$(reading "$run/idle.1" client)
read -r _ _ width height <<<"$client"
[ "$width $height" = "534 416" ] || fail "client area is $width x $height, not 534 x 416"
screenshot "idle-$tag" "$client"
# The gauge at 0 %: white ground, yellow text inside its black frame (client 72, 391).
[ "$(pixel "idle-$tag" 75 394)" = FFFFFF ] || fail "gauge ground is not white"
has_colour "idle-$tag" 73 392 188 13 FFFF00 || fail "no yellow percentage in the gauge"
has_colour "idle-$tag" 71 370 400 14 FF0000 && fail "status red at start"

drive "$run/idle.2" attach 30 events-watch menu Компоненты wait-status "Запрос списка файлов завершен успешно" 20 \
  page sleep 300 frame comp-rows gauge acc-grid dgComp acc-gauge acc-name deUpdate acc-name browse acc-name btUpdate \
  events dgComp events lbStatus
expect "$run/idle.2" "page: components"
# The list as a screen reader reads it from outside: a table of as many rows as are drawn (the
# title row first), each named by its cells' texts, each cell by its text and its column's title.
expect "$run/idle.2" "acc-name: Компоненты, установленные в блоке диагностики"
expect "$run/idle.2" "acc-role: 24"
[ "$(reading "$run/idle.2" acc-rows)" = $(($(reading "$run/idle.2" comp-rows) + 1)) ] ||
  fail "the reader finds $(reading "$run/idle.2" acc-rows) rows, the grid draws $(reading "$run/idle.2" comp-rows) and its title"
sed -n 's/^acc-row: //p' "$run/idle.2" >"$run/idle.rows"
diff - "$run/idle.rows" >/dev/null <<'ROWS' || fail "rows read: $(tr '\n' ';' <"$run/idle.rows")"
Имя, Атрибуты, Дата, Время, Размер, Версия
Диагностический тест MERIDOX, 32, 2019.03.14, 10:22.36, 187392, 1.0
Диагностика системы SALVIK, 32, 2019.03.14, 10:25.10, 243712, 1.2
Сигнатурный тест TORMUND, 32, 2018.11.02, 16:40.08, 96256, 1.0
Тест контактов PELIKAR, 32, 2019.06.21, 09:05.44, 131584, 2.1
Тест памяти ZELMORA, 32, 2018.11.02, 16:41.20, 319488, 1.0
Программа управления QEM, 32, 2019.07.01, 12:00.00, 612864, 3.4
ROWS
expect "$run/idle.2" "acc-cell: Тест контактов PELIKAR | Имя"
expect "$run/idle.2" "acc-cell: 3.4 | Версия"
# The gauge is a progress bar whose value is what it shows; the folder field is named by its
# label; a new list and a new status are announced.
expect "$run/idle.2" "acc-gauge-role: 48"
expect "$run/idle.2" "acc-gauge-name: Состояние"
expect "$run/idle.2" "acc-gauge-value: $(reading "$run/idle.2" gauge)"
expect "$run/idle.2" "acc-name: Директория с обновляемыми файлами:"
expect "$run/idle.2" "acc-name: Выбрать папку с обновляемыми файлами"
expect "$run/idle.2" "acc-name: Обновить"
grep -qE '^events dgComp: reorder [1-9]' "$run/idle.2" || fail "no reorder event for the new list"
grep -qE '^events lbStatus: .*namechange [1-9]' "$run/idle.2" || fail "no name change event of the status line"
# The whole window with the list as it arrived from the stand-in's factory storage.
screenshot "components-$tag" "$(reading "$run/idle.2" frame)"
# The update page through its menu item.
drive "$run/idle.3" attach 30 menu Обновление sleep 300 page frame
expect "$run/idle.3" "page: update"
screenshot "update-$tag" "$(reading "$run/idle.3" frame)"
# Tab, pressed for real, from the page control (200) through the shown page: deUpdate (207),
# its browse button (208), btUpdate (211), dgUpdate (210), and round again; Shift+Tab the other
# way. On the components page only dgComp (204). The ids of app/WidgetIds.h.
order() { sed -n "s/^$2: \([0-9]*\) .*/\1/p" "$1" | tr '\n' ' '; }
drive "$run/idle.tab" attach 30 focus-order menu Компоненты sleep 300 focus-order
[ "$(order "$run/idle.tab" focus)" = "200 207 208 211 210 200 204 " ] ||
  fail "Tab visits $(order "$run/idle.tab" focus)"
[ "$(order "$run/idle.tab" focus-back)" = "200 210 211 208 207 200 204 " ] ||
  fail "Shift+Tab visits $(order "$run/idle.tab" focus-back)"
drive "$run/idle.4" attach 30 close
finish_run idle
# The tables above were read through the system's library, not the one beside the program.
[ -e "$run/oleacc.dll.loaded" ] && fail "the program loaded the oleacc.dll beside it"

calls idle >"$run/idle.calls"
# Start-up on the window thread, then the worker's own start. The stand-in wants Initialize
# before the first one, so QueryState answers nonzero.
printf '%s\n' 'Configure(5, "Блок диагностики: информация", HWND, 1) = 0' 'QueryState(1) = 1' \
  'SetTimeout(1000) = 0' 'SetInteractive(1) = 0' 'Initialize() = 0' 'Reset() = 0' \
  'SetInteractive(0) = 0' >"$run/idle.want"
head -7 "$run/idle.calls" | diff "$run/idle.want" - >/dev/null ||
  fail "start-up calls: $(head -7 "$run/idle.calls" | tr '\n' ';')"
# The command: the worker initialises the link and asks for the file list.
[ "$(grep -c '^Initialize() = 0$' "$run/idle.calls")" -ge 2 ] || fail "no Initialize for the command"
grep -q '^SendPacket(27, 2, 01 01) = 0$' "$run/idle.calls" || fail "no file-list request"
# The end: the worker hands the link back, then the window closes it.
printf '%s\n' 'SetInteractive(1) = 0' 'Reset() = 0' 'Close() = 0' 'Shutdown() = 0' >"$run/idle.wantend"
tail -4 "$run/idle.calls" | diff "$run/idle.wantend" - >/dev/null ||
  fail "shutdown calls: $(tail -4 "$run/idle.calls" | tr '\n' ';')"

# --- A failing link: its text in red ------------------------------------------------------------
# The worker's Initialize (call 2: the first is the window's at start-up) fails.
configure failed 0 '[fault]\nmethod = Initialize\ncall = 2\nstatus = 1\ntext = Блок диагностики не подключен\n'
start failed
drive "$run/failed.1" attach 30 menu Компоненты wait-status "Блок диагностики не подключен" 20 \
  sleep 300 client
screenshot "failed-$tag" "$(reading "$run/failed.1" client)"
has_colour "failed-$tag" 71 370 300 14 FF0000 || fail "the failure is not shown in red"
drive "$run/failed.2" attach 30 close
finish_run failed

# --- Closing while the worker is busy --------------------------------------------------------------
# Every Initialize takes 2 s; the close request comes while the command's one runs.
configure busy 2000
start busy
drive "$run/busy.1" attach 60 menu Компоненты wait-status "Инициализация..." 20 close
finish_run busy
calls busy >"$run/busy.calls"
# The job went on to its requests after the close request (every answer comes too late for
# the 1 s limit, so it fails), and only then did the worker hand the link back.
printf '%s\n' 'SetInteractive(1) = 0' 'Reset() = 0' 'Close() = 0' 'Shutdown() = 0' >"$run/busy.want"
tail -4 "$run/busy.calls" | diff "$run/busy.want" - >/dev/null ||
  fail "busy shutdown calls: $(tail -4 "$run/busy.calls" | tr '\n' ';')"
[ "$(grep -c '^Initialize() = 0$' "$run/busy.calls")" = 2 ] || fail "the busy command's Initialize is missing"
head -n -4 "$run/busy.calls" | tail -1 | grep -q '^WaitAnswer(27, -1) = 3$' ||
  fail "the job did not finish its request before the shutdown"

wine reg delete "$overrides" /f >/dev/null 2>&1
finish
