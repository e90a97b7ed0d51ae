#!/usr/bin/env bash
# Installs what is missing, builds Corvane and starts it.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
tools/install-packages.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
exec build/bin/corvane "$@"
