#!/usr/bin/env bash
# Every recording in tests/recordings/ replayed through the real program, one by one: the
# stand-in answers from the recording, the program is driven as the operator drove it, and it
# must show what the operator saw there and follow the recording without a divergence.
# A case is a folder: session.jsonl (as the recorder wrote it); seen.txt ("status: " lines, the
# status texts in the program's order; "left:" the files left in the update folder, and "exit: "
# the exit code); folder/, when the operator updated, the update folder as it was. The
# program lists the components; with folder/ it then updates from a copy of it; it is closed
# once the last status text shows.
# Usage: recordings.sh SOURCE_DIR BUILD_DIR
source "$(dirname "$0")/lib.sh" "$1" "$2" recordings
use_prefix sim
register_stand_in
cp "$bin/QemUtil.exe" "$run/"
exe=$(winpath "$run/QemUtil.exe")
cases=("$source_dir"/tests/recordings/*/)
[ -d "${cases[0]}" ] || { fail "no recordings in tests/recordings"; finish; }

for case in "${cases[@]}"; do
  case=${case%/} name=$(basename "$case")
  [ -f "$case/session.jsonl" ] && [ -f "$case/seen.txt" ] ||
    { fail "$name: no session.jsonl or seen.txt"; continue; }
  mapfile -t expected < <(sed -n 's/^status: //p' "$case/seen.txt")
  ((${#expected[@]})) || { fail "$name: seen.txt has no status"; continue; }
  printf '[unit]\nreplay = %s\nreplay-speed = 0\njournal = %s\n' "$(winpath "$case/session.jsonl")" \
    "$(winpath "$run/$name.journal")" >"$run/$name.ini"
  export QEMUTIL_SIM_CONFIG=$(winpath "$run/$name.ini")
  steps=(menu Компоненты)
  if [ -d "$case/folder" ]; then
    # The update starts once the list has ended, with the text that followed its start.
    listed=
    for ((i = 0; i + 1 < ${#expected[@]}; i++)); do
      [ "${expected[i]}" = "Запрос списка файлов..." ] && { listed=${expected[i + 1]}; break; }
    done
    [ -n "$listed" ] || { fail "$name: seen.txt has no status after \"Запрос списка файлов...\""; continue; }
    cp -r "$case/folder" "$run/$name.upd"
    steps+=(wait-status "$listed" 20 menu Обновление sleep 200 folder-set "$(winpath "$run/$name.upd")"
      click-update)
  fi
  steps+=(wait-status "${expected[-1]}" 30 sleep 300 event-texts lbStatus close)
  drive "$run/$name.owner" start "$exe" window 30 exit 60 &
  owner=$!
  drive "$run/$name.run" attach 30 events-watch "${steps[@]}"
  wait "$owner"

  in_order "$name" "$run/$name.run" "${expected[@]}"
  expect "$run/$name.owner" "$(grep '^exit: ' "$case/seen.txt" || echo "seen.txt has no exit code")"
  if [ -d "$case/folder" ]; then
    left=$(ls "$run/$name.upd" | LC_ALL=C sort | xargs)
    seen=$(sed -n 's/^left://p' "$case/seen.txt" | xargs -n1 | LC_ALL=C sort | xargs)
    [ "$left" = "$seen" ] || fail "$name: left in the folder \"$left\", not \"$seen\""
  fi
  grep '^# divergence' "$run/$name.journal" && fail "$name: the replay diverged"
  echo "  $name: replayed and compared"
done
finish
