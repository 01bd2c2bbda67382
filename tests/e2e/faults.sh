#!/usr/bin/env bash
# Fault campaign: for each job (the component list, an update of one and of three candidates)
# a clean run lists the link calls the job makes; then each of those calls in turn is made to
# fail, one run each way: status 6 with a text, status 6 with no text from the link, status 7
# with a text, a status outside any table (-2147483648), a time-out (waits only) and a
# disconnect. Every run checks that the program stayed responsive and ended with exit code 0,
# that the status line shows the expected text in the expected colour, that a file left the folder if and only if the unit confirmed it, that
# the unit holds either the old or the new bytes of a component (never anything else), and that
# Version.ini stays unless no *.exe entry is left. Prints the number of runs, faults, failures.
# Besides, the file-list reply is bent every way the stand-in can, and every call the program
# makes outside the job (start-up, the worker's start and end, shutdown) fails in turn too
# (pseudo-job "lifecycle"): the component list must still arrive, the program still end well.
# The component list's cases run again against a link component that has only the contracted
# methods (pseudo-job "contract"), with an update of three files.
# Usage: faults.sh SOURCE_DIR BUILD_DIR [JOB...]   (jobs: components update1 update3 lifecycle
# contract; without any, those in QEM_FAULT_JOBS, else all)
source "$(dirname "$0")/lib.sh" "$1" "$2" faults
shift 2
jobs=("$@")
((${#jobs[@]})) || read -ra jobs <<<"${QEM_FAULT_JOBS:-components update1 update3 lifecycle contract}"
started=$SECONDS
source "$(dirname "$0")/unit.sh"

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

# kinds METHOD: the faults staged on a call of METHOD.
kinds() {
  echo fail6 fail6-silent fail7 fail-min
  [[ $1 = Wait* ]] && echo timeout
  echo disconnect
}

# stage METHOD CALL KIND: the [fault] sections (into ini) and the link's text (into text).
stage() {
  local method=$1 call=$2 kind=$3 fault
  case $kind in
    timeout) fault="action = timeout" ;;
    disconnect) fault="action = disconnect" ;;
    fail7) fault="status = 7\ntext = Сбой $method $call: память" ;;
    fail-min) fault="status = -2147483648\ntext = Сбой $method $call: код вне таблицы" ;;
    *) fault="status = 6\ntext = Сбой $method $call: отказ" ;;
  esac
  ini="[fault]\nmethod = $method\ncall = $call\n$fault\n"
  # No text from the link: its GetErrorText gives an empty one.
  [ "$kind" = fail6-silent ] && ini+="[fault]\nmethod = GetErrorText\n"
  case $kind in
    fail6) text="Сбой $method $call: отказ" ;;
    fail7) text="Сбой $method $call: память" ;;
    fail-min) text="Сбой $method $call: код вне таблицы" ;;
    fail6-silent) text="" ;;
    *) text=$(link_text "$method" "$kind") ;;
  esac
}

list_done="Запрос списка файлов завершен успешно"
list_failed="Запрос списка файлов завершен неудачно "
list_short="Запрос списка файлов завершен неудачно: ответ блока неполный"

# calls RUN: the calls of the clean run RUN, "pre|job|post METHOD N" (N: the call's number for
# its method). The job's own calls lie between the worker's start (its SetInteractive(0)) and its
# end (its SetInteractive(1)).
calls() {
  grep -v '^#' "$run/$1/journal" |
    awk -F'(' 'BEGIN { at = "pre" } /^SetInteractive\(1\)/ && at == "job" { at = "post" }
               { n[$1]++; print at, $1, n[$1] } /^SetInteractive\(0\)/ && at == "pre" { at = "job" }'
}

# The link component of a run: the stand-in as it is ("told": it tells the reply's length through
# an interface of its own), or with only the contracted methods like the vendor's ("contract":
# the reply is then bounded by the memory behind it, a fixed buffer holding earlier replies).
mode=told
set_mode() {
  mode=$1
  if [ "$mode" = contract ]; then unit_extra='contract-only = 1\n' tag=contract-
  else unit_extra='' tag=''; fi
}
set_mode told

# bent SHAPE STATUS INK ROWS: three component lists in one run, the second with its reply bent
# (WaitData's fault action SHAPE): it must end with STATUS in INK and ROWS rows drawn; the first
# and the third must bring the unit's six components. A latency keeps each list long enough for
# the driver to see it start.
bent() {
  local shape=$1 want=$2 ink=$3 rows=$4 before=$failures name problems=() out
  name=${tag}bent-$(printf '%s' "$shape" | sed 's/\\n/-/g; s/ = /-/g')
  local dir=$run/$name
  prepare components "$dir"
  write_ini "$dir" "rate = 0\nlatency = 100\n$unit_extra" "[fault]\nmethod = WaitData\ncall = 2\naction = $shape\n"
  export QEMUTIL_SIM_CONFIG=$(winpath "$dir/sim.ini")
  drive "$dir/owner" start "$exe" window 30 exit 90 >/dev/null &
  local owner=$!
  drive "$dir/1" attach 30 menu Компоненты wait-status "$list_done" 30 comp-rows >/dev/null
  drive "$dir/2" attach 30 menu Компоненты wait-status Инициализация... 10 \
    await-journal "$(winpath "$dir/journal")" "# fault: WaitData call 2" 30 responsive 10 \
    await-status "$want" 30 responsive 10 status-colour comp-rows >/dev/null
  drive "$dir/3" attach 30 menu Компоненты wait-status Инициализация... 10 \
    await-status "$list_done" 30 responsive 10 status-colour comp-rows close >/dev/null
  wait "$owner"
  unset QEMUTIL_SIM_CONFIG
  runs=$((runs + 1)) faults=$((faults + 1))
  grep -qxF "exit: 0" "$dir/owner" || problems+=("exit $(reading "$dir/owner" exit)$(reading "$dir/owner" error)")
  unlisted_called "$dir/journal" && problems+=("an unlisted slot called")
  [ "$(reading "$dir/1" comp-rows)" = 6 ] || problems+=("first list: $(reading "$dir/1" comp-rows) rows")
  for out in 2 3; do
    if [ "$out" = 3 ]; then want=$list_done ink=normal rows=6; fi
    grep -qxF "responsive: 0" "$dir/$out" && problems+=("list $out: not responsive")
    [ "$(sed -n 's/^status: //p' "$dir/$out" | tail -1)" = "$want" ] ||
      problems+=("list $out: status \"$(sed -n 's/^status: //p' "$dir/$out" | tail -1)\", not \"$want\"")
    [ "$(reading "$dir/$out" status-colour)" = "$ink" ] || problems+=("list $out: colour $(reading "$dir/$out" status-colour), not $ink")
    [ "$(reading "$dir/$out" comp-rows)" = "$rows" ] || problems+=("list $out: $(reading "$dir/$out" comp-rows) rows, not $rows")
  done
  ((${#problems[@]})) && fail "$name: $(IFS=';'; echo "${problems[*]}")"
  ((failures == before)) || failed_runs=$((failed_runs + 1))
}

# job JOB [clean]: the clean run of JOB, then (unless "clean") every call it made failed in turn.
job() {
  local job=$1 done_text
  if [ "$job" = components ]; then done_text=$list_done
  else done_text="Обновление файлов завершено успешно"; fi
  one "$job" "$tag$job-clean" "" "SetInteractive(0)" "$done_text" normal
  [ "${2:-}" = clean ] && return
  calls "$tag$job-clean" | sed -n 's/^job //p' >"$run/$tag$job.calls"
  echo "$tag$job: $(wc -l <"$run/$tag$job.calls") link calls: $(cut -d' ' -f1 "$run/$tag$job.calls" | tr '\n' ' ')"
  [ -s "$run/$tag$job.calls" ] || fail "$tag$job: the clean run made no link call"
  local sendpackets=0 method call kind want ink
  while read -r method call; do
    [ "$method" = SendPacket ] && sendpackets=$((sendpackets + 1))
    for kind in $(kinds "$method"); do
      stage "$method" "$call" "$kind"
      # What the program makes of it (the link's text where it takes the link's text).
      want=$text
      if [ "$job" = components ]; then
        case $method in
          Initialize) ;;
          SendPacket | WaitAnswer | WaitData)
            if [ "$method" = WaitData ] || { [ "$method" = SendPacket ] && ((sendpackets == 2)); }; then
              want=$list_failed
            elif [ $kind != fail6 ] || [ -z "$text" ]; then
              want="Задание директории завершено неудачно"
            fi ;;
          GetReceivedData | GetReceivedSize) want=$list_short ;;
          *) want="?" ;;
        esac
      fi
      ink=red
      [ -z "$want" ] && ink=none
      faults=$((faults + 1))
      one "$job" "$tag$job-$method-$call-$kind" "$ini" "# fault: $method call $call" "$want" "$ink"
    done
  done <"$run/$tag$job.calls"
  if [ "$job" = components ]; then
    # The file-list reply bent, then the next list. A wrong code is the unit's answer, not a link
    # failure: its message is in the normal ink. A reply that ends early or whose counts run
    # past its end fails in red where the length is told. Where it is not, the reply runs on into
    # what the fixed buffer still holds of the whole list before it, which completes it: that
    # list is shown again, as the link handed it over.
    bent "wrong-code\ncode = 2" "$list_failed" normal 0
    local shape
    for shape in "truncate\nlength = 5" "truncate\nlength = 1" overrun-count overrun-name; do
      if [ "$mode" = told ]; then bent "$shape" "$list_short" red 0
      else bent "$shape" "$list_done" normal 6; fi
    done
  fi
  if [ "$job" = update1 ]; then
    # Texts from the link that are long, or outside code page 1251, or full of the ini's and
    # the journal's own signs: shown as they come.
    local long odd
    long=$(printf 'Очень длинное сообщение об отказе %04d. ' $(seq 1 250))
    long=${long% }
    odd='Отказ ✓ 更新 "в кавычках" ; # = \ конец'
    for text in "$long" "$odd"; do
      faults=$((faults + 1))
      one update1 "update1-WaitConfirm-text${#text}" "[fault]\nmethod = WaitConfirm\nstatus = 6\ntext = ${text//\\/\\\\}\n" \
        "# fault: WaitConfirm call 1" "$text" red
    done
  fi
}

for job in "${jobs[@]}"; do
  case $job in
    lifecycle)
      # Calls outside the job, on the component list's clean run: the list still arrives (the
      # unit pulled before the job aside), and a failing shutdown call still ends the program.
      [ -f "$run/components-clean/journal" ] || one components components-clean "" "SetInteractive(0)" "$list_done" normal
      calls components-clean | grep -v '^job ' >"$run/lifecycle.calls"
      echo "lifecycle: $(wc -l <"$run/lifecycle.calls") link calls: $(cut -d' ' -f2 "$run/lifecycle.calls" | tr '\n' ' ')"
      while read -r at method call; do
        for kind in $(kinds "$method"); do
          stage "$method" "$call" "$kind"
          mark="# fault: $method call $call" want=$list_done ink=normal
          if [ "$at" = post ]; then
            mark="GetReceivedSize("
          elif [ "$kind" = disconnect ]; then
            want="Блок диагностики не подключен" ink=red
          fi
          faults=$((faults + 1))
          one components "lifecycle-$method-$call-$kind" "$ini" "$mark" "$want" "$ink"
        done
      done <"$run/lifecycle.calls"
      ;;
    contract)
      # A link component with only the contracted methods: the component list with every call
      # failed in turn and its reply bent, and an update of three files.
      set_mode contract
      job components
      job update3 clean
      set_mode told
      ;;
    *) job "$job" ;;
  esac
done

elapsed=$((SECONDS - started))
echo "fault campaign: $runs runs, $faults faults, $failed_runs failed, $elapsed s"
finish
