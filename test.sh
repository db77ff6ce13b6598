#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, runs every test.
set -euo pipefail
cd "$(dirname "$0")"
tools/bootstrap.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLEVELBOOK_WERROR=ON
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"
