#!/usr/bin/env bash
# Builds the test programs that start threads with ThreadSanitizer (clang)
# in build-tsan/ and runs those tests: the ones labelled "threads" and the
# ones whose names say they run on several threads.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-tsan"
cmake -S "$root" -B "$build" -G Ninja -DOMBRA_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug \
  -DOMBRA_WERROR="${OMBRA_WERROR:-OFF}" \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" -j "$(nproc)" --target ombra_tests ombra_tool_tests ombra_scribus_tests \
  ombra_thread_tests
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 history_size=4"
threads='Thread|Concurrent|TakeTurns|Workers|ScribusReaderDetect|IDGenerator'
threads+='|ElementUtilState|ValuePool|CodePagesOnThreads|ExplicitCodePages|Locale\.'
threads+='|PlatformSystem|DebugBreaks|ErrorValues|ReaderBase|WriterBase|ConvertorTest'
threads+='|ReaderManagerTest|WriterManagerTest|ConvertApi|Files\.Unique|StringsWithoutService'
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -L threads
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -LE threads -R "$threads"
