#!/usr/bin/env bash
# The placement file beside the executable: a first run fills the folder field with the
# "Update" folder beside the program; a stored folder comes back on the next run, also one that
# no longer exists and one with characters outside code page 1251.
# Usage: placement.sh SOURCE_DIR BUILD_DIR
source "$(dirname "$0")/lib.sh" "$1" "$2" placement
use_prefix sim
register_stand_in
cp "$bin/QemUtil.exe" "$run/"
mkdir -p "$run/Update"
exe=$(winpath "$run/QemUtil.exe")
printf '[unit]\nstorage = %s\nrate = 0\nlatency = 0\n' "$(winpath "$run/unit")" >"$run/sim.ini"
export QEMUTIL_SIM_CONFIG=$(winpath "$run/sim.ini")

# session NAME STEPS...: one run of the program, driven by STEPS, closed, exit code 0.
session() {
  local name=$1
  shift
  drive "$run/$name.owner" start "$exe" window 30 exit 60 &
  local owner=$!
  drive "$run/$name.out" attach 30 "$@" close
  wait $owner
  expect "$run/$name.owner" "exit: 0"
}

session first folder
expect "$run/first.out" "folder: $(winpath "$run/Update")"
[ "$(head -c 2 "$run/QemUtil.ini" | od -An -tx1 | tr -d ' ')" = fffe ] ||
  fail "QemUtil.ini is not UTF-16 with a byte order mark"
ini=$(iconv -f UTF-16 -t UTF-8 "$run/QemUtil.ini" | tr -d '\r')
grep -qx 'Left=256' <<<"$ini" && grep -qx 'Top=230' <<<"$ini" || fail "designed position not stored: $ini"

# A folder that does not exist, with Cyrillic, Japanese and a snowman.
gone='C:\Нет такой папки\日本 ☃'
session second folder-set "$gone" folder
session third folder
expect "$run/third.out" "folder: $gone"

# The "Update" folder beside the program does not replace a stored one. The browse button
# opens the folder dialog with its prompt; cancelled, it leaves the field alone.
session fourth folder menu Обновление sleep 300 browse dialog 20 folder
expect "$run/fourth.out" "folder: $gone"
expect "$run/fourth.out" "dialog-text: Выберите папку с обновляемыми файлами"
[ "$(grep -cxF "folder: $gone" "$run/fourth.out")" = 2 ] || fail "cancelling the dialog changed the folder"
finish
