#!/usr/bin/env bash
# The program, the stand-in and the recorder as built, read with objdump (no Wine): address-space
# randomisation with the relocations it needs, no-execute data, high-entropy addresses in
# 64-bit, the stack protector compiled in, and no DLL of ours (libssp's or the runtime's).
# The 32-bit product's imports are those release/imports-win32.txt lists, each one on
# Windows 7: a function newer than that would stop the program at load time there.
# Usage: hardening.sh OBJDUMP TREE [TREE...]  (the first tree must be built; the others are
# checked when they are: the 64-bit tree checks the 32-bit product too)
set -uo pipefail
export LC_ALL=C # objdump speaks the locale's language
objdump=$1
shift
failures=0 checked=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

check() {
  local file=$1 headers flags
  headers=$("$objdump" -p "$file" 2>&1) || {
    fail "$file: objdump cannot read it: $headers"
    return
  }
  checked=$((checked + 1))
  # The flag names follow the DllCharacteristics line, one an indented line.
  flags=$(awk '/^DllCharacteristics/ { on = 1; next } on && /^\t/ { print $1; next } { on = 0 }' \
    <<<"$headers")
  local wanted=(DYNAMIC_BASE NX_COMPAT)
  [[ $headers == *"file format pei-x86-64"* ]] && wanted+=(HIGH_ENTROPY_VA)
  for flag in "${wanted[@]}"; do
    grep -qx "$flag" <<<"$flags" || fail "$file: no $flag (has: $(echo $flags))"
  done
  # Randomisation moves an image only when its relocations are there.
  grep -q 'relocations stripped' <<<"$headers" && fail "$file: relocations stripped"
  local relocations
  relocations=$(awk '/Base Relocation Directory/ { print $4 }' <<<"$headers")
  [[ -n $relocations && $relocations != 00000000 ]] || fail "$file: no base relocations"
  # Only the system's DLLs: libssp and the compiler's runtime are linked in.
  local ours
  ours=$(sed -n 's/^\tDLL Name: //p' <<<"$headers" | grep -iE '^lib|pthread|ssp|gcc|stdc')
  [ -z "$ours" ] || fail "$file: needs $(echo $ours)"
  # Linked in from libssp only when protected functions call it.
  local symbols
  symbols=$("$objdump" -t "$file" 2>/dev/null | grep -oE '_?_stack_chk_(fail|guard)$' | sort -u)
  grep -q fail <<<"$symbols" && grep -q guard <<<"$symbols" ||
    fail "$file: no stack protector (__stack_chk_fail and __stack_chk_guard)"
  echo "$file: $(echo $flags), relocation bytes 0x$relocations, stack protector $(echo $symbols)"
}

# imports FILE: "DLL function" for each function FILE imports by name.
imports() {
  "$objdump" -p "$1" | awk '/^\tDLL Name: / { dll = $3; next }
    dll && /^\tvma:/ { next }
    dll && NF == 0 { dll = ""; next }
    dll { print dll, $NF }'
}

# check_imports FILE...: the files' imports against the committed list, and the list against
# the Windows 7 floor: the version each entry states, and the headers of Windows 7, where
# mingw-w64 hides many (not all) functions that later versions brought.
check_imports() {
  local list=$(dirname "$0")/../release/imports-win32.txt
  local listed actual
  listed=$(grep -v '^#' "$list" | awk 'NF { print $1, $2 }' | LC_ALL=C sort)
  actual=$(for file in "$@"; do imports "$file"; done | LC_ALL=C sort -u)
  while read -r dll function; do
    [ -n "$dll" ] && fail "imports $dll $function, which release/imports-win32.txt lacks:" \
      "add it with the Windows version that brought it once you know Windows 7 has it"
  done < <(LC_ALL=C comm -13 <(echo "$listed") <(echo "$actual"))
  while read -r dll function; do
    [ -n "$dll" ] && fail "release/imports-win32.txt lists $dll $function, which nothing imports now"
  done < <(LC_ALL=C comm -23 <(echo "$listed") <(echo "$actual"))
  local source=$scratch/imports.c count=0 dlls
  {
    printf '#define _WIN32_WINNT 0x0601\n#define WINVER 0x0601\n'
    printf '#include <windows.h>\n#include <wincrypt.h>\n#include <commctrl.h>\n'
    printf '#include <objbase.h>\n#include <oleauto.h>\n'
    printf 'const void *const listed[] = {\n'
  } >"$source"
  while read -r dll function since rest; do
    case $dll in '#'* | '') continue ;; esac
    if [[ ${dll,,} == msvcrt.dll ]]; then
      [ "$since" = crt ] || fail "imports-win32.txt: $dll $function: \"$since\" where crt belongs"
      continue
    fi
    if ! [[ $since =~ ^([0-9]+)\.([0-9]+)$ ]]; then
      fail "imports-win32.txt: $dll $function: no Windows version (\"$since\")"
    elif ((BASH_REMATCH[1] * 100 + BASH_REMATCH[2] > 601)); then
      fail "imports-win32.txt: $dll $function came with Windows $since, after Windows 7 (6.1)"
    fi
    printf '  (const void *)&%s,\n' "$function" >>"$source"
    count=$((count + 1))
  done <"$list"
  echo '};' >>"$source"
  local said
  said=$(i686-w64-mingw32-gcc -fsyntax-only "$source" 2>&1) ||
    fail "functions the headers do not declare for Windows 7:" \
      "$(grep -oE "'[A-Za-z0-9_]+' undeclared" <<<"$said" | tr -d "'" | cut -d' ' -f1 | sort -u | tr '\n' ' ')"
  dlls=$(echo "$actual" | cut -d' ' -f1 | uniq -c | awk '{ printf "%s%s %s", sep, $2, $1; sep = ", " }')
  echo "imports of $*: $(echo "$actual" | wc -l) functions ($dlls); versions and the headers of" \
    "Windows 7 checked for the $count outside msvcrt.dll"
}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
first=1 product=()
for tree in "$@"; do
  for file in "$tree/bin/QemUtil.exe" "$tree/bin/sim/Varnel.dll" "$tree/bin/recorder/Varnel.dll"; do
    if [ -f "$file" ]; then
      check "$file"
      [[ $("$objdump" -f "$file") == *"file format pei-i386"* ]] && product+=("$file")
    elif ((first)); then
      fail "$file is not built"
    fi
  done
  first=0
done
# The product is 32-bit; the 64-bit twin ships nowhere.
if ((${#product[@]})); then
  check_imports "${product[@]}"
fi
((failures)) && exit 1
echo "hardening: $checked files passed"
