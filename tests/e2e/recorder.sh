#!/usr/bin/env bash
# A session recorded through the recorder in front of the stand-in, then replayed by the stand-in
# alone from that recording: the operator sees the same (status texts, both tables' rows, the
# files left in the folder, the exit code). The same recording with the failed confirmation
# changed into a success replays into a successful update. regsvr32 of the recorder takes the
# registration over with its threading model and /u puts back exactly what it replaced, whatever
# recorder.ini says by then; it refuses, saying why, without recorder.ini, with a folder that does
# not exist, over a per-user or advertised registration, and /u of another copy.
# Usage: recorder.sh SOURCE_DIR BUILD_DIR
source "$(dirname "$0")/lib.sh" "$1" "$2" recorder
use_prefix sim
register_stand_in
cp "$bin/QemUtil.exe" "$run/"
exe=$(winpath "$run/QemUtil.exe")
class='HKCR\CLSID\{CDFF5124-8322-4B60-ACEB-F4AFEC1116FD}\InprocServer32'
# registered VALUE: the class's server path ("" for the default value) or another value of it.
registered() {
  if [ -z "$1" ]; then
    program_reg query "$class" /ve 2>/dev/null | tr -d '\r' | grep -ao 'Z:\\.*'
  else
    program_reg query "$class" /v "$1" 2>/dev/null | tr -d '\r' | sed -n "s/.*REG_SZ *//p"
  fi
}
# A Windows path as configure's extra lines take it (they go through printf's %b).
escaped() { winpath "$1" | sed 's/\\/\\\\/g'; }

# --- Registration: refused without recorder.ini, then over the stand-in and back --------------
mkdir -p "$run/bare"
cp "$bin/recorder/Varnel.dll" "$run/bare/"
wine "$regsvr32" /s "$(winpath "$run/bare/Varnel.dll")" 2>"$run/bare.stderr" &&
  fail "regsvr32 of a recorder without recorder.ini succeeded"
grep -q 'recorder.ini' "$run/bare.stderr" || fail "the refusal does not name recorder.ini: $(cat "$run/bare.stderr")"
[ "$(registered ThreadingModel)" = Both ] || fail "the stand-in's threading model is not Both"
# What COM would use before HKLM's class: the user's own class, or an installer's advertisement.
# shadowed WHAT KEY VALUE_ARGS...: regsvr32 of the recorder refuses and names WHAT.
mkdir -p "$run/recorder"
printf '[recorder]\r\ncomponent = %s\r\n' "$(winpath "$bin/sim/Varnel.dll")" >"$run/recorder/recorder.ini"
cp "$bin/recorder/Varnel.dll" "$run/recorder/"
shadowed() {
  program_reg add "$2\InprocServer32" "${@:3}" /f >/dev/null
  timeout 60 wine "$regsvr32" /s "$(winpath "$run/recorder/Varnel.dll")" 2>"$run/shadow.stderr" &&
    fail "regsvr32 of the recorder succeeded beside $1"
  grep -qF "$1" "$run/shadow.stderr" || fail "the refusal does not name $1: $(cat "$run/shadow.stderr")"
}
shadowed HKEY_CURRENT_USER 'HKCU\Software\Classes\CLSID\{CDFF5124-8322-4B60-ACEB-F4AFEC1116FD}' /ve /d "$(winpath "$bin/sim/Varnel.dll")"
program_reg delete 'HKCU\Software\Classes\CLSID\{CDFF5124-8322-4B60-ACEB-F4AFEC1116FD}' /f >/dev/null
shadowed установщик "${class%\\*}" /v InprocServer32 /t REG_MULTI_SZ /d 'x'
program_reg delete "$class" /v InprocServer32 /f >/dev/null
# A value of another type than the recorder writes: /u puts back the type with the bytes.
program_reg add "$class" /ve /t REG_EXPAND_SZ /d "$(winpath "$bin/sim/Varnel.dll")" /f >/dev/null
register_recorder
[ "$(registered '')" = "$(winpath "$recorder_dir/Varnel.dll")" ] ||
  fail "the class is registered to $(registered ''), not to the recorder"
[ "$(registered ThreadingModel)" = Both ] || fail "the recorder took threading model $(registered ThreadingModel)"
# recorder.ini as Notepad saves it, in the ANSI code page or UTF-16, with a Cyrillic folder: read,
# and regsvr32 says where recordings go; a folder that does not exist is refused. (A crash would
# start Wine's debugger, which waits: each regsvr32 here is bounded.)
cp "$recorder_dir/recorder.ini" "$run/recorder.ini.good"
mkdir -p "$run/записи"
for case in CP1251:записи:0 UTF-16:записи:0 CP1251:нет:1; do
  IFS=: read -r encoding folder refused <<<"$case"
  printf '[recorder]\r\ncomponent = %s\r\nfolder = %s\r\n' "$(winpath "$bin/sim/Varnel.dll")" \
    "$(winpath "$run/$folder")" | iconv -t "$encoding" >"$recorder_dir/recorder.ini"
  timeout 60 wine "$regsvr32" /s "$(winpath "$recorder_dir/Varnel.dll")" >"$run/ini.out" 2>&1
  [ "$(($? != 0))" = "$refused" ] || fail "regsvr32 with recorder.ini in $encoding, folder $folder: $(cat "$run/ini.out")"
  grep -qF "$(winpath "$run/$folder")" "$run/ini.out" || fail "regsvr32 does not name the folder $folder: $(cat "$run/ini.out")"
done
cp "$run/recorder.ini.good" "$recorder_dir/recorder.ini"

# --- One session: the component list, then an update whose second confirmation fails ---------
configure() {
  printf '[unit]\nstorage = %s\njournal = %s\nrate = 0\nlatency = 20\ncontract-only = 1\n%b' \
    "$(winpath "$run/unit")" "$(winpath "$run/$1.journal")" "${2:-}" >"$run/$1.ini"
  export QEMUTIL_SIM_CONFIG=$(winpath "$run/$1.ini")
}
mkdir -p "$run/pristine"
head -c 200000 /dev/urandom >"$run/pristine/meridox.exe"
head -c 100000 /dev/urandom >"$run/pristine/salvik.exe"
printf '[VERSION]\r\nMERIDOX.EXE=2.5\r\nSALVIK.EXE=1.9\r\n' >"$run/pristine/Version.ini"
refused="Блок отклонил обновление: нет места"

# session NAME FINAL_STATUS: the program started, the list, the update of a fresh copy of the
# folder until FINAL_STATUS shows, both tables read, closed; what the operator saw in NAME.seen.
# The status texts a run read must be the program's sequence with at most texts that lasted only
# a moment missing (statuses NAME FINAL checks it), and the rest of what the operator sees must
# be equal.
statuses() {
  local expected=("Инициализация..." "Задание директории..." "Задание директории завершено успешно"
    "Запрос списка файлов..." "Запрос списка файлов завершен успешно" "Не найдены файлы для обновления"
    "Инициализация..." 'Обновление "Диагностический тест MERIDOX"...' "Ожидание подтверждения обновления..."
    'Обновление "Диагностика системы SALVIK"...' "Ожидание подтверждения обновления..." "$2")
  in_order "$1" "$run/$1.run" "${expected[@]}"
}

session() {
  cp -r "$run/pristine" "$run/$1.upd"
  drive "$run/$1.owner" start "$exe" window 30 exit 60 &
  local owner=$!
  drive "$run/$1.run" attach 30 events-watch menu Компоненты wait-status "Запрос списка файлов завершен успешно" 20 \
    status acc-grid dgComp menu Обновление sleep 200 folder-set "$(winpath "$run/$1.upd")" click-update \
    wait-status "$2" 30 sleep 300 status acc-grid dgUpdate event-texts lbStatus close
  wait "$owner"
  {
    grep -E '^(status|acc-row):' "$run/$1.run"
    grep '^exit:' "$run/$1.owner"
    echo "left: $(ls "$run/$1.upd" | tr '\n' ' ')"
  } >"$run/$1.seen"
  statuses "$1" "$2"
}

configure recorded '[fault]\nmethod = WaitConfirm\ncall = 2\nstatus = 6\ntext = '"$refused"'\n'
session recorded "$refused"
expect "$run/recorded.seen" "exit: 0"
expect "$run/recorded.seen" "left: salvik.exe Version.ini "
expect "$run/recorded.seen" "acc-row: Диагностика системы SALVIK, 1.9, обновление не удалось"

# --- recorder.ini whose component is gone or is the recorder itself in another spelling, and whose
# folder cannot be made (an ANSI recorder.ini): creation fails as any failed creation, with the
# reason and the folder in the user's temporary folder. /u then puts back what was replaced,
# not what recorder.ini says -----------------------------------------------------------------
touch "$run/file"
self=$(winpath "$recorder_dir/Varnel.dll")
ln -sfn "$recorder_dir" "$WINEPREFIX/dosdevices/r:"  # a mapped drive
for case in 'Z:\nowhere\Varnel.dll|нет файла компонента связи' "${self//\\//}|сам файл записи" \
  "\\\\?\\${self^^}|сам файл записи" 'R:\Varnel.dll|сам файл записи'; do
  IFS='|' read -r component reason <<<"$case"
  find "$WINEPREFIX/drive_c/users" -name recorder-errors.txt -delete
  printf '[recorder]\r\ncomponent = %s\r\nfolder = %s\r\n' "$component" "$(winpath "$run/file/записи")" |
    iconv -t CP1251 >"$recorder_dir/recorder.ini"
  drive "$run/gone.out" start "$exe" box 30 answer no exit 30
  expect "$run/gone.out" "shown: 0"
  note=$(find "$WINEPREFIX/drive_c/users" -name recorder-errors.txt)
  grep -q "file.записи. недоступна. ComPort не создан: .*$reason" "${note:-/dev/null}" ||
    fail "no note of \"$reason\" in the temporary folder for $component: $(cat "${note:-/dev/null}")"
done
rm -f "$WINEPREFIX/dosdevices/r:"
cp -r "$recorder_dir" "$run/other"
timeout 60 wine "$regsvr32" /u /s "$(winpath "$run/other/Varnel.dll")" 2>"$run/other.stderr" && fail "/u of another copy succeeded"
grep -qF "$self" "$run/other.stderr" || fail "/u of another copy does not name the registered one: $(cat "$run/other.stderr")"

unregister_recorder
[ "$(registered '')" = "$(winpath "$bin/sim/Varnel.dll")" ] || fail "/u left the class registered to $(registered '')"
program_reg query "$class" /ve | grep -q REG_EXPAND_SZ || fail "/u did not put back REG_EXPAND_SZ"
[ "$(registered ThreadingModel)" = Both ] || fail "/u left threading model $(registered ThreadingModel)"
register_stand_in

recordings=("$run"/recordings/*.jsonl)
[ "${#recordings[@]}" = 1 ] || fail "${#recordings[@]} recordings, not one"
recording=${recordings[0]}
echo "  recording: $recording ($(wc -l <"$recording") lines)"
grep -q '"method":"SendFile".*"sha256":"[0-9a-f]\{64\}".*"progress":\[{"thread":"caller"' "$recording" ||
  fail "no SendFile with its hash and progress calls in the recording"
grep -q '"thread":"worker","method":"GetReceivedData","args":{},"out":{"reply":"01' "$recording" ||
  fail "no file-list reply bytes in the recording"
grep -q '^{"recording":"ComPort"' "$recording" || fail "the recording has no header line"

# --- The same session replayed by the stand-in alone -------------------------------------------
configure replayed "replay = $(escaped "$recording")\n"
session replayed "$refused"
diff "$run/recorded.seen" "$run/replayed.seen" >"$run/replayed.diff" ||
  fail "the replay showed otherwise: $(tr '\n' ';' <"$run/replayed.diff")"
grep '^# divergence' "$run/replayed.journal" && fail "the faithful replay diverged"
grep -q '^WaitConfirm(27, 3000) = 6$' "$run/replayed.journal" || fail "the replay did not answer from the recording"

# --- The recording with the refused confirmation made a success ---------------------------------
sed '/"method":"WaitConfirm"/s/"result":6,/"result":0,/' "$recording" >"$run/changed.jsonl"
[ "$(grep -c '"method":"WaitConfirm".*"result":0,' "$run/changed.jsonl")" = 2 ] || fail "the change did not take"
configure changed "replay = $(escaped "$run/changed.jsonl")\n"
session changed "Обновление файлов завершено успешно"
expect "$run/changed.seen" "exit: 0"
expect "$run/changed.seen" "left: "
expect "$run/changed.seen" "acc-row: Диагностика системы SALVIK, 1.9, обновление выполнено успешно"
grep '^# divergence' "$run/changed.journal" && fail "the changed replay diverged"

# --- A recording the program's calls do not follow: a divergence, told as such ----------------
sed 's/"bytes":"0101"/"bytes":"0100"/' "$recording" >"$run/other.jsonl"
configure other "replay = $(escaped "$run/other.jsonl")\n"
drive "$run/other.owner" start "$exe" window 30 exit 60 &
owner=$!
drive "$run/other.run" attach 30 menu Компоненты wait-status "Запрос списка файлов завершен неудачно " 20 close
wait "$owner"
grep -q '^# divergence: .*SendPacket(27, 2, "0101"), а записан SendPacket(27, 2, "0100")' "$run/other.journal" ||
  fail "no divergence journaled: $(grep '^#' "$run/other.journal" | tr '\n' ';')"

finish
