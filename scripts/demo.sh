#!/usr/bin/env bash
# Sets up, builds the core, the plug-ins and the ombra program, and converts
# the sample publication into text on the standard output.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
build="$root/build"
cmake -S "$root" -B "$build" -G Ninja > /dev/null
cmake --build "$build" -j "$(nproc)" --target ombra_cli ombra_plugins
echo "--- ombra convert samples/sample.sla -o -" >&2
if ! "$build/bin/ombra" convert "$root/samples/sample.sla" -o -; then
  echo "--- the conversion failed; the plug-ins found were:" >&2
  "$build/bin/ombra" formats >&2 || true
  exit 1
fi
