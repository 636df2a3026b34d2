#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for the given number of seconds
# (default 60), starting from a copy of its checked-in corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
      -DMORROWSET_BUILD_FUZZ=ON -DMORROWSET_BUILD_GUI=OFF -DMORROWSET_BUILD_BENCH=OFF > /dev/null
for corpus in tests/fuzz/corpus/*/; do
  name=$(basename "$corpus")
  cmake --build build-fuzz --target "${name}_fuzz"
  work=$(mktemp -d)
  cp "$corpus"* "$work"/
  "build-fuzz/tests/fuzz/${name}_fuzz" -max_total_time="$seconds" -print_final_stats=1 "$work" 2>&1 | tail -n 3
  rm -rf "$work"
done
