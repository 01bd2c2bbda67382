#!/usr/bin/env bash
# Fault campaign: for each job (the component list, an update of one and of three candidates)
# a clean run lists the link calls the job makes; then each of those calls in turn is made to
# fail, one run each way: status 6 with a text, status 6 with no text from the link, status 7
# with a text, a time-out (waits only) and a disconnect. Every run checks that the program
# stayed responsive and ended with exit code 0, that the status line shows the expected text in
# the expected colour, that a file left the folder if and only if the unit confirmed it, that
# the unit holds either the old or the new bytes of a component (never anything else), and that
# Version.ini stays unless no *.exe entry is left. Prints the number of runs, faults, failures.
# Usage: faults.sh SOURCE_DIR BUILD_DIR [JOB...]   (jobs: components update1 update3; without
# any, those in QEM_FAULT_JOBS, else all)
source "$(dirname "$0")/lib.sh" "$1" "$2" faults
shift 2
jobs=("$@")
((${#jobs[@]})) || read -ra jobs <<<"${QEM_FAULT_JOBS:-components update1 update3}"
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
