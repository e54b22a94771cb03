#!/usr/bin/env bash
# Makes the real Scribus documents of tests/data/scribus/real and records
# beside each what Scribus reports for it (NAME.expected). Needs Scribus 1.5
# with its Python scripter, Xvfb and the fonts the documents use:
#   apt-get install scribus xvfb xauth fonts-dejavu-core fonts-noto-core fonts-noto-cjk
# Not part of the build or of CI; run it by hand after changing the scripts:
#   tests/data/scribus/real/make/make.sh [--only-record]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$(dirname "$here")
fetch="$out/../../fetch-scribus-samples.sh"
for tool in scribus xvfb-run python3; do
  command -v "$tool" >/dev/null || { echo "make.sh: $tool is missing" >&2; exit 1; }
done
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
log="$stage/log"
touch "$log"

run_scribus() {  # SCRIPT: runs a scripter script in a headless Scribus
  timeout 900 xvfb-run -a scribus -g -ns -py "$1" >>"$stage/scribus.out" 2>&1 || true
}

# Templates of the generations before 1.5 that are saved again in the 1.5
# format.
templates=(
  nl1-bw/newsletter1-A4-bw.sla.gz
  br2/br2-a4-3cols.sla.gz
  prog1/program1-bw.sla.gz
  cal1/cal1-a4.sla.gz
  scribus_project_pl/scribus_project_pl.sla.gz
  nl2/nl2.sla.gz
  Lulu_and_Createspace_6x9_paper_book/Lulu_and_Createspace_6x9_paper_book.sla.gz
  mc/menu_template1.sla.gz
)

if [ "${1:-}" != "--only-record" ]; then
  export SCRIBUS_STAGE="$stage" SCRIBUS_OUT="$out"
  run_scribus "$here/build_documents.py"
  cat "$stage/build.log"
  grep -q FAILED "$stage/build.log" && { echo "make.sh: a document failed" >&2; exit 1; }
  python3 "$here/patch_drafts.py" "$stage/styles.sla"

  jobs="$stage/jobs"
  : >"$jobs"
  for draft in "$stage"/*.sla "$stage"/*.sla.gz; do
    printf '%s\t%s\n' "$draft" "$out/$(basename "$draft")" >>"$jobs"
  done
  # A template is saved beside its pictures, in a copy of its folder, so
  # that the links it keeps are plain relative names.
  samples=$("$fetch")/usr/share/scribus/templates
  for t in "${templates[@]}"; do
    name=$(basename "$t" .sla.gz)
    mkdir -p "$stage/templates/$name"
    cp -r "$samples/$(dirname "$t")/." "$stage/templates/$name/"
    printf '%s\t%s\n' "$stage/templates/$name/$(basename "$t")" \
      "$stage/templates/$name/resaved-$name.sla.gz" >>"$jobs"
  done
  SCRIBUS_JOBS="$jobs" SCRIBUS_LOG="$log" run_scribus "$here/resave.py"
  for t in "${templates[@]}"; do
    name=$(basename "$t" .sla.gz)
    mv "$stage/templates/$name/resaved-$name.sla.gz" "$out/"
  done
  chmod 644 "$out"/*.sla "$out"/*.sla.gz
fi

ls "$out"/*.sla "$out"/*.sla.gz >"$stage/docs"
SCRIBUS_DOCS="$stage/docs" SCRIBUS_LOG="$log" run_scribus "$here/record_expected.py"
cat "$log"
if grep -q FAILED "$log"; then echo "make.sh: see the failures above" >&2; exit 1; fi
