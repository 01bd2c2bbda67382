#!/usr/bin/env bash
# The program and the stand-in as built, read with objdump (no Wine): address-space
# randomisation with the relocations it needs, no-execute data, high-entropy addresses in
# 64-bit, the stack protector compiled in, and no DLL of ours (libssp's or the runtime's).
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

first=1
for tree in "$@"; do
  for file in "$tree/bin/QemUtil.exe" "$tree/bin/sim/Varnel.dll"; do
    if [ -f "$file" ]; then
      check "$file"
    elif ((first)); then
      fail "$file is not built"
    fi
  done
  first=0
done
((failures)) && exit 1
echo "hardening: $checked files passed"
