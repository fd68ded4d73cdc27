#!/bin/sh
# The long crash run: quillfern killed at random moments while it inserts, moves, marks and
# deletes, ROUNDS times (default 100), checking after each restart that nothing was lost or
# damaged. Run from the repository after `make build`.
set -e
ROUNDS=${1:-100}
QUILLFERN_CRASH_ROUNDS=$ROUNDS exec ./build/tests/test_shell \
	--gtest_filter='StoreCommandTest.KilledAtRandomMomentsLosesAndDamagesNothing'
