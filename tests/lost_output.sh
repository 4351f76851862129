#!/bin/sh
# Every program whose output is lost says so and ends with 74: standard
# output to a full disk (/dev/full) or closed by the shell (>&-), whether
# the stream found out in a write or only when flushed, and a drawing to a
# full disk; each says it once, with the system's reason. A program that wrote nothing to a closed standard
# output lost nothing; rotabench without a module ends with its own 1.
#   lost_output.sh path/to/rotabench path/to/rotabench-sim path/to/rotabench-report
set -u
rotabench=$1 sim=$2 report=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
log=$dir/session.log
"$sim" --fast >"$log" || { echo "no session log"; exit 1; }
full="No space left on device" closed="Bad file descriptor"
failures=0
# code | standard output to | the line on standard error ("-": none about standard output) | program and arguments
while IFS='|' read -r code to line command; do
  [ -z "$code" ] && continue
  set -- $command
  program=$1; shift
  case $program in
    rotabench) program=$rotabench ;; sim) program=$sim ;; report) program=$report ;;
  esac
  case $to in
    full) "$program" "$@" >/dev/full 2>"$dir/err" </dev/null ;;
    closed) "$program" "$@" >&- 2>"$dir/err" </dev/null ;;
    null) "$program" "$@" >/dev/null 2>"$dir/err" </dev/null ;;
  esac
  got=$?
  if [ "$got" -ne "$code" ]; then
    echo "$command >$to: exit code $got, expected $code"; cat "$dir/err"; failures=$((failures + 1))
  elif [ "$line" = "-" ]; then
    if grep -q ": standard output: " "$dir/err"; then
      echo "$command >$to: a loss reported where nothing was lost:"; cat "$dir/err"; failures=$((failures + 1))
    fi
  elif [ "$(grep -cxF "$line" "$dir/err")" -ne 1 ]; then
    echo "$command >$to: not once the line '$line' on standard error:"; cat "$dir/err"; failures=$((failures + 1))
  fi
done <<TABLE
74|full|rotabench-report: standard output: $full|report $log
74|full|rotabench-report: standard output: $full|report --csv $log
74|full|rotabench-report: standard output: $full|report --json $log
74|full|rotabench-report: standard output: $full|report --matrix $log
74|closed|rotabench-report: standard output: $closed|report $log
74|closed|rotabench-report: standard output: $closed|report --matrix --csv $log
0|null|-|report $log
2|closed|-|report --no-such-option
74|full|rotabench-sim: standard output: $full|sim --fast
74|closed|rotabench-sim: standard output: $closed|sim --fast
74|full|rotabench-sim: standard output: $full|sim --study 2
74|null|rotabench-sim: /dev/full: $full|sim --study 40 --svg /dev/full
0|null|-|sim --fast
1|full|rotabench: standard output: $full|rotabench
1|closed|rotabench: standard output: $closed|rotabench
2|closed|-|rotabench --no-such-option
TABLE
[ "$failures" -eq 0 ] || { echo "$failures of the cases failed"; exit 1; }
echo "every lost output reported"
