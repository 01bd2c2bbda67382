#!/usr/bin/env bash
# Start-up that must stop before the window shows: the link component not registered (exactly
# one box with the check's text, exit code 0), and registered but impossible to create (the
# "HRCHECK: " box; No ends quietly, Yes ends through the error display).
# Usage: refused.sh SOURCE_DIR BUILD_DIR
source "$(dirname "$0")/lib.sh" "$1" "$2" refused
use_prefix bare
cp "$bin/QemUtil.exe" "$run/"
exe=$(winpath "$run/QemUtil.exe")
clsid='{CDFF5124-8322-4B60-ACEB-F4AFEC1116FD}'
key="HKCR\\CLSID\\$clsid"
program_reg delete "$key" /f >/dev/null 2>&1

# --- Not registered ---------------------------------------------------------------------------
drive "$run/unregistered.out" start "$exe" box 30 answer ok exit 30
expect "$run/unregistered.out" "box-caption: Блок диагностики: информация"
expect "$run/unregistered.out" "box-text: COM-объект \"Varnel.dll\": незарегистрирован или отсутствует."
expect "$run/unregistered.out" "shown: 0"
expect "$run/unregistered.out" "exit: 0"
# The box text runs over two lines (CR LF): the second is the advice.
grep -qx 'Переустановите приложение' "$run/unregistered.out" || fail "the box lacks its second line"
[ "$(grep -c '^box-caption' "$run/unregistered.out")" = 1 ] || fail "not exactly one box"

# --- Registered, but the file is no COM server ---------------------------------------------------
printf 'not a library\n' >"$run/Varnel.dll"
program_reg add "$key\\InprocServer32" /ve /d "$(winpath "$run/Varnel.dll")" /f >/dev/null 2>&1
drive "$run/hrcheck-no.out" start "$exe" box 30 answer no exit 30
expect "$run/hrcheck-no.out" "box-caption: HRCHECK: "
grep -q "^box-text: 'Create(intfObj)': .* @ TBF.cpp/[0-9]*$\|^box-text: (Create(intfObj)) Error: [0-9A-F]* (-[0-9]*) @ TBF.cpp/[0-9]*$" \
  "$run/hrcheck-no.out" || fail "the HRCHECK text is not as designed"
grep -qx 'Press \[Y\]es to terminate, \[N\]o to continue and \[C\]ancel to Debug' "$run/hrcheck-no.out" ||
  fail "the HRCHECK question is missing"
expect "$run/hrcheck-no.out" "shown: 0"
expect "$run/hrcheck-no.out" "exit: 0"

drive "$run/hrcheck-yes.out" start "$exe" box 30 answer yes box 30 answer ok exit 30
# After Yes the entry routine shows the error without a text.
[ "$(sed -n 's/^box-caption: //p' "$run/hrcheck-yes.out" | sed -n 2p)" = "Блок диагностики: информация" ] ||
  fail "no error display after Yes"
[ "$(grep -c '^box-text: $' "$run/hrcheck-yes.out")" = 1 ] || fail "the error display is not empty"
expect "$run/hrcheck-yes.out" "shown: 0"
expect "$run/hrcheck-yes.out" "exit: 0"

program_reg delete "$key" /f >/dev/null 2>&1
finish
