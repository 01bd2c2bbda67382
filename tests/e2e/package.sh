#!/usr/bin/env bash
# The operator's zip, used as an operator would: unpacked, the stand-in registered with its
# register.cmd (regsvr32), checked with reg query, QemUtil.exe started from the unpacked
# folder and the component list fetched; then unregister.cmd removes the registration.
# The zip is always the 32-bit product, packed from build/win32. From the 64-bit tree (a
# machine that may execute no 32-bit programs) the zip is built and checked, and none of its
# programs is run.
# Usage: package.sh SOURCE_DIR BUILD_DIR
source "$(dirname "$0")/lib.sh" "$1" "$2" package
"$source_dir/scripts/package" --no-build >"$run/package.out" 2>&1 || fail "scripts/package: $(tail -3 "$run/package.out")"
zip=$(ls "$source_dir"/build/package/QemUtil-*.zip 2>/dev/null | head -1)
[ -f "$zip" ] || { fail "no zip"; finish; }
(cd "$(dirname "$zip")" && sha256sum -c --quiet SHA256SUMS >/dev/null 2>&1) || fail "checksums do not match"
unzip -q "$zip" -d "$run/unpacked" || fail "unzip"
app=$(ls -d "$run"/unpacked/QemUtil-*)
for f in QemUtil.exe README-ru.txt README-en.txt sim/Varnel.dll sim/README.txt sim/register.cmd sim/unregister.cmd; do
  [ -f "$app/$f" ] || fail "the zip lacks $f"
done
for f in QemUtil.exe sim/Varnel.dll; do
  [[ $(LC_ALL=C i686-w64-mingw32-objdump -f "$app/$f" 2>/dev/null) == *"file format pei-i386"* ]] ||
    fail "$f in the zip is not a 32-bit Windows file"
done
# Every file a read-me names is in the zip: a name with a folder at that place from the zip's
# top, a bare name anywhere. Not shipped, and named as such: the placement file the program
# writes, the operator's Version.ini and update files, the stand-in's own settings file.
for readme in README-ru.txt README-en.txt sim/README.txt; do
  while IFS= read -r named; do
    case $named in QemUtil.ini | Version.ini | \*.exe | Varnel.ini) continue ;; esac
    if [[ $named = *\\* ]]; then [ -e "$app/${named//\\//}" ]
    else [ -n "$(find "$app" -name "$named" -print -quit)" ]; fi || fail "$readme names $named, which the zip lacks"
  done < <(tr -d '\r' <"$app/$readme" | grep -oE '[^][:space:]()«»"'"'"'[]+\.(txt|md|cmd|exe|dll|ini|example)\b' | sort -u)
done

[ "$WINEARCH" = win32 ] || finish
use_prefix package

clsid='{CDFF5124-8322-4B60-ACEB-F4AFEC1116FD}'
key="HKCR\\CLSID\\$clsid\\InprocServer32"
wine reg delete "HKCR\\CLSID\\$clsid" /f >/dev/null 2>&1
(cd "$app/sim" && wine cmd /c register.cmd >/dev/null 2>&1)
wine reg query "$key" /ve 2>/dev/null | tr -d '\r' >"$run/query.out"
grep -qi "sim\\\\Varnel.dll" "$run/query.out" || fail "register.cmd left no registration: $(cat "$run/query.out")"
wine reg query "$key" /v ThreadingModel 2>/dev/null | tr -d '\r' | grep -q Both || fail "ThreadingModel is not Both"

# The stand-in as shipped keeps its unit beside itself; an instant unit keeps the test short.
printf '[unit]\nrate = 0\nlatency = 0\n' >"$app/sim/Varnel.ini"
unset QEMUTIL_SIM_CONFIG
drive "$run/run.out" start "$(winpath "$app/QemUtil.exe")" window 30 menu Компоненты \
  wait-status "Запрос списка файлов завершен успешно" 20 close exit 30
expect "$run/run.out" "exit: 0"
[ -d "$app/sim/unit" ] || fail "the stand-in made no unit storage beside itself"

(cd "$app/sim" && wine cmd /c unregister.cmd >/dev/null 2>&1)
wine reg query "$key" /ve >/dev/null 2>&1 && fail "unregister.cmd left the registration"
finish
