#!/usr/bin/env bash
# Fault campaign: for each job (the component list, an update of one and of three candidates)
# a clean run lists the link calls the job makes; then each of those calls in turn is made to
# fail, one run each way: status 6 with a text, status 6 with no text from the link, status 7
# with a text, a time-out (waits only) and a disconnect. Every run checks that the program
# stayed responsive and ended with exit code 0, that the status line shows the expected text in
# the expected colour, that a file left the folder if and only if the unit confirmed it, that
# the unit holds either the old or the new bytes of a component (never anything else), and that
# Version.ini stays unless no *.exe entry is left. Prints the number of runs, faults, failures.
# Usage: faults.sh SOURCE_DIR BUILD_DIR [JOB...]   (jobs: components update1 update3; all by default)
source "$(dirname "$0")/lib.sh" "$1" "$2" faults
shift 2
jobs=("$@")
((${#jobs[@]})) || jobs=(components update1 update3)
started=$SECONDS
use_prefix sim
wineserver -p 2>/dev/null
wine regsvr32 /s "$(winpath "$bin/sim/Varnel.dll")" || fail "regsvr32 of the stand-in"
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
declare -A row=([meridox.exe]=00 [salvik.exe]=01 [tormund.exe]=02 [pelikar.exe]=03)
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

# check JOB DIR OUT STATUS INK: what a finished run must have left.
check() {
  local job=$1 dir=$2 out=$3 want=$4 ink=$5 problems=()
  grep -qxF "exit: 0" "$out" || problems+=("exit $(reading "$out" exit || true)$(reading "$out" error)")
  grep -qxF "responsive: 1" "$out" || problems+=("not responsive")
  local shown
  shown=$(reading "$out" status)
  [ "$(grep -c '^status: ' "$out")" -ge 1 ] && [ "$shown" = "$want" ] ||
    problems+=("status \"$shown\", not \"$want\"")
  [ "$(reading "$out" status-colour)" = "$ink" ] || problems+=("colour $(reading "$out" status-colour), not $ink")
  local name file confirmed=()
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
  if ((${#problems[@]})); then
    failed_runs=$((failed_runs + 1))
    fail "$(basename "$dir"): $(IFS=';'; echo "${problems[*]}")"
  fi
}

# one JOB NAME FAULTS MARK STATUS INK: one run with the [fault] sections FAULTS. The driver waits
# for MARK in the journal (the fault being staged: from then on the status line changes only
# to the outcome), then for the expected status, and closes the program.
one() {
  local job=$1 dir=$run/$2 faults_ini=$3 mark=$4 want=$5 ink=$6
  prepare "$job" "$dir"
  {
    printf '[unit]\nstorage = %s\njournal = %s\nrate = 0\nlatency = 0\n' "$(winpath "$dir/unit")" "$(winpath "$dir/journal")"
    printf '%b' "$faults_ini"
  } >"$dir/sim.ini"
  local steps
  mapfile -t steps < <(command_steps "$job" "$dir")
  QEMUTIL_SIM_CONFIG=$(winpath "$dir/sim.ini") drive "$dir/out" start "$exe" window 30 "${steps[@]}" \
    await-journal "$(winpath "$dir/journal")" "$mark" 30 await-status "$want" 30 responsive 10 \
    status-colour close exit 60 >/dev/null
  runs=$((runs + 1))
  check "$job" "$dir" "$dir/out" "$want" "$ink"
}

# The link's error text for a fault that leaves the text to the stand-in.
link_text() {
  case $2 in
    timeout)
      case $1 in WaitAnswer) echo "Блок диагностики не ответил за 1000 мс" ;; WaitData) echo "Блок диагностики не ответил за 2000 мс" ;;
        *) echo "Блок диагностики не ответил за 3000 мс" ;; esac ;;
    disconnect)
      if [ "$1" = SendFile ]; then echo "Связь с блоком диагностики прервана при передаче файла"
      else echo "Блок диагностики не подключен"; fi ;;
  esac
}

for job in "${jobs[@]}"; do
  # The clean run: the job's own calls are those between the worker's start (its
  # SetInteractive(0)) and its end (its SetInteractive(1)).
  if [ "$job" = components ]; then done_text="Запрос списка файлов завершен успешно"
  else done_text="Обновление файлов завершено успешно"; fi
  one "$job" "$job-clean" "" "SetInteractive(0)" "$done_text" normal
  grep -v '^#' "$run/$job-clean/journal" |
    awk -F'(' '/^SetInteractive\(0\)/ { on = 1; next } /^SetInteractive\(1\)/ { on = 0 }
               { n[$1]++ } on { print $1, n[$1] }' >"$run/$job.calls"
  echo "$job: $(wc -l <"$run/$job.calls") link calls: $(cut -d' ' -f1 "$run/$job.calls" | tr '\n' ' ')"
  [ -s "$run/$job.calls" ] || fail "$job: the clean run made no link call"
  sendpackets=0
  while read -r method call; do
    [ "$method" = SendPacket ] && sendpackets=$((sendpackets + 1))
    for kind in fail6 fail6-silent fail7 timeout disconnect; do
      case $kind in
        timeout) [[ $method = Wait* ]] || continue
          fault="action = timeout" ;;
        disconnect) fault="action = disconnect" ;;
        fail7) fault="status = 7\ntext = Сбой $method $call: память" ;;
        *) fault="status = 6\ntext = Сбой $method $call: отказ" ;;
      esac
      ini="[fault]\nmethod = $method\ncall = $call\n$fault\n"
      # No text from the link: its GetErrorText gives an empty one.
      [ $kind = fail6-silent ] && ini+="[fault]\nmethod = GetErrorText\n"
      case $kind in
        fail6 | fail7) text="Сбой $method $call: $([ $kind = fail7 ] && echo память || echo отказ)" ;;
        fail6-silent) text="" ;;
        *) text=$(link_text "$method" "$kind") ;;
      esac
      # What the program makes of it (the link's text where it takes the link's text).
      want=$text
      if [ "$job" = components ]; then
        case $method in
          Initialize) ;;
          SendPacket | WaitAnswer | WaitData)
            if [ "$method" = WaitData ] || { [ "$method" = SendPacket ] && ((sendpackets == 2)); }; then
              want="Запрос списка файлов завершен неудачно "
            elif [ $kind != fail6 ] || [ -z "$text" ]; then
              want="Задание директории завершено неудачно"
            fi ;;
          GetReceivedData | GetReceivedSize) want="Запрос списка файлов завершен неудачно: ответ блока неполный" ;;
          *) want="?" ;;
        esac
      fi
      ink=red
      [ -z "$want" ] && ink=none
      faults=$((faults + 1))
      one "$job" "$job-$method-$call-$kind" "$ini" "# fault: $method call $call" "$want" "$ink"
    done
  done <"$run/$job.calls"
done

elapsed=$((SECONDS - started))
echo "fault campaign: $runs runs, $faults faults, $failed_runs failed, $elapsed s"
finish
