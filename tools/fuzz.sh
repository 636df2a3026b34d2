#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 60), starting from a copy of its checked-in corpus. A finding stops the script
# with the fuzzer's report; the input that caused it is left in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DMORROWSET_BUILD_FUZZ=ON -DMORROWSET_BUILD_GUI=OFF -DMORROWSET_BUILD_BENCH=OFF > /dev/null
mkdir -p build-fuzz/findings
for corpus in tests/fuzz/corpus/*/; do
  name=$(basename "$corpus")
  cmake --build build-fuzz --target "${name}_fuzz"
  work=$(mktemp -d)
  cp "$corpus"* "$work"/
  report="build-fuzz/findings/${name}.txt"
  if ! "build-fuzz/tests/fuzz/${name}_fuzz" -max_total_time="$seconds" -print_final_stats=1 \
       -artifact_prefix="build-fuzz/findings/${name}-" "$work" > "$report" 2>&1; then
    tail -n 60 "$report"
    echo "fuzz target ${name}: finding, see $report" >&2
    rm -rf "$work"
    exit 1
  fi
  echo "${name}: $(grep -m1 -o 'stat::number_of_executed_units: [0-9]*' "$report")"
  rm -rf "$work"
done
