#!/usr/bin/env bash
# Writes the text writer's output for every document at hand under every
# option combination that changes it (ombra_text_corpus), and compares it
# byte for byte with an earlier run of another build:
#   compare-text-corpus.sh TOOL OUTDIR [BASELINE]
# Without BASELINE only writes OUTDIR. The documents: the sample, the Scribus
# test documents, the distribution's templates when they were fetched
# (tests/data/fetch-scribus-samples.sh) and the document builder's documents.
set -u
tool=$1 out=$2 baseline=${3:-}
root=$(cd "$(dirname "$0")/../../.." && pwd)
inputs=("$root/samples" "$root/tests/data/scribus" testdoc:minimal testdoc:sample testdoc:features
        random:${OMBRA_RANDOM_DOCUMENTS:-300})
corpus=${OMBRA_SCRIBUS_CORPUS:-${HOME:-/tmp}/.cache/ombra/scribus-samples/root/usr/share/scribus}
[ -d "$corpus" ] && inputs+=("$corpus")
rm -rf "$out"
"$tool" "$out" "${inputs[@]}" || exit 1
[ -n "$baseline" ] || exit 0
echo "$(ls "$out" | wc -l) outputs"
diff -rq "$baseline" "$out" && echo "identical to $baseline"
