#!/usr/bin/env bash
# A change waiting for confirmation when the power goes: every process of the prefix ends at
# once (the server is killed), the deadline passes while it is off, then the prefix starts
# again as a boot does, and its watcher, an automatic service, puts the change back.
# Usage: power_cut_test.sh PREFIX STANDIN_EXE TEST_EXE
set -uo pipefail
here="$(dirname "$0")"
prefix="$1"
standin="$2"
tests="$3"

"$here/run_with_standins.sh" "$prefix" "$standin" "$tests" \
    --gtest_filter=ConfirmedChangeTest.PowerCutBeforeTheDeadline || exit 1
# run_with_standins.sh ends with the server killed: the cut.
sleep 32
"$here/run_with_standins.sh" "$prefix" "$standin" "$tests" \
    --gtest_filter=PowerCut.AfterTheDeadlineTheWatcherStartsWithTheSystemAndPutsBack
