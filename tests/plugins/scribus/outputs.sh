#!/usr/bin/env bash
# Writes what the ombra program makes of every Scribus document we have: the
# repository's documents, damaged copies of them (damage.py), and the
# distribution's template packages when they can be fetched. For each
# document: the text (convert), the dump (dump), their notes and exit
# statuses. Run it before and after a change to the reader and compare the
# two folders with `diff -r`: every byte must stay.
#   usage: outputs.sh OMBRA OUTDIR
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: outputs.sh OMBRA OUTDIR" >&2; exit 2; }
ombra=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
out=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

docs=()
while IFS= read -r f; do docs+=("$f"); done < <(
  find "$root/tests/data/scribus" -type f \( -name '*.sla' -o -name '*.sla.gz' \) | sort)
python3 "$here/damage.py" "$work/damaged" "${docs[@]}"
while IFS= read -r f; do docs+=("$f"); done < <(find "$work/damaged" -type f | sort)
if corpus=$("$root/tests/data/fetch-scribus-samples.sh" 2>/dev/null); then
  while IFS= read -r f; do docs+=("$f"); done < <(
    find "$corpus/usr/share/scribus" -type f \( -name '*.sla*' -o -name '*.scd*' \) | sort)
else
  echo "the template packages cannot be had; the repository's documents only" >&2
fi

# The notes name the input: the same name each time, wherever it lies.
for f in "${docs[@]}"; do
  name=$(echo "${f#"$root"/}" | sed "s|^$work/||; s|^/.*/usr/share/scribus/|corpus/|; s|/|_|g")
  ln -sf "$f" "$work/$name"
  (cd "$work" && "$ombra" convert "$name" -o - >"$out/$name.txt" 2>"$out/$name.txt.notes";
   echo $? >"$out/$name.txt.status") || true
  (cd "$work" && "$ombra" dump "$name" -o - >"$out/$name.json" 2>"$out/$name.json.notes";
   echo $? >"$out/$name.json.status") || true
done
echo "${#docs[@]} documents"
