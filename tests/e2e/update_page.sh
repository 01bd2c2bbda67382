#!/usr/bin/env bash
# The update page of the real program against the stand-in: a folder (Cyrillic path) with
# component files in mixed case, a sub-folder named like one, the control program, another
# .exe and a Version.ini; the candidates painted with their versions; a folder without
# candidates reported in red and, from the button, in a message box; the button with
# candidates wakes the worker. Screenshots of both states.
# Usage: update_page.sh SOURCE_DIR BUILD_DIR
source "$(dirname "$0")/lib.sh" "$1" "$2" "update-page"
use_prefix sim
register_stand_in
cp "$bin/QemUtil.exe" "$run/"
exe=$(winpath "$run/QemUtil.exe")
printf '[unit]\nstorage = %s\njournal = %s\nrate = 0\nlatency = 0\n' \
  "$(winpath "$run/unit")" "$(winpath "$run/update.journal")" >"$run/sim.ini"
export QEMUTIL_SIM_CONFIG=$(winpath "$run/sim.ini")

folder=$run/Обновление
mkdir -p "$folder/tormund.exe" "$run/empty"
for name in MERIDOX.EXE Salvik.exe other.exe qem.exe PeLiKaR.exe; do printf 'MZ' >"$folder/$name"; done
printf '[VERSION]\r\nMERIDOX.EXE=2.17\r\npelikar.exe =  1.05  \r\n[OTHER]\r\nSALVIK.EXE=9.9\r\n' \
  >"$folder/Version.ini"

drive "$run/owner" start "$exe" window 30 exit 90 &
owner=$!

# The menu item with a folder without candidates: red status line, no box.
drive "$run/empty.1" attach 30 folder-set "$(winpath "$run/empty")" menu Обновление sleep 300 \
  status page client shown
expect "$run/empty.1" "page: update"
expect "$run/empty.1" "status: Не найдены файлы для обновления"
screenshot update-empty "$(reading "$run/empty.1" client)"
has_colour update-empty 0 90 534 170 000080 || fail "no navy titles"
has_colour update-empty 0 110 534 150 0000FF && fail "a candidate in an empty folder"
has_colour update-empty 71 370 300 14 FF0000 || fail "the report is not red"

# The same from the button: the message box as well.
drive "$run/empty.2" attach 30 click-update box 10 answer ok status
expect "$run/empty.2" "box-caption: Блок диагностики: информация"
expect "$run/empty.2" "box-text: Не найдены файлы для обновления"
initializes() { grep -c '^Initialize() = 0$' "$run/update.journal"; }
before=$(initializes)

# Typing the folder on the update page scans at once; the candidates in the file system's order.
drive "$run/full.1" attach 30 events-watch folder-set "$(winpath "$folder")" sleep 300 status client \
  acc-grid dgUpdate events dgUpdate
# The earlier red text stays: a scan that finds candidates leaves the status line alone.
expect "$run/full.1" "status: Не найдены файлы для обновления"
screenshot update-candidates "$(reading "$run/full.1" client)"
has_colour update-candidates 0 110 534 150 0000FF || fail "no candidate ready (blue)"
# Four candidates in rows of 18 pixels under the header (grid top at about client y 99):
# the fourth row has its status, a fifth row is not there.
has_colour update-candidates 300 175 220 10 0000FF || fail "no fourth candidate"
has_colour update-candidates 0 193 534 14 0000FF && fail "a fifth candidate"
has_colour update-candidates 0 193 534 14 000000 && fail "a fifth row"
# The same as a screen reader reads it: the title row and four candidates, ready; the rescan
# was announced.
[ "$(reading "$run/full.1" acc-rows)" = 5 ] || fail "the reader finds $(reading "$run/full.1" acc-rows) rows"
[ "$(grep -c '^acc-row: .*, готов к обновлению$' "$run/full.1")" = 4 ] || fail "not four candidates ready for the reader"
expect "$run/full.1" "acc-row: Сигнатурный тест TORMUND, ???, готов к обновлению"
grep -qE '^events dgUpdate: reorder [1-9]' "$run/full.1" || fail "no reorder event for the rescan"

# The button with candidates wakes the worker: it initialises the link for command 3.
drive "$run/full.2" attach 30 click-update box 2 && fail "a message box with candidates"
for _ in $(seq 100); do [ "$(initializes)" -gt "$before" ] && break; sleep 0.1; done
[ "$(initializes)" -gt "$before" ] || fail "the button gave the worker no command"

# Rows read from outside while rescans replace them: a replaced row answers as gone, never with
# another row's text, and the program stays whole.
mkdir -p "$run/one"
printf 'MZ' >"$run/one/tormund.exe"
drive "$run/stress" attach 30 acc-stress dgUpdate 5 "$(winpath "$folder")" "$(winpath "$run/one")" responsive 10
expect "$run/stress" "stress-bad: 0"
expect "$run/stress" "responsive: 1"
[ "$(reading "$run/stress" stress-switches)" -gt 10 ] || fail "too few rescans in the stress run"
[ "$(reading "$run/stress" stress-gone)" -gt 0 ] || fail "no read met a replaced row"
[ "$(reading "$run/stress" stress-found)" -gt 0 ] || fail "no read found its row"

drive "$run/close" attach 30 close
wait "$owner"
expect "$run/owner" "exit: 0"
finish
