# Which Windows widths this machine can run under Wine, found by starting Wine's loader of
# each width rather than guessed from the architecture's name: some machines of our kind
# execute no 32-bit programs (the kernel answers "Exec format error"), where only the 64-bit
# build can run. QEM_NO_WIN32=1 makes the scripts treat 32-bit as unavailable, so that the
# 64-bit path can be tried anywhere. Sourced by scripts/test and scripts/run.

# width_runs 32|64: whether this machine runs that width's Wine; if not, why_not says why.
width_runs() {
  local loader=/usr/lib/wine/wine answer
  if [ "$1" = 32 ] && [ -n "${QEM_NO_WIN32:-}" ] && [ "${QEM_NO_WIN32}" != 0 ]; then
    why_not="32-bit treated as unavailable (QEM_NO_WIN32 is set)"
    return 1
  fi
  [ "$1" = 64 ] && loader=/usr/lib/wine/wine64
  if answer=$("$loader" --version 2>&1); then
    why_not=
    return 0
  fi
  case $answer in
    *"Exec format error"*) why_not="this machine does not execute $1-bit programs" ;;
    *) why_not="$1-bit Wine does not start: $(printf '%s' "$answer" | tail -1)" ;;
  esac
  return 1
}

# runnable_width: the width to run the program in here, 32 (the product) where that runs, else 64.
runnable_width() {
  if width_runs 32; then echo 32; elif width_runs 64; then echo 64; else return 1; fi
}
