#!/usr/bin/env bash
# Writes the text writer's output, through the ombra program, for every
# document at hand under every option combination that changes it, one file
# each, and compares them byte for byte with an earlier run of another build:
#   compare-text-corpus.sh BUILD OUTDIR [BASELINE]
# Without BASELINE only writes OUTDIR. The documents: the sample, the Scribus
# test documents, the distribution's templates when they were fetched
# (tests/data/fetch-scribus-samples.sh), the IDML test documents and the
# document builder's documents.
set -u
build=$1 out=$2 baseline=${3:-}
root=$(cd "$(dirname "$0")/../../.." && pwd)
ombra=$build/bin/ombra
corpus=${OMBRA_SCRIBUS_CORPUS:-${HOME:-/tmp}/.cache/ombra/scribus-samples/root/usr/share/scribus}
rm -rf "$out" && mkdir -p "$out/inputs" || exit 1

documents=()
while IFS= read -r -d '' f; do documents+=("$f"); done < <(
  find "$root/samples" "$root/tests/data/scribus" "$root/tests/data/idml" ${corpus:+"$corpus"} \
    -type f \( -name '*.sla' -o -name '*.sla.gz' -o -name '*.scd' -o -name '*.scd.gz' \
    -o -name '*.idml' \) -print0 \
    2>/dev/null | sort -z)
for name in minimal sample features; do
  echo "ombra-test-document:$name" > "$out/inputs/testdoc:$name"
  documents+=("$out/inputs/testdoc:$name")
done

utf8=(--encoding utf8 --eol platform)
platform="Target platform"
combinations=(
  "default-pc|--encoding default|--eol platform"
  "default-mac|--encoding default|--eol platform|--set $platform=Mac"
  "default-unix|--encoding default|--eol platform|--set $platform=Unix"
  "utf8-unix|--set $platform=Unix"
  "utf8-pc-bom|--set Byte-order mark for UTF-8=on"
  "utf16-pc|--encoding utf16|--eol platform"
  "utf16-mac|--encoding utf16|--eol platform|--set $platform=Mac"
  "styles|--style-tags [%s] "
  "styles-template|--style-tags <%s>%%\t"
  "breaks|--page-breaks \f"
  "breaks-text|--page-breaks ---- 改頁 ----"
  "hidden|--hidden"
  "wrap20|--wrap 20"
  "wrap72-default|--encoding default|--eol platform|--wrap 72"
  "points|--unit points"
  "inches|--unit inches"
  "no-ruby|--set Ruby readings in parentheses after the base text=off"
  "all|--set $platform=Unix|--style-tags [%s] |--page-breaks \f|--hidden|--wrap 40|--unit twips"
)
for combination in "${combinations[@]}"; do
  label=${combination%%|*}
  # The flags, separated by '|': "--flag value" or a lone flag.
  IFS='|' read -r -a parts <<< "${combination#*|}"
  args=()
  [[ ${parts[0]} == --encoding* ]] || args=("${utf8[@]}")
  for part in "${parts[@]}"; do
    if [[ $part == *" "* ]]; then args+=("${part%% *}" "${part#* }"); else args+=("$part"); fi
  done
  for doc in "${documents[@]}"; do
    # Named as before: the top folder and the path under it, or testdoc:NAME.
    case $doc in
      "$root/samples/"*) name=samples/${doc#"$root/samples/"} ;;
      "$root/tests/data/scribus/"*) name=scribus/${doc#"$root/tests/data/scribus/"} ;;
      "$root/tests/data/idml/"*) name=idml/${doc#"$root/tests/data/idml/"} ;;
      "$corpus/"*) name=scribus/${doc#"$corpus/"} ;;
      *) name=$(basename "$doc") ;;
    esac
    name=${name//\//_}
    "$ombra" convert -q --readers "$build/tests/support/plugins" "${args[@]}" \
      -o "$out/$name@$label.txt" "$doc" 2>/dev/null
  done
done
rm -rf "$out/inputs"
echo "$(ls "$out" | wc -l) outputs of ${#documents[@]} documents x ${#combinations[@]} option combinations"
[ -n "$baseline" ] || exit 0
diff -rq "$baseline" "$out" && echo "identical to $baseline"
