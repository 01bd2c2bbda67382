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
# Usage: faults.sh SOURCE_DIR BUILD_DIR [JOB...]   (jobs: components update1 update3 lifecycle;
# without any, those in QEM_FAULT_JOBS, else all)
source "$(dirname "$0")/lib.sh" "$1" "$2" faults
shift 2
jobs=("$@")
((${#jobs[@]})) || read -ra jobs <<<"${QEM_FAULT_JOBS:-components update1 update3 lifecycle}"
started=$SECONDS
use_prefix sim
wineserver -p 2>/dev/null
wine regsvr32 /s "$(winpath "$bin/sim/Varnel.dll")" || fail "regsvr32 of the stand-in"
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

# calls JOB: the clean run's calls, "pre|job|post METHOD N" (N: the call's number for its
# method). The job's own calls lie between the worker's start (its SetInteractive(0)) and its
# end (its SetInteractive(1)).
calls() {
  grep -v '^#' "$run/$1-clean/journal" |
    awk -F'(' 'BEGIN { at = "pre" } /^SetInteractive\(1\)/ && at == "job" { at = "post" }
               { n[$1]++; print at, $1, n[$1] } /^SetInteractive\(0\)/ && at == "pre" { at = "job" }'
}

for job in "${jobs[@]}"; do
  if [ "$job" = lifecycle ]; then
    # Calls outside the job, on the component list's clean run: the list still arrives (the
    # unit pulled before the job aside), and a failing shutdown call still ends the program.
    [ -f "$run/components-clean/journal" ] || one components components-clean "" "SetInteractive(0)" "$list_done" normal
    calls components | grep -v '^job ' >"$run/lifecycle.calls"
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
    continue
  fi
  if [ "$job" = components ]; then done_text=$list_done
  else done_text="Обновление файлов завершено успешно"; fi
  one "$job" "$job-clean" "" "SetInteractive(0)" "$done_text" normal
  calls "$job" | sed -n 's/^job //p' >"$run/$job.calls"
  echo "$job: $(wc -l <"$run/$job.calls") link calls: $(cut -d' ' -f1 "$run/$job.calls" | tr '\n' ' ')"
  [ -s "$run/$job.calls" ] || fail "$job: the clean run made no link call"
  sendpackets=0
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
      one "$job" "$job-$method-$call-$kind" "$ini" "# fault: $method call $call" "$want" "$ink"
    done
  done <"$run/$job.calls"
  if [ "$job" = components ]; then
    # The file-list reply bent: a wrong code is the unit's answer, not a link failure, so its
    # message is in the normal ink; a short reply or counts running past its end are failures.
    for shape in "wrong-code\ncode = 2" "truncate\nlength = 5" overrun-count overrun-name; do
      want=$list_short ink=red
      [[ $shape = wrong-code* ]] && want=$list_failed ink=normal
      faults=$((faults + 1))
      one components "components-WaitData-${shape%%\\n*}" "[fault]\nmethod = WaitData\naction = $shape\n" \
        "# fault: WaitData call 1" "$want" "$ink"
    done
  fi
  if [ "$job" = update1 ]; then
    # Texts from the link that are long, or outside code page 1251, or full of the ini's and
    # the journal's own signs: shown as they come.
    long=$(printf 'Очень длинное сообщение об отказе %04d. ' $(seq 1 250))
    long=${long% }
    odd='Отказ ✓ 更新 "в кавычках" ; # = \ конец'
    for text in "$long" "$odd"; do
      faults=$((faults + 1))
      one update1 "update1-WaitConfirm-text${#text}" "[fault]\nmethod = WaitConfirm\nstatus = 6\ntext = ${text//\\/\\\\}\n" \
        "# fault: WaitConfirm call 1" "$text" red
    done
  fi
done

elapsed=$((SECONDS - started))
echo "fault campaign: $runs runs, $faults faults, $failed_runs failed, $elapsed s"
finish
