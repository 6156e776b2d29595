#!/bin/sh
# A second wizard started while one runs opens no port: it says so and ends.
#   second-wizard.sh WIZARD_DEMO
demo=$1
TMPDIR=$(mktemp -d) && export TMPDIR
trap 'kill $first 2>/dev/null; rm -rf "$TMPDIR"' EXIT
"$demo" --fast --autopilot --pace 3000 --one-wizard >"$TMPDIR/first" 2>&1 &
first=$!
for i in $(seq 100); do grep -q "on the setup page pick" "$TMPDIR/first" && break; sleep 0.1; done
out=$("$demo" --fast --autopilot --one-wizard 2>&1)
status=$?
echo "$out"
[ $status -eq 3 ] && echo "$out" | grep -q "wizard-demo: another wizard runs" || exit 1
# Nothing searched, so no port was opened.
! echo "$out" | grep -q "ScanPage::scan started" || exit 1
# The first still runs and searches as ever.
kill -0 $first
