#!/usr/bin/env bash
# The operator's zip, used as an operator would: unpacked, the stand-in registered with its
# register.cmd (regsvr32), checked with reg query, QemUtil.exe started from the unpacked
# folder and the component list fetched; the zip's recorder registered in front of it as its
# read-me says, one start of QemUtil leaves a recording; then unregister.cmd removes the
# registration.
# The zip is always the 32-bit product, packed from build/win32; packed again (later, in
# another time zone) it is the same bytes. Signed with a throwaway certificate, all three files
# verify against it, and a wrong password leaves no zip. Under 32-bit Wine the unsigned and the
# signed zip are run; under 64-bit Wine (a machine that may execute no 32-bit programs) the
# 64-bit program and stand-in are packed and signed the same way and run instead.
# Usage: package.sh SOURCE_DIR BUILD_DIR
source "$(dirname "$0")/lib.sh" "$1" "$2" package
"$source_dir/scripts/package" --no-build >"$run/package.out" 2>&1 || fail "scripts/package: $(tail -3 "$run/package.out")"
expect "$run/package.out" "package: unsigned (QEM_SIGN_PFX names no certificate)"
zip=$(ls "$source_dir"/build/package/QemUtil-*.zip 2>/dev/null | head -1)
[ -f "$zip" ] || { fail "no zip"; finish; }
(cd "$(dirname "$zip")" && sha256sum -c --quiet SHA256SUMS >/dev/null 2>&1) || fail "checksums do not match"
unzip -q "$zip" -d "$run/unpacked" || fail "unzip"
app=$(ls -d "$run"/unpacked/QemUtil-*)
for f in QemUtil.exe README-ru.txt README-en.txt sim/Varnel.dll sim/README.txt sim/register.cmd sim/unregister.cmd \
  recorder/Varnel.dll recorder/README.txt recorder/recorder.ini.example; do
  [ -f "$app/$f" ] || fail "the zip lacks $f"
done
for f in QemUtil.exe sim/Varnel.dll recorder/Varnel.dll; do
  [[ $(LC_ALL=C i686-w64-mingw32-objdump -f "$app/$f" 2>/dev/null) == *"file format pei-i386"* ]] ||
    fail "$f in the zip is not a 32-bit Windows file"
done
# The engineer tells the recorder's build by its version resource: the project's version.
version=$(basename "$app" | sed 's/^QemUtil-//')
tr -d '\0' <"$app/recorder/Varnel.dll" | grep -a "FileVersion$version\.0" >/dev/null ||
  fail "recorder/Varnel.dll has no version resource of version $version"
# Every file a read-me names is in the zip: a name with a folder at that place from the zip's
# top, a bare name anywhere. Not shipped, and named as such: the placement file the program
# writes, the operator's Version.ini and update files, the stand-in's and the recorder's own
# settings files, the recorder's note; a full path is one on the operator's PC.
for readme in README-ru.txt README-en.txt sim/README.txt recorder/README.txt; do
  while IFS= read -r named; do
    case $named in QemUtil.ini | Version.ini | \*.exe | Varnel.ini | recorder.ini | recorder-errors.txt | [A-Z]:\\*) continue ;; esac
    if [[ $named = *\\* ]]; then [ -e "$app/${named//\\//}" ]
    else [ -n "$(find "$app" -name "$named" -print -quit)" ]; fi || fail "$readme names $named, which the zip lacks"
  done < <(tr -d '\r' <"$app/$readme" | grep -oE '[^][:space:]()«»"'"'"'[]+\.(txt|md|cmd|exe|dll|ini|example)\b' | sort -u)
done

# Signed with a throwaway code-signing certificate: this tree's program, stand-in and recorder, so
# that the signed ones run under this tree's Wine.
cert=$run/cert
mkdir -p "$cert"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=QemUtil package test" \
  -addext extendedKeyUsage=codeSigning -addext keyUsage=digitalSignature \
  -keyout "$cert/key.pem" -out "$cert/cert.pem" >/dev/null 2>&1 &&
  openssl pkcs12 -export -inkey "$cert/key.pem" -in "$cert/cert.pem" -out "$cert/signer.pfx" \
    -passout pass:throwaway >/dev/null 2>&1 || fail "openssl made no certificate"
QEM_SIGN_PFX=$cert/signer.pfx QEM_SIGN_PASSWORD=throwaway "$source_dir/scripts/package" --no-build \
  --tree "$build_dir" --out "$run/signed" >"$run/signed.out" 2>&1 || fail "signed: $(tail -3 "$run/signed.out")"
unzip -q "$run/signed/$(basename "$zip")" -d "$run/signed-unpacked" || fail "unzip of the signed zip"
for f in QemUtil.exe sim/Varnel.dll recorder/Varnel.dll; do
  verified=$run/verify-$(basename "$f").out
  osslsigncode verify -CAfile "$cert/cert.pem" -in "$run/signed-unpacked/$(basename "$app")/$f" \
    >"$verified" 2>&1 || fail "signed $f does not verify: $(grep -iE 'fail|error|mismatch' "$verified" | head -3)"
  grep -q "Signature verification: ok" "$verified" || fail "signed $f: no \"Signature verification: ok\""
done
# A wrong password, or a certificate that is no PKCS#12 file, is an error, and the zip packed
# before is gone.
cp "$run/signed/$(basename "$zip")" "$run/signed.zip"
for bad in "signer.pfx wrong" "cert.pem throwaway"; do
  read -r pfx password <<<"$bad"
  cp "$run/signed.zip" "$run/signed/$(basename "$zip")"
  QEM_SIGN_PFX=$cert/$pfx QEM_SIGN_PASSWORD=$password "$source_dir/scripts/package" --no-build \
    --tree "$build_dir" --out "$run/signed" >"$run/wrong.out" 2>&1 && fail "$bad: signed"
  grep -q "cannot sign QemUtil.exe.*no zip written" "$run/wrong.out" || fail "$bad: $(head -2 "$run/wrong.out")"
  [ -z "$(ls -A "$run/signed")" ] || fail "$bad: left $(ls "$run/signed")"
done

# The unsigned zip packed again, seconds later and in a time zone far from UTC: the same bytes.
TZ=Pacific/Kiritimati "$source_dir/scripts/package" --no-build --out "$run/again" >"$run/again.out" 2>&1 ||
  fail "packed again: $(tail -3 "$run/again.out")"
cmp "$zip" "$run/again/$(basename "$zip")" >"$run/cmp.out" 2>&1 || fail "packed again, the zip differs: $(cat "$run/cmp.out")"
cmp "$(dirname "$zip")/SHA256SUMS" "$run/again/SHA256SUMS" >/dev/null 2>&1 || fail "packed again, SHA256SUMS differs"

use_prefix package
clsid='{CDFF5124-8322-4B60-ACEB-F4AFEC1116FD}'
key="HKCR\\CLSID\\$clsid\\InprocServer32"
# operate APP NAME: registers APP's stand-in, lists the six components with APP's program,
# unregisters.
operate() {
  local app=$1 name=$2
  wine reg delete "HKCR\\CLSID\\$clsid" /f >/dev/null 2>&1
  (cd "$app/sim" && wine cmd /c register.cmd >/dev/null 2>&1)
  wine reg query "$key" /ve 2>/dev/null | tr -d '\r' >"$run/$name.query"
  grep -qi "sim\\\\Varnel.dll" "$run/$name.query" || fail "$name: register.cmd left no registration: $(cat "$run/$name.query")"
  wine reg query "$key" /v ThreadingModel 2>/dev/null | tr -d '\r' | grep -q Both || fail "$name: ThreadingModel is not Both"

  # The stand-in as shipped keeps its unit beside itself; an instant unit keeps the test short.
  printf '[unit]\nrate = 0\nlatency = 0\n' >"$app/sim/Varnel.ini"
  unset QEMUTIL_SIM_CONFIG
  drive "$run/$name.run" start "$(winpath "$app/QemUtil.exe")" window 30 menu Компоненты \
    wait-status "Запрос списка файлов завершен успешно" 20 comp-rows close exit 30
  expect "$run/$name.run" "comp-rows: 6"
  expect "$run/$name.run" "exit: 0"
  [ -d "$app/sim/unit" ] || fail "$name: the stand-in made no unit storage beside itself"

  # The recorder as its read-me has it: recorder.ini from the example, regsvr32, QemUtil started
  # once, a .jsonl in the folder; /u puts the stand-in back.
  local component folder
  component=$(winpath "$app/sim/Varnel.dll" | sed 's/\\/\\\\/g')
  folder=$(winpath "$run/$name.recordings" | sed 's/\\/\\\\/g')
  sed -e "s|^component = .*|component = $component\r|" -e "s|^; folder = .*|folder = $folder\r|" \
    "$app/recorder/recorder.ini.example" >"$app/recorder/recorder.ini"
  mkdir -p "$run/$name.recordings"
  wine regsvr32 /s "$(winpath "$app/recorder/Varnel.dll")" || fail "$name: regsvr32 of the recorder"
  drive "$run/$name.recorded" start "$(winpath "$app/QemUtil.exe")" window 30 close exit 30
  expect "$run/$name.recorded" "exit: 0"
  compgen -G "$run/$name.recordings/*.jsonl" >/dev/null || fail "$name: one start left no recording"
  wine regsvr32 /s /u "$(winpath "$app/recorder/Varnel.dll")" || fail "$name: regsvr32 /u of the recorder"
  wine reg query "$key" /ve 2>/dev/null | grep -qi "sim\\\\Varnel.dll" ||
    fail "$name: regsvr32 /u did not put the stand-in back"

  (cd "$app/sim" && wine cmd /c unregister.cmd >/dev/null 2>&1)
  wine reg query "$key" /ve >/dev/null 2>&1 && fail "$name: unregister.cmd left the registration"
}
[ "$WINEARCH" = win32 ] && operate "$app" unsigned
operate "$run/signed-unpacked/$(basename "$app")" "signed-$WINEARCH"
finish
