#!/usr/bin/env bash
# Sets up, builds and runs every test. With --sanitize the build uses clang
# with AddressSanitizer and UndefinedBehaviorSanitizer in its own build
# folder, so that the tree is compiled by both compilers. OMBRA_WERROR=ON in
# the environment makes warnings errors (CI sets it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
build="$root/build"
extra=(-DOMBRA_WERROR="${OMBRA_WERROR:-OFF}")
if [ "${1:-}" = "--sanitize" ]; then
  build="$root/build-sanitize"
  extra+=(-DOMBRA_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug
          -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14)
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
fi
cmake -S "$root" -B "$build" -G Ninja "${extra[@]}"
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"
