#!/usr/bin/env bash
# Bad update folders: a file held open by another program without sharing, a file that cannot
# be opened at all, a sub-folder named like a component, an empty file, files of exactly and of
# just over 1 MiB, Version.ini malformed, huge, binary or a folder, names in another letter
# case, a very long path and one with characters outside code page 1251. Each gets a clear
# status (or message box), and nothing the unit did not confirm leaves the folder.
# Usage: badfolders.sh SOURCE_DIR BUILD_DIR
source "$(dirname "$0")/lib.sh" "$1" "$2" badfolders
source "$(dirname "$0")/unit.sh"

# folder NAME [UPD]: a fresh run folder with the factory unit; the update folder is DIR/UPD
# (DIR/upd by default), made empty. Sets dir and upd.
folder() {
  dir=$run/$1
  rm -rf "$dir"
  mkdir -p "$dir"
  cp -a "$factory" "$dir/unit"
  upd=$dir/${2:-upd}
  mkdir -p "$upd"
}

# bad NAME STATUS INK [STEPS...]: the update button on the folder upd (or the folder text in
# text), after STEPS (before the click, e.g. hold), then STATUS awaited and read with its ink;
# the run is closed and checked.
bad() {
  local name=$1 want=$2 ink=$3 before=$failures
  shift 3
  [ "$upd" = "$dir/upd" ] || { rm -rf "$dir/upd"; ln -s "$upd" "$dir/upd"; }
  snapshot "$dir"
  write_ini "$dir" 'rate = 0\nlatency = 0\n' ""
  QEMUTIL_SIM_CONFIG=$(winpath "$dir/sim.ini") drive "$dir/out" start "$exe" window 30 "$@" \
    folder-set "${text:-$(winpath "$upd")}" click-update await-status "$want" 30 responsive 10 status-colour close exit 60 >/dev/null
  runs=$((runs + 1))
  check "-" "$dir" "$dir/out" "$want" "$ink"
  check_folder "$dir" "$name"
  ((failures == before)) || failed_runs=$((failed_runs + 1))
}

# bad_slow NAME STATUS INK STEPS...: the same with a unit that takes 1.5 s to initialise, the
# STEPS given after the click; they delete meridox.exe, which therefore leaves the snapshot.
bad_slow() {
  local name=$1 want=$2 ink=$3 before=$failures
  shift 3
  snapshot "$dir"
  write_ini "$dir" 'rate = 0\nlatency = 1500\n' ""
  QEMUTIL_SIM_CONFIG=$(winpath "$dir/sim.ini") drive "$dir/out" start "$exe" window 30 \
    folder-set "$(winpath "$upd")" click-update "$@" await-status "$want" 30 responsive 10 status-colour close exit 60 >/dev/null
  runs=$((runs + 1))
  check "-" "$dir" "$dir/out" "$want" "$ink"
  rm -rf "$dir/before/meridox.exe"
  check_folder "$dir" "$name"
  ((failures == before)) || failed_runs=$((failed_runs + 1))
}

read_error() { echo "Ошибка чтения данных файла \"$1\""; }
done_text="Обновление файлов завершено успешно"
version_ini() { printf '[VERSION]\r\n%s\r\n' "$1" >"$upd/Version.ini"; }

# Held open without sharing by another program (the driver): not readable, so it stays.
folder locked
cp "$new/salvik.exe" "$upd/"
version_ini "SALVIK.EXE=1.3"
bad locked "$(read_error salvik.exe)" red hold "$(winpath "$upd/salvik.exe")"
grep -q '^SendFile(' "$dir/journal" && fail "locked: a file that could not be read was sent"

# Gone after the scan, while the link initialises: the read error names the file.
folder vanished
cp "$new/meridox.exe" "$upd/"
version_ini "MERIDOX.EXE=2.0"
bad_slow vanished "$(read_error meridox.exe)" red wait-status "Инициализация..." 30 delete "$(winpath "$upd/meridox.exe")"

# A sub-folder named like a component, with a file inside: a candidate that cannot be read.
folder subfolder
mkdir "$upd/tormund.exe"
cp "$new/meridox.exe" "$upd/tormund.exe/inside.exe"
version_ini "TORMUND.EXE=1.1"
bad subfolder "$(read_error tormund.exe)" red

# An empty file; the first candidate before it went through (order is the file system's, so
# the empty one alone here).
folder empty
: >"$upd/meridox.exe"
version_ini "MERIDOX.EXE=2.0"
bad empty "Файл имеет нулевую длину" red
grep -q '^SendFile(' "$dir/journal" && fail "empty: an empty file was sent"

# Exactly 1 MiB goes; one byte more does not.
folder mebibyte
head -c 1048576 /dev/urandom >"$upd/pelikar.exe"
version_ini "PELIKAR.EXE=2.2"
bad mebibyte "$done_text" normal
folder toolarge
head -c 1048577 /dev/urandom >"$upd/pelikar.exe"
version_ini "PELIKAR.EXE=2.2"
bad toolarge "Файл имеет слишком большой размер" red
grep -q '^SendFile(' "$dir/journal" && fail "toolarge: a file over 1 MiB was sent"

# Version.ini malformed: lines without "=", a key without a name, a broken section header after
# the good one, blanks around the value. The good key still gives the version.
folder malformed
cp "$new/salvik.exe" "$upd/"
printf 'garbage\r\n[VERSION]\r\nno equals sign\r\n=1.9\r\n  SALVIK.EXE  =  7.8  \r\n[broken\r\nSALVIK.EXE=9.9\r\n' >"$upd/Version.ini"
bad malformed "$done_text" normal
grep -q '^SendPacket(27, 4, 03 01 07 08) = 0$' "$dir/journal" || fail "malformed: version 7.8 not sent"

# Version.ini of 8 MiB, its key at the very end.
folder huge
cp "$new/salvik.exe" "$upd/"
{
  printf '[VERSION]\r\n'
  for i in $(seq 1 200000); do printf 'FILLER%06d.EXE=1.%d\r\n' "$i" "$i"; done | head -c 8388608
  printf '\r\nSALVIK.EXE=4.5\r\n'
} >"$upd/Version.ini"
bad huge "$done_text" normal
grep -q '^SendPacket(27, 4, 03 01 ' "$dir/journal" || fail "huge: no confirmation request"

# Version.ini that is not text at all: the version is unknown, 0.0 on the wire.
folder binary
cp "$new/salvik.exe" "$upd/"
head -c 65536 /dev/urandom | tr -d '[]=' >"$upd/Version.ini"
bad binary "$done_text" normal
grep -q '^SendPacket(27, 4, 03 01 00 00) = 0$' "$dir/journal" || fail "binary: version not 0.0"

# Version.ini that is a folder: no versions, and it is not deleted at the end.
folder inifolder
cp "$new/salvik.exe" "$upd/"
mkdir "$upd/Version.ini"
bad inifolder "$done_text" normal
[ -d "$upd/Version.ini" ] || fail "inifolder: the Version.ini folder went"

# Names in another letter case, and an *.EXE that is no component: the candidates go, the
# stranger and Version.ini stay.
folder lettercase
cp "$new/salvik.exe" "$upd/SALVIK.EXE"
cp "$new/meridox.exe" "$upd/Meridox.Exe"
cp "$new/tormund.exe" "$upd/other.EXE"
version_ini "salvik.exe=1.3"
bad lettercase "$done_text" normal
[ -e "$upd/SALVIK.EXE" ] || [ -e "$upd/Meridox.Exe" ] && fail "lettercase: a confirmed file stays"

# Characters outside code page 1251 in the path.
folder unicode "Обновление 更新 ü ✓"
cp "$new/salvik.exe" "$upd/"
version_ini "SALVIK.EXE=1.3"
bad unicode "$done_text" normal
[ -e "$upd/Version.ini" ] && fail "unicode: Version.ini stays with no *.exe left"

# A path far over 260 characters.
long=$(printf 'очень-длинное-имя-папки-%02d/' $(seq 1 12))
folder longpath "$long"
cp "$new/salvik.exe" "$upd/"
version_ini "SALVIK.EXE=1.3"
echo "long path: $(winpath "$upd" | wc -m) characters"
bad longpath "$done_text" normal

# The folder text ending in a separator, and with forward slashes.
folder separator
cp "$new/salvik.exe" "$upd/"
version_ini "SALVIK.EXE=1.3"
text="$(winpath "$upd")\\" bad separator "$done_text" normal
folder slashes
cp "$new/salvik.exe" "$upd/"
version_ini "SALVIK.EXE=1.3"
text="Z:$upd" bad slashes "$done_text" normal

# kept NAME [STEPS...]: salvik.exe is sent and confirmed, but the system refuses to delete it;
# the deletion's outcome is ignored, so the run ends in success with the file and Version.ini
# still in the folder, unchanged.
kept() {
  local name=$1 before=$failures
  shift
  snapshot "$dir"
  write_ini "$dir" 'rate = 0\nlatency = 0\n' ""
  QEMUTIL_SIM_CONFIG=$(winpath "$dir/sim.ini") drive "$dir/out" start "$exe" window 30 "$@" \
    folder-set "$(winpath "$upd")" click-update await-status "$done_text" 30 responsive 10 close exit 60 >/dev/null
  runs=$((runs + 1))
  check "-" "$dir" "$dir/out" - -
  grep -q '^WaitConfirm(27, 3000) = 0$' "$dir/journal" || fail "$name: not confirmed"
  cmp -s "$dir/before/salvik.exe" "$dir/unit/salvik.exe" || fail "$name: the unit lacks the new bytes"
  cmp -s "$dir/before/salvik.exe" "$upd/salvik.exe" || fail "$name: the file changed or went"
  cmp -s "$dir/before/Version.ini" "$upd/Version.ini" || fail "$name: Version.ini went with salvik.exe still there"
  ((failures == before)) || failed_runs=$((failed_runs + 1))
}

# Readable but not deletable while another program has it open.
folder undeletable
cp "$new/salvik.exe" "$upd/"
version_ini "SALVIK.EXE=1.3"
kept undeletable share "$(winpath "$upd/salvik.exe")"
# Read-only (as files copied from a CD are): the scan takes it, the unit confirms it, and the
# system will not delete a read-only file.
folder readonly
cp "$new/salvik.exe" "$upd/"
chmod a-w "$upd/salvik.exe"
version_ini "SALVIK.EXE=1.3"
kept readonly

echo "bad folders: $runs runs, $failed_runs failed"
finish
