#!/usr/bin/env bash
# Runs the fault matrix's event-log cases with Wine printing every event-log record, and checks
# that the records between each case's marker lines are the ones the case expects, in order.
#   check_eventlog.sh WINE_SH FAULT_MATRIX_TESTS_EXE
# Wine keeps no event log: with WINEDEBUG=err+eventlog it prints each insertion string of a
# record as an "err:eventlog" line; the last string of a record is its operation text.
set -uo pipefail
out="$(WINEDEBUG=-all,err+eventlog "$1" "$2" --gtest_filter='Faults/EventLogRecords.*' 2>&1)"
status=$?
printf '%s\n' "$out"
[ "$status" -eq 0 ] || exit "$status"
printf '%s\n' "$out" | tr -d '\r' | awk '
    /^eventlog-case / { name = $2; expected = substr($0, index($0, " expect ") + 8); got = ""; n++; next }
    /^eventlog-case-end/ {
        if (got != expected) { printf "eventlog: %s wrote [%s], expected [%s]\n", name, got, expected; bad++ }
        name = ""; next
    }
    name != "" && match($0, /err:eventlog:ReportEventW L"(Opening Drawer|to create [A-Za-z ]+ thread|to send status command|to initialize COM port|to sned command for drawer open|to (check the port name|open the port|set the port [a-z -]+|apply the port settings|open the simulator state|start a port library thread))"/) {
        op = substr($0, RSTART, RLENGTH); sub(/^[^"]*"/, "", op); sub(/"$/, "", op)
        got = got (got == "" ? "" : "|") op
    }
    END {
        if (n == 0) { print "eventlog: no cases ran"; exit 1 }
        printf "eventlog: %d cases, %d with other records than expected\n", n, bad
        exit bad > 0
    }'
