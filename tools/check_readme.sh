#!/usr/bin/env bash
# Checks that the README's commands run as printed: every `sh` block, in
# order, as one script, in a fresh clone of the repository's HEAD, with HOME
# in a scratch directory so that the by-hand install lands there; then runs
# the installed program and looks for its manual page.
# Usage: tools/check_readme.sh
set -euo pipefail
repo=$(git rev-parse --show-toplevel)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
git clone -q "$repo" "$scratch/clone"
awk '/^```sh$/ { inside = 1; next } /^```/ { inside = 0 } inside' \
  "$scratch/clone/README.md" >"$scratch/readme.sh"
echo "check_readme: running the README's $(grep -c . "$scratch/readme.sh") command lines"
mkdir "$scratch/home"
(cd "$scratch/clone" && HOME="$scratch/home" bash -euo pipefail -x "$scratch/readme.sh")
installed=$scratch/home/.local
version=$("$installed/bin/tamrek" --version)
version=${version%%$'\n'*}
[ -f "$installed/share/man/man1/tamrek.1" ] || { echo "check_readme: no manual page installed" >&2; exit 1; }
echo "check_readme: every command ran; installed $version with its manual page"
