#!/usr/bin/env bash
# Builds the program and starts it in ./data. Without a phone linked as data/com1, the bundled
# simulated phone is started and linked there first, so the whole road can be tried at once.
set -euo pipefail
cd "$(dirname "$0")"
jobs=$(nproc 2>/dev/null || echo 2)
if ! command -v cmake >/dev/null || ! dpkg-query -W qt6-base-dev qcoro-qt6-dev >/dev/null 2>&1; then
  ./test.sh --install-only
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTEL_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$jobs" --target vantel vantel-pdu vantel-phonesim
mkdir -p data
sim_pid=""
if [ ! -e data/com1 ] && [ ! -L data/com1 ]; then
  build/tools/phonesim/vantel-phonesim --link data/com1 --transcript data/phonesim.log &
  sim_pid=$!
  trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; rm -f data/com1' EXIT
  for _ in $(seq 50); do [ -e data/com1 ] && break; sleep 0.1; done
fi
cd data
../build/app/vantel
