#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) into build-fuzz/ and runs each one for
# SECONDS (default 20), starting from the seeds in fuzz/corpus/<target>/. Exits non-zero when a
# target finds a crash, a leak or a hang; the reproducer is left in build-fuzz/artifacts/.
#   fuzz/run.sh          a short pass (./test.sh runs this)
#   fuzz/run.sh 600      a longer run
#   build-fuzz/fuzz/<target> build-fuzz/artifacts/<file>    replays one finding
set -euo pipefail
seconds=${1:-20}
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$root/build-fuzz
jobs=$(nproc 2>/dev/null || echo 2)
targets=(fuzz_technical fuzz_message fuzz_frame fuzz_describe fuzz_settings)

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVANTEL_BUILD_GUI=OFF -DVANTEL_BUILD_TESTS=OFF -DVANTEL_BUILD_BENCH=OFF \
  -DVANTEL_BUILD_FUZZ=ON >/dev/null
cmake --build "$build" --target "${targets[@]}" -j"$jobs"

mkdir -p "$build/artifacts"
failed=()
for t in "${targets[@]}"; do
  work=$build/corpus/$t
  mkdir -p "$work"
  echo "== $t: ${seconds}s"
  # New inputs go to the working corpus in build-fuzz; the seeds in the tree stay as they are.
  if ! UBSAN_OPTIONS=print_stacktrace=1 "$build/fuzz/$t" "$work" "$here/corpus/$t" \
      -max_total_time="$seconds" -timeout=10 -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$t-" 2>"$build/$t.log"; then
    failed+=("$t")
    tail -n 40 "$build/$t.log"
  else
    grep -E '^stat::number_of_executed_units|^Done' "$build/$t.log" || tail -n 2 "$build/$t.log"
  fi
done

if ((${#failed[@]})); then
  echo "Fuzzing found faults in: ${failed[*]} (reproducers in $build/artifacts/)" >&2
  exit 1
fi
echo "Fuzzing: no faults in ${#targets[@]} targets (${seconds}s each)"
