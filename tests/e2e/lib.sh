# Shared by the end-to-end scripts: private prefixes, the driver, expectations, screenshots.
# Usage in a script: source lib.sh SOURCE_DIR BUILD_DIR TEST_NAME
set -uo pipefail
source_dir=$1 build_dir=$2 test_name=$3
bin=$build_dir/bin
# QEM_WOW64=1 (the 32-bit tree): the 32-bit product in 64-bit prefixes of their own, as on
# 64-bit Windows (tests/e2e/wow64.sh). There a 32-bit library is registered by the regsvr32 in
# SysWOW64 and its class lives in the registry's 32-bit view, which 64-bit programs such as
# `wine reg` reach only when asked (reg_view).
if [ -n "${QEM_WOW64:-}" ] && [ "$QEM_WOW64" != 0 ]; then
  e2e=$build_dir/e2e-wow64
  source "$build_dir/wine-env-wow64"
  regsvr32='C:\windows\syswow64\regsvr32.exe' reg_view=/reg:32
else
  e2e=$build_dir/e2e
  source "$build_dir/wine-env"
  regsvr32=regsvr32 reg_view=
fi
run=$e2e/$test_name
shots=$e2e/shots
export LANG=${QEM_LOCALE:-ru_RU.UTF-8} LC_ALL=${QEM_LOCALE:-ru_RU.UTF-8}
rm -rf "$run"
mkdir -p "$run" "$shots"
failures=0

# use_prefix NAME: a private prefix for this kind of test (made once, kept in the build).
use_prefix() {
  export WINEPREFIX=$e2e/prefix-$1
  "$source_dir/scripts/wine-prefix" "$WINEPREFIX" || { echo "FAIL: no Wine prefix"; exit 1; }
}

# The Windows path of a Unix path (Wine maps / to Z:).
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

# The stand-in registered as the system registers a library of its width.
register_stand_in() {
  wine "$regsvr32" /s "$(winpath "$bin/sim/Varnel.dll")" || fail "regsvr32 of the stand-in"
}

# The recorder in front of the stand-in: a copy in $run/recorder (its recorder.ini names the
# stand-in, recordings go to $run/recordings), registered over it; finish puts the stand-in back.
# Bounded: a recorder that crashes in regsvr32 starts Wine's debugger, which waits.
# QEM_E2E_RECORDER=1 makes register_stand_in do this too, so any script runs through it.
recorder_dir=
register_recorder() {
  recorder_dir=$run/recorder
  mkdir -p "$recorder_dir" "$run/recordings"
  cp "$bin/recorder/Varnel.dll" "$recorder_dir/"
  printf '[recorder]\r\ncomponent = %s\r\nfolder = %s\r\n' "$(winpath "$bin/sim/Varnel.dll")" \
    "$(winpath "$run/recordings")" >"$recorder_dir/recorder.ini"
  timeout 60 wine "$regsvr32" /s "$(winpath "$recorder_dir/Varnel.dll")" || fail "regsvr32 of the recorder"
}
unregister_recorder() {
  [ -n "$recorder_dir" ] || return 0
  compgen -G "$run/recordings/*.jsonl" >/dev/null || fail "the recorder made no recording"
  timeout 60 wine "$regsvr32" /u /s "$(winpath "$recorder_dir/Varnel.dll")" || fail "regsvr32 /u of the recorder"
  recorder_dir=
}
if [ -n "${QEM_E2E_RECORDER:-}" ] && [ "$QEM_E2E_RECORDER" != 0 ]; then
  eval "$(declare -f register_stand_in | sed '1s/register_stand_in/register_stand_in_alone/')"
  register_stand_in() { register_stand_in_alone && register_recorder; }
fi

# in_order NAME RUN EXPECTED...: the status texts RUN read (its event-text lines) are the
# program's sequence EXPECTED with at most some missing, and end with EXPECTED's last. Texts are
# read as their changes are announced, which may come after a text that lasted a moment is gone.
in_order() {
  local name=$1 out=$2 at=0 text
  shift 2
  local expected=("$@")
  while IFS= read -r text; do
    while ((at < ${#expected[@]})) && [ "${expected[at]}" != "$text" ]; do at=$((at + 1)); done
    ((at < ${#expected[@]})) || { fail "$name: status \"$text\" out of order or unknown"; return; }
    at=$((at + 1))
  done < <(sed -n 's/^event-text: //p' "$out")
  [ "$(sed -n 's/^event-text: //p' "$out" | tail -1)" = "${expected[-1]}" ] ||
    fail "$name: the last status is not \"${expected[-1]}\""
}

# program_reg OPERATION KEY ARGS...: reg.exe on the registry as the program sees it.
program_reg() { wine reg "$@" $reg_view; }

# drive OUT STEPS...: runs the driver (the program's width's, or the one $driver names), its
# readings into OUT (and shown). The driver ends with 0, or with 2 after printing what went
# wrong. Seldom, under 64-bit Wine and load, it has ended with neither before printing anything:
# that and what Wine said go to the standard error, and it is started once more (its steps are
# the same, and nothing of them was done that printed).
drive() {
  local out=$1 status attempt
  shift
  for attempt in 1 2; do
    wine "${driver:-$bin/tools/drive.exe}" "$@" >"$out" 2>"$out.stderr" </dev/null
    status=$?
    sed 's/\r$//' -i "$out"
    [ -s "$out" ] || [ "$status" = 0 ] || [ "$status" = 2 ] && break
    {
      echo "  [$(basename "$out")] the driver ended with status $status, having printed nothing"
      sed "s/^/  [$(basename "$out") stderr] /" "$out.stderr"
    } >&2
  done
  sed "s/^/  [$(basename "$out")] /" "$out"
  return $status
}

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# expect FILE "key: value": that exact line is in FILE.
expect() {
  grep -qxF -- "$2" "$1" || fail "$(basename "$1") lacks \"$2\""
}

# reading FILE key: the value of the first "key: ..." line.
reading() { sed -n "s/^$2: //p" "$1" | head -1; }

# screenshot NAME "X Y W H": that part of the screen (a "client" or "frame" reading).
screenshot() {
  local name=$1 x y w h
  read -r x y w h <<<"$2"
  import -window root "$run/screen.png" 2>/dev/null
  convert "$run/screen.png" -crop "${w}x${h}+${x}+${y}" +repage "$shots/$name.png"
  echo "  screenshot: $shots/$name.png"
}

# pixel NAME X Y: the colour (#RRGGBB) at a client point of a screenshot.
pixel() {
  convert "$shots/$1.png" -format "%[hex:p{$2,$3}]" info: 2>/dev/null | cut -c1-6
}

# has_colour NAME X Y W H RRGGBB: whether that colour occurs in the rectangle.
has_colour() {
  # grep reads to the end: with pipefail, an early exit would fail the pipe.
  convert "$shots/$1.png" -crop "${4}x${5}+${2}+${3}" +repage -depth 8 txt:- 2>/dev/null |
    grep -i "#$6" >/dev/null
}

finish() {
  unregister_recorder
  wineserver -k 2>/dev/null
  if ((failures)); then
    echo "$test_name: $failures failure(s)"
    exit 1
  fi
  echo "$test_name: passed"
  exit 0
}
