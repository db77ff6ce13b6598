#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program with the shipped template.
# Without a display it runs the command-line generator on the sample route instead.
set -euo pipefail
cd "$(dirname "$0")"
tools/bootstrap.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG"
cmake --build build -j"$(nproc)"
bin=build/bin
if { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; } && [ -x "$bin/levelbook" ]; then
  echo "A sample route to try: $(realpath "$bin/sample.xlsx") (新建模板, then 打开 in the workbook window)."
  exec "$bin/levelbook" "$@"
fi
if [ -x "$bin/levelbook-cli" ]; then
  out="$bin/sample-水准表.xlsx"
  "$bin/levelbook-cli" "$bin/sample.xlsx" -o "$out"
  echo "Field book written to $(realpath "$out")"
else
  echo "The programs are not built yet; run ./test.sh to build and test the engine." >&2
  exit 1
fi
