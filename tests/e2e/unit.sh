# Shared by the campaigns (faults.sh, phases.sh, badfolders.sh): the prefix with the stand-in
# registered, the program copied beside its run folder, a factory unit, new versions of
# components, per-run folders, and the check of what a finished run left. Sourced after lib.sh.
use_prefix sim
wineserver -p 2>/dev/null
register_stand_in
cp "$bin/QemUtil.exe" "$run/"
exe=$(winpath "$run/QemUtil.exe")
runs=0 faults=0 failed_runs=0

# The unit as it leaves the factory: seeded once, copied into every run.
factory=$run/factory
printf '[unit]\nstorage = %s\nrate = 0\nlatency = 0\n' "$(winpath "$factory")" >"$run/seed.ini"
QEMUTIL_SIM_CONFIG=$(winpath "$run/seed.ini") drive "$run/seed.out" start "$exe" window 30 \
  menu Компоненты wait-status "Запрос списка файлов завершен успешно" 30 close exit 60 >/dev/null
[ -f "$factory/storage.ini" ] || { fail "the stand-in seeded no storage"; finish; }

# The new versions: random bytes over several 4096-byte blocks, so a transfer can break halfway.
new=$run/new
mkdir -p "$new"
head -c 70000 /dev/urandom >"$new/salvik.exe"
head -c 30001 /dev/urandom >"$new/meridox.exe"
head -c 4097 /dev/urandom >"$new/tormund.exe"
head -c 120000 /dev/urandom >"$new/pelikar.exe"
declare -A row=([meridox.exe]=00 [salvik.exe]=01 [tormund.exe]=02 [pelikar.exe]=03 [volnikar.exe]=04)
declare -A candidates=([update1]="salvik.exe" [update3]="meridox.exe tormund.exe pelikar.exe")
declare -A versions=([update1]=$'SALVIK.EXE=1.3' [update3]=$'meridox.exe=2.0\nTORMUND.EXE=1.1\nPelikar.exe=2.2')

# prepare JOB DIR: the run's unit storage (and, for an update, its folder).
prepare() {
  rm -rf "$2"
  mkdir -p "$2"
  cp -a "$factory" "$2/unit"
  [ "$1" = components ] && return
  mkdir -p "$2/upd"
  local name
  for name in ${candidates[$1]}; do cp "$new/$name" "$2/upd/"; done
  printf '[VERSION]\r\n%s\r\n' "${versions[$1]//$'\n'/$'\r\n'}" >"$2/upd/Version.ini"
  echo "not a component" >"$2/upd/notes.txt"
}

# The steps that give the job's command.
command_steps() {
  if [ "$1" = components ]; then
    printf '%s\n' menu Компоненты
  else
    printf '%s\n' folder-set "$(winpath "$2/upd")" click-update
  fi
}

# Whether a stand-in's journal shows a call of a slot the contract does not list: the program
# calls the link component only through the slots it lists.
unlisted_called() { [ -f "$1" ] && grep -qE '^# contract:|^Reserved' "$1"; }

# check JOB DIR OUT STATUS INK: what a finished run must have left (JOB "-": the driver's
# readings only; check_folder looks at the files). STATUS "-": any status.
check() {
  local job=$1 dir=$2 out=$3 want=$4 ink=$5 problems=()
  grep -qxF "exit: 0" "$out" || problems+=("exit $(reading "$out" exit || true)$(reading "$out" error)")
  grep -qxF "responsive: 1" "$out" && ! grep -qxF "responsive: 0" "$out" || problems+=("not responsive")
  unlisted_called "$dir/journal" && problems+=("an unlisted slot called")
  local shown
  if [ "$want" != - ]; then
    shown=$(sed -n 's/^status: //p' "$out" | tail -1)
    [ "$(grep -c '^status: ' "$out")" -ge 1 ] && [ "$shown" = "$want" ] ||
      problems+=("status \"${shown:0:200}\", not \"${want:0:200}\"")
    [ "$(reading "$out" status-colour)" = "$ink" ] || problems+=("colour $(reading "$out" status-colour), not $ink")
  fi
  local name file confirmed=()
  if [ "$job" != - ]; then
    # Rows the unit confirmed: a confirmation request answered with 0.
    confirmed=$(awk '/^SendPacket\(27, 4, 03 / { r = $4 } /^WaitConfirm\(27, 3000\) = 0$/ { print r }' "$dir/journal")
    for file in "$factory"/*; do
      name=$(basename "$file")
      [ "$name" = storage.ini ] && continue
      if [ -n "${row[$name]:-}" ] && [[ " ${candidates[$job]:-} " = *" $name "* ]]; then
        if grep -qx "${row[$name]}" <<<"$confirmed"; then
          cmp -s "$new/$name" "$dir/unit/$name" || problems+=("$name confirmed, but the unit lacks its new bytes")
          [ -e "$dir/upd/$name" ] && problems+=("$name confirmed, but still in the folder")
        else
          cmp -s "$file" "$dir/unit/$name" || problems+=("$name not confirmed, but the unit's copy changed")
          cmp -s "$new/$name" "$dir/upd/$name" || problems+=("$name not confirmed, but gone from the folder")
        fi
      else
        cmp -s "$file" "$dir/unit/$name" || problems+=("$name changed on the unit")
      fi
    done
    if [ "$job" != components ]; then
      [ -f "$dir/upd/notes.txt" ] || problems+=("notes.txt gone")
      if compgen -G "$dir/upd/*.[eE][xX][eE]" >/dev/null; then
        [ -f "$dir/upd/Version.ini" ] || problems+=("Version.ini gone while *.exe files are left")
      else
        [ -f "$dir/upd/Version.ini" ] && problems+=("Version.ini stays with no *.exe left")
      fi
    fi
  fi
  if ((${#problems[@]})); then
    fail "$(basename "$dir"): $(IFS=';'; echo "${problems[*]}")"
  fi
}

# write_ini DIR UNIT FAULTS: the stand-in's configuration for a run, with extra [unit] lines.
write_ini() {
  {
    printf '[unit]\nstorage = %s\njournal = %s\n' "$(winpath "$1/unit")" "$(winpath "$1/journal")"
    printf '%b' "$2$3"
  } >"$1/sim.ini"
}

# one JOB NAME FAULTS MARK STATUS INK: one run with the [fault] sections FAULTS (and the [unit]
# lines in unit_extra, when set). The driver waits
# for MARK in the journal (the fault being staged: from then on the status line changes only
# to the outcome), then for the expected status, and closes the program.
one() {
  local job=$1 dir=$run/$2 faults_ini=$3 mark=$4 want=$5 ink=$6 before=$failures
  prepare "$job" "$dir"
  write_ini "$dir" "rate = 0\nlatency = 0\n${unit_extra:-}" "$faults_ini"
  local steps
  mapfile -t steps < <(command_steps "$job" "$dir")
  QEMUTIL_SIM_CONFIG=$(winpath "$dir/sim.ini") drive "$dir/out" start "$exe" window 30 "${steps[@]}" \
    await-journal "$(winpath "$dir/journal")" "$mark" 30 responsive 10 await-status "$want" 30 responsive 10 \
    status-colour close exit 60 >/dev/null
  runs=$((runs + 1))
  check "$job" "$dir" "$dir/out" "$want" "$ink"
  ((failures == before)) || failed_runs=$((failed_runs + 1))
}


# Folder runs, whatever the folder holds: snapshot DIR keeps a copy of DIR/upd before the run;
# check_folder DIR NAME afterwards compares: a component file whose row the unit confirmed is
# gone from the folder and the unit holds its bytes; every other entry is still there, byte for
# byte; the unit's other files are the factory's; Version.ini went only if the job ran and no
# *.exe entry was left.
snapshot() { rm -rf "$1/before"; cp -a "$1/upd" "$1/before"; }

check_folder() {
  local dir=$1 name=$2 problems=() confirmed entry base lower
  confirmed=$(awk '/^SendPacket\(27, 4, 03 / { r = $4 } /^WaitConfirm\(27, 3000\) = 0$/ { print r }' "$dir/journal")
  while IFS= read -r -d '' entry; do
    base=${entry#"$dir/before/"}
    lower=${base,,}
    if [ -f "$entry" ] && [ -n "${row[$lower]:-}" ] && grep -qx "${row[$lower]}" <<<"$confirmed"; then
      [ -e "$dir/upd/$base" ] && problems+=("$base confirmed, but still in the folder")
      cmp -s "$entry" "$dir/unit/$lower" || problems+=("$base confirmed, but the unit lacks its bytes")
    elif [ "$base" = Version.ini ]; then
      continue
    elif [ -d "$entry" ]; then
      [ -d "$dir/upd/$base" ] || problems+=("folder $base gone")
    else
      cmp -s "$entry" "$dir/upd/$base" || problems+=("$base gone or changed")
    fi
  done < <(find "$dir/before" -mindepth 1 -print0)
  for entry in "$factory"/*; do
    base=$(basename "$entry")
    [ "$base" = storage.ini ] && continue
    grep -qx "${row[$base]:-none}" <<<"$confirmed" && continue
    cmp -s "$entry" "$dir/unit/$base" || problems+=("$base changed on the unit")
  done
  if [ -e "$dir/before/Version.ini" ]; then
    local ran=0 left=0
    [ "$(grep -c '^Initialize() = 0$' "$dir/journal")" -ge 2 ] && ran=1
    compgen -G "$dir/upd/*.[eE][xX][eE]" >/dev/null && left=1
    if ((ran && !left)) && [ -f "$dir/before/Version.ini" ]; then
      [ -e "$dir/upd/Version.ini" ] && problems+=("Version.ini stays with no *.exe left")
    else
      [ -d "$dir/upd/Version.ini" ] || cmp -s "$dir/before/Version.ini" "$dir/upd/Version.ini" ||
        problems+=("Version.ini gone or changed")
    fi
  fi
  if ((${#problems[@]})); then
    fail "$name: $(IFS=';'; echo "${problems[*]}")"
  fi
}
