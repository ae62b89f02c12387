#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh

program=build/orvanta
# A fresh build needs its local database beside the program. Offscreen and time-limited, so a
# program that does not know the option yet cannot hang here or need a display.
if [[ ! -e build/MoLian.mdb ]]; then
    QT_QPA_PLATFORM=offscreen timeout 300 "$program" --create-database-if-absent "$PWD/build" \
        || echo "run.sh: could not create build/MoLian.mdb; the program will ask for a database" >&2
fi

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    echo "run.sh: no display found; start it from a desktop session or under xvfb-run" >&2
    exit 1
fi
exec "$program" "$@"
