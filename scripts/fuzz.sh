#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for a fixed time,
# as many at once as there are cores. Any crash, leak, timeout or
# out-of-memory fails the run and leaves the input in build-fuzz/findings/.
#
#   scripts/fuzz.sh [--time SECONDS] [--jobs N] [TARGET...]
#
# TARGET is a name without the fuzz_ prefix (default: every target). New
# inputs found go to build-fuzz/corpus/TARGET, never into fuzz/corpus.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=25
jobs=$(nproc)
targets=()
while [ $# -gt 0 ]; do
  case $1 in
    --time) seconds=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    -h|--help) sed -n '2,10p' "$0"; exit 0 ;;
    *) targets+=("$1"); shift ;;
  esac
done
build="$root/build-fuzz"
cmake -S "$root" -B "$build" -G Ninja -DOMBRA_BUILD_FUZZ=ON -DOMBRA_BUILD_TESTS=OFF \
  -DOMBRA_BUILD_PYTHON=OFF -DOMBRA_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DOMBRA_WERROR="${OMBRA_WERROR:-OFF}" \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
if [ ${#targets[@]} -eq 0 ]; then
  for source in "$root"/fuzz/fuzz_*.cpp; do
    name=${source##*/fuzz_}
    targets+=("${name%.cpp}")
  done
fi
cmake --build "$build" -j "$(nproc)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$build/findings" "$build/logs"

# One target: its seeds (fuzz/corpus/NAME) and what earlier runs found
# (build-fuzz/corpus/NAME, where new inputs go).
run() {
  local name=$1 work="$build/corpus/$1" seeds=() dict=()
  mkdir -p "$work"
  [ -d "$root/fuzz/corpus/$name" ] && seeds+=("$root/fuzz/corpus/$name")
  [ -f "$root/fuzz/$name.dict" ] && dict=(-dict="$root/fuzz/$name.dict")
  if "$build/fuzz/fuzz_$name" "$work" "${seeds[@]}" "${dict[@]}" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=2048 \
    -artifact_prefix="$build/findings/$name-" -print_final_stats=1 \
    >"$build/logs/$name.log" 2>&1; then
    echo "fuzz: $name ran $seconds s: $(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' \
      "$build/logs/$name.log" | grep -o '[0-9]*$') runs, no findings"
  else
    echo "fuzz: $name FAILED; the log is $build/logs/$name.log:"
    grep -E -A30 '^==[0-9]+==|^SUMMARY|Test unit written|ERROR: libFuzzer' \
      "$build/logs/$name.log" | head -60
    return 1
  fi
}

failed=0
pids=()
for name in "${targets[@]}"; do
  run "$name" &
  pids+=($!)
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || failed=1
    pids=("${pids[@]:1}")
  fi
done
for pid in "${pids[@]}"; do
  wait "$pid" || failed=1
done
if [ $failed -ne 0 ]; then
  echo "fuzz: findings are in $build/findings (fuzz/README.md says how to keep them as seeds)"
  exit 1
fi
