#!/usr/bin/env bash
# Fetches the distribution's Scribus template and data packages and unpacks
# them into a cache outside the source tree, for the corpus test. Prints the
# folder that holds the unpacked files. Reuses a complete cache (and, with
# OMBRA_FETCH_OFFLINE set, downloads nothing when there is none). Exits 77
# with "skipped: ..." when the packages cannot be had.
#   usage: fetch-scribus-samples.sh [CACHE_FOLDER]
set -u
cache="${1:-${XDG_CACHE_HOME:-${HOME:-/tmp}/.cache}/ombra/scribus-samples}"
packages=(scribus-template scribus-data)
root="$cache/root"

skip() {
  echo "skipped: $*" >&2
  exit 77
}

if [ -f "$cache/complete" ] && [ -d "$root" ]; then
  echo "$root"
  exit 0
fi
[ -z "${OMBRA_FETCH_OFFLINE:-}" ] || skip "no cache, and OMBRA_FETCH_OFFLINE forbids a download"
command -v apt-get >/dev/null 2>&1 || skip "apt-get is not available"
command -v dpkg-deb >/dev/null 2>&1 || skip "dpkg-deb is not available"
mkdir -p "$cache" || skip "cannot create $cache"

# One fetch at a time, even when several builds run their tests at once.
exec 9>"$cache/lock"
if command -v flock >/dev/null 2>&1; then flock 9; fi
if [ -f "$cache/complete" ] && [ -d "$root" ]; then
  echo "$root"
  exit 0
fi

work=$(mktemp -d "$cache/fetch.XXXXXX") || skip "cannot create a work folder in $cache"
trap 'rm -rf "$work"' EXIT
download() {
  (cd "$work" && timeout 300 apt-get download "${packages[@]}") >"$work/log" 2>&1
}
if ! download; then
  # A machine without package lists needs them once; only root may fetch them.
  if [ "$(id -u)" -eq 0 ]; then
    timeout 300 apt-get update -qq >>"$work/log" 2>&1 || true
    download || skip "the package registry cannot be reached ($(tail -n 1 "$work/log"))"
  else
    skip "the package registry cannot be reached ($(tail -n 1 "$work/log"))"
  fi
fi
mkdir -p "$work/root"
for deb in "$work"/*.deb; do
  [ -e "$deb" ] || skip "no package was downloaded"
  dpkg-deb -x "$deb" "$work/root" || skip "cannot unpack $(basename "$deb")"
done
rm -rf "$root"
mv "$work/root" "$root"
touch "$cache/complete"
echo "$root"
