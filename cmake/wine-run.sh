#!/bin/sh
# Runs a Windows program of the build under Wine. A run that fails says its
# exit code and time, so that a test process that dies before printing
# anything still leaves a trace in the test log.
start=$(date +%s.%N)
wine "$@"
rc=$?
if [ "$rc" -ne 0 ]; then
    end=$(date +%s.%N)
    echo "(wine $(basename "$1") exited with code $rc after $(awk "BEGIN { printf \"%.2f\", $end - $start }") s)" >&2
fi
exit "$rc"
