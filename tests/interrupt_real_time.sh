#!/bin/sh
# Ctrl-C from outside, in real time: rotabench-sim runs the built-in session
# until its first run is accepted, then gets SIGINT in the middle of the
# second. It must end at once with that run's summary and exit code 130.
#   interrupt_real_time.sh path/to/rotabench-sim
set -u
sim=$1
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"$sim" </dev/null >"$out" 2>&1 &
pid=$!
waited=0
until grep -q "scale = " "$out"; do
  sleep 0.1
  waited=$((waited + 1))
  if [ "$waited" -gt 600 ]; then
    echo "no run accepted within a minute:"; cat "$out"; kill "$pid"; exit 1
  fi
done
kill -INT "$pid"
wait "$pid"
code=$?
cat "$out"
[ "$code" -eq 130 ] || { echo "exit code $code, expected 130"; exit 1; }
grep -q "^==== summary (1 runs) ====$" "$out" || { echo "no summary of the accepted run"; exit 1; }
grep -q "^==== truth" "$out" || { echo "no truth block"; exit 1; }
