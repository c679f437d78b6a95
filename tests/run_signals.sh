#!/usr/bin/env bash
# The real program ends cleanly, without the closing question, on SIGTERM, SIGINT and SIGHUP,
# writing nothing but its end to the station log.
set -u
exe=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failed=0
for sig in TERM INT HUP; do
  "$exe" &
  pid=$!
  sleep 1.5
  kill -s "$sig" "$pid"
  for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    echo "FAIL: SIG$sig did not end the program"; kill -KILL "$pid"; failed=1; continue
  fi
  wait "$pid"; status=$?
  if [ "$status" -ne 0 ]; then echo "FAIL: SIG$sig gave exit status $status"; failed=1; fi
  # Only the station's log, which ends with the program's end.
  written=$(ls -A | grep -vx registro.txt)
  if [ -n "$written" ]; then echo "FAIL: files written at exit: $written"; failed=1; fi
  if ! tail -n 1 registro.txt 2>/dev/null | grep -q 'Anunciel encerrado\.'; then
    echo "FAIL: SIG$sig: the log does not end with the program's end"; failed=1
  fi
  rm -f registro.txt
done
exit $failed
