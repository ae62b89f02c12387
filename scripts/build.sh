#!/usr/bin/env bash
# Configures and builds into build/ at the top of the source tree.
set -euo pipefail
cd "$(dirname "$0")/.."

configure=(cmake -S . -B build -DCMAKE_BUILD_TYPE="${CMAKE_BUILD_TYPE:-RelWithDebInfo}")
# The generator can only be chosen for a fresh build folder.
if [[ ! -f build/CMakeCache.txt ]] && command -v ninja >/dev/null; then
    configure+=(-G Ninja)
fi
"${configure[@]}"
cmake --build build -j"$(nproc)"
