#!/usr/bin/env bash
# Installs what is missing, builds, starts a throwaway PostgreSQL server and runs every test.
# Extra arguments go to ctest (e.g. scripts/test.sh -R settings).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh

trap 'scripts/pg-test-server.sh stop' EXIT
ORVANTA_TEST_PG=$(scripts/pg-test-server.sh start)
# The tests reach the server as a workstation does: no password in any string, libpq finds it.
PGPASSFILE=$(scripts/pg-test-server.sh passfile)
export ORVANTA_TEST_PG PGPASSFILE
export QT_QPA_PLATFORM=offscreen
echo "PostgreSQL test server: $ORVANTA_TEST_PG"

status=0
(cd build && ctest --output-on-failure "$@") || status=$?
exit "$status"
