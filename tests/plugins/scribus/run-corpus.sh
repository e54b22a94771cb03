#!/usr/bin/env bash
# Corpus test: fetch the sample packages (or skip with 77), then convert every
# Scribus document they hold.
#   usage: run-corpus.sh FETCH_SCRIPT CORPUS_PROGRAM
set -u
root=$("$1")
rc=$?
[ $rc -eq 0 ] || exit $rc
exec "$2" "$root/usr/share/scribus"
