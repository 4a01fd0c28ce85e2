#!/usr/bin/env bash
# Checks that the README's commands run as printed: every `sh` block of the
# README, then of docs/releasing.md, in order, as one script, in a fresh
# clone of the repository's HEAD, with HOME
# in a scratch directory so that the by-hand install lands there; then runs
# the installed program and looks for its manual page.
# Usage: tools/check_readme.sh
set -euo pipefail
repo=$(git rev-parse --show-toplevel)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
git clone -q "$repo" "$scratch/clone"
awk '/^```sh$/ { inside = 1; next } /^```/ { inside = 0 } inside' \
  "$scratch/clone/README.md" "$scratch/clone/docs/releasing.md" >"$scratch/readme.sh"
echo "check_readme: running the $(grep -c . "$scratch/readme.sh") command lines of the README and docs/releasing.md"
mkdir "$scratch/home"
(cd "$scratch/clone" && HOME="$scratch/home" bash -euo pipefail -x "$scratch/readme.sh")
installed=$scratch/home/.local
version=$("$installed/bin/tamrek" --version)
version=${version%%$'\n'*}
[ -f "$installed/share/man/man1/tamrek.1" ] || { echo "check_readme: no manual page installed" >&2; exit 1; }
# The README's uninstall command, then the same for a prefix with a space
# and Japanese in its name, after the build directory is gone.
sh "$installed/share/doc/tamrek/uninstall.sh"
[ ! -e "$installed" ] || { echo "check_readme: the uninstall left $(find "$installed")" >&2; exit 1; }
odd="$scratch/my prefix/ドラゴン"
cmake --install "$scratch/clone/build" --prefix "$odd" >/dev/null
rm -rf "$scratch/clone/build"
sh "$odd/share/doc/tamrek/uninstall.sh"
[ ! -e "$odd" ] || { echo "check_readme: the uninstall left $(find "$odd")" >&2; exit 1; }
echo "check_readme: every command ran; installed $version with its manual page, and uninstalled it again"
