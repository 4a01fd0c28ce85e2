#!/usr/bin/env bash
# Checks the release packages that `make dist` left in DIST: each archive's
# contents against the expected list, the Windows text files' line ends and
# the Debian package's metadata and lintian's verdict on it (no error, no
# warning); then installs the Debian package on this
# machine (as root), finds its manual page with `man -w`, runs the end-to-end
# tests against the installed /usr/bin/tamrek, and removes the package again.
# Usage: tools/check_dist.sh DIST VERSION E2E_TEST
# No pipeline here has a stage that can stop reading early (grep -q, head):
# under pipefail the writer's SIGPIPE would fail the check by chance.
set -euo pipefail
dist=$1 version=$2 e2e=$3
fail() { echo "check_dist: $*" >&2; exit 1; }

# Compares the file names of an archive (directories left out) with a list.
expect_files() {
  local archive=$1 actual=$2 expected=$3
  if ! diff -u <(sort <<<"$expected") <(grep -v '/$' <<<"$actual" | sort); then
    fail "$archive does not hold the expected files"
  fi
  echo "$archive: $(stat -c %s "$archive") bytes, holds:"
  grep -v '/$' <<<"$actual" | sort | sed 's/^/  /'
}

top=tamrek-$version-linux-$(uname -m)
tgz=$dist/$top.tar.gz
expect_files "$tgz" "$(tar -tzf "$tgz")" "$top/bin/tamrek
$top/share/doc/tamrek/LICENSE
$top/share/doc/tamrek/README.md
$top/share/man/man1/tamrek.1"

zip=$dist/tamrek-$version-win32.zip
ztop=tamrek-$version-win32
expect_files "$zip" "$(unzip -Z1 "$zip")" "$ztop/LICENSE.txt
$ztop/README.txt
$ztop/tamrek.exe"
for text in README.txt LICENSE.txt; do
  if LC_ALL=C grep -q $'[^\r]$\|^$' <(unzip -p "$zip" "$ztop/$text"); then
    fail "$ztop/$text has lines that do not end in CR LF"
  fi
done

deb=$dist/tamrek_${version}_$(dpkg --print-architecture).deb
expect_files "$deb" "$(dpkg-deb --fsys-tarfile "$deb" | tar -t)" "./usr/bin/tamrek
./usr/share/doc/tamrek/changelog.gz
./usr/share/doc/tamrek/copyright
./usr/share/man/man1/tamrek.1.gz"
[ "$(dpkg-deb -f "$deb" Package)" = tamrek ] || fail "$deb: wrong package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$deb: wrong version"
[ "$(dpkg-deb -f "$deb" Section)" = utils ] || fail "$deb: section is not utils"
grep -q '<.*@.*>' <<<"$(dpkg-deb -f "$deb" Maintainer)" || fail "$deb: no maintainer"
grep -q 'libc6 (>=' <<<"$(dpkg-deb -f "$deb" Depends)" || fail "$deb: no shared-library dependencies"
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -ge 3 ] || fail "$deb: no description paragraph"
dpkg-deb -f "$deb" Depends Description | sed 's/^/  /'
lintian_ok=true
report=$(lintian --fail-on error,warning --pedantic "$deb" 2>&1) || lintian_ok=false
report=$(grep -v 'running with root privileges' <<<"$report" || true)
echo "lintian --pedantic on $deb: ${report:-no tags}"
$lintian_ok || fail "lintian reports errors or warnings on $deb"

# Installed on this machine, it must work as the user would run it.
[ "$(id -u)" = 0 ] || fail "installing the Debian package needs root"
trap 'dpkg -r tamrek >/dev/null' EXIT
dpkg -i "$deb" >/dev/null
[ "$(man -w tamrek)" = /usr/share/man/man1/tamrek.1.gz ] || fail "man -w does not find tamrek(1)"
grep -q "tamrek $version" <<<"$(man tamrek 2>/dev/null)" || fail "the manual page does not show version $version"
TAMREK_TOOL=/usr/bin/tamrek "$e2e" --gtest_brief=1
echo "check_dist: all packages checked; the installed tamrek passed the end-to-end tests"
