#!/usr/bin/env bash
# Compares what the ombra program makes of every Scribus document (outputs.sh:
# the repository's documents, damaged copies, the template packages when they
# can be had) with the recorded outputs: for each document, one digest of the
# text with its notes and exit status, and one of the dump with its own. A
# changed digest is a changed output, byte for byte.
#   usage: check-outputs.sh OMBRA DIGESTS          compare
#          check-outputs.sh OMBRA DIGESTS --write  record (from a trusted build)
set -uo pipefail
[ $# -ge 2 ] || { echo "usage: check-outputs.sh OMBRA DIGESTS [--write]" >&2; exit 2; }
ombra=$1
digests=$2
here=$(cd "$(dirname "$0")" && pwd)
# The notes are in the language of the environment: record and compare one.
export LC_ALL=C LC_MESSAGES=C LANG=C LANGUAGE=
# The template packages when a cache holds them; a test downloads nothing.
[ "${3:-}" = --write ] || export OMBRA_FETCH_OFFLINE=1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$here/outputs.sh" "$ombra" "$out/o" >"$out/log" 2>&1 || { cat "$out/log" >&2; exit 1; }

digest() { cat "$1" "$1.notes" "$1.status" | sha256sum | cut -c1-16; }
for f in "$out"/o/*.txt; do
  name=$(basename "$f" .txt)
  echo "$(digest "$f") $(digest "${f%.txt}.json") $name"
done | sort -k3 >"$out/now"

if [ "${3:-}" = --write ]; then
  cp "$out/now" "$digests"
  echo "$(wc -l <"$digests") documents recorded"
  exit 0
fi

# Documents of the template packages are compared when the packages are here.
if ! grep -q ' corpus_' "$out/now"; then
  grep -v ' corpus_' "$digests" >"$out/expected"
  echo "the template packages cannot be had; the other documents only"
else
  cp "$digests" "$out/expected"
fi
if ! diff "$out/expected" "$out/now" >"$out/diff"; then
  echo "outputs differ (< recorded, > now; columns: text, dump, document):" >&2
  cat "$out/diff" >&2
  exit 1
fi
echo "$(wc -l <"$out/now") documents, every output as recorded"
