#!/usr/bin/env bash
# Checks the release packages that `make dist` left in DIST (the tarball,
# the Debian package, the Windows zip and the web page): their
# SHA256SUMS; that the same sources, exported by git archive and built again
# elsewhere in another time zone, give the same bytes; each archive's
# contents against the expected list, the Windows text files' line ends and
# the Debian package's metadata and lintian's verdict on it (no tag at all,
# informational ones included); that no shipped program holds a test hook
# and no shipped README links to what is not shipped; that the tarball's
# static program runs in an empty root and passes the end-to-end tests;
# then installs the Debian package on this machine (as root; refused when a
# tamrek package is installed already), checks the installed program's
# hardening, finds its manual page with `man -w`, runs the end-to-end tests
# against the installed /usr/bin/tamrek, and removes the package again.
# Usage: tools/check_dist.sh DIST VERSION E2E_TEST
# No pipeline here has a stage that can stop reading early (grep -q, head):
# under pipefail the writer's SIGPIPE would fail the check by chance.
set -euo pipefail
dist=$1 version=$2 e2e=$3
fail() { echo "check_dist: $*" >&2; exit 1; }

(cd "$dist" && sha256sum --strict -c SHA256SUMS) || fail "$dist/SHA256SUMS does not match"
[ "$(grep -c . "$dist/SHA256SUMS")" = 4 ] || fail "$dist/SHA256SUMS does not list the four packages"

# The same sources, as they are in this work tree (its changes to tracked
# files included), exported by git archive, without .git, and built again
# elsewhere: the epoch comes from the changelog, so the bytes must match.
repo=$(git rev-parse --show-toplevel) || fail "the reproducibility check needs a git checkout"
again=$(mktemp -d)
trap 'rm -rf "$again"' EXIT
mkdir "$again/src"
tree=$(git -C "$repo" stash create)
git -C "$repo" archive --format=tar "${tree:-HEAD}" >"$again/src.tar"
tar -xf "$again/src.tar" -C "$again/src"
[ ! -e "$again/src/.git" ] || fail "the export holds .git"
echo "check_dist: building the packages again from a git archive export in $again, in another time zone"
if ! (cd "$again/src" && TZ=Asia/Tokyo make dist BUILD="$again/build" >"$again/log" 2>&1); then
  tail -n 30 "$again/log" >&2
  fail "the second build failed"
fi
if ! cmp "$dist/SHA256SUMS" "$again/src/dist/SHA256SUMS"; then
  diff "$dist/SHA256SUMS" "$again/src/dist/SHA256SUMS" >&2 || true
  fail "a second build of the same sources gave other bytes"
fi
echo "check_dist: a second build gave the same bytes:"
sed 's/^/  /' "$dist/SHA256SUMS"

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
expect_files "$tgz" "$(tar -tzf "$tgz")" "$top/LICENSE
$top/README
$top/bin/tamrek
$top/share/man/man1/tamrek.1"

zip=$dist/tamrek-$version-win32.zip
ztop=tamrek-$version-win32
expect_files "$zip" "$(unzip -Z1 "$zip")" "$ztop/LICENSE.txt
$ztop/MANUAL.txt
$ztop/README.txt
$ztop/tamrek.exe"
for text in README.txt LICENSE.txt MANUAL.txt; do
  if LC_ALL=C grep -q $'[^\r]$\|^$' <(unzip -p "$zip" "$ztop/$text"); then
    fail "$ztop/$text has lines that do not end in CR LF"
  fi
done

# The web page is one file that asks for nothing: its policy allows no
# request, and it names no other file or address to load.
web=$dist/tamrek-$version-web.html
LC_ALL=C grep -c "connect-src 'none'" "$web" >/dev/null || fail "$web has no policy against requests"
if LC_ALL=C grep -c -E '(src|href)="[^"#]' "$web" >/dev/null; then
  fail "$web loads another file"
fi
echo "$web: $(stat -c %s "$web") bytes, $(gzip -9 <"$web" | wc -c) gzipped"

deb=$dist/tamrek_${version}_$(dpkg --print-architecture).deb
expect_files "$deb" "$(dpkg-deb --fsys-tarfile "$deb" | tar -t)" "./usr/bin/tamrek
./usr/share/doc/tamrek/README
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
report=$(lintian -I --pedantic "$deb" 2>&1) || true
report=$(grep -v 'running with root privileges' <<<"$report" || true)
echo "lintian -I --pedantic on $deb: ${report:-no tags}"
[ -z "$report" ] || fail "lintian reports tags on $deb"

# No shipped program reads a test variable: it has no test hook.
unpacked=$again/unpacked
mkdir "$unpacked"
tar -xzf "$tgz" -C "$unpacked"
unzip -q "$zip" -d "$unpacked"
dpkg-deb -x "$deb" "$unpacked/deb"
for program in "$unpacked/$top/bin/tamrek" "$unpacked/$ztop/tamrek.exe" "$unpacked/deb/usr/bin/tamrek"; do
  if LC_ALL=C grep -a -c TAMREK_TEST "$program" >/dev/null; then
    fail "${program#"$unpacked"/} holds the string TAMREK_TEST"
  fi
done
echo "check_dist: no shipped program holds the string TAMREK_TEST"

# No shipped document links to a file that is not shipped.
for doc in "$unpacked/$top/README" "$unpacked/$ztop/README.txt" "$unpacked/deb/usr/share/doc/tamrek/README"; do
  if LC_ALL=C grep -c -E '\]\(|docs/|\.md\b' "$doc" >/dev/null; then
    fail "${doc#"$unpacked"/} links to a file that is not shipped"
  fi
done

# The tarball's program needs nothing of the system it runs on: it runs in
# an empty root, and passes the end-to-end tests.
tarball=$unpacked/$top/bin/tamrek
[[ "$(file "$tarball")" == *"statically linked"* ]] || fail "$top/bin/tamrek is not statically linked"
mkdir "$again/root"
cp "$tarball" "$again/root/tamrek"
[ "$(chroot "$again/root" /tamrek --version | sed q)" = "tamrek $version" ] ||
  fail "$top/bin/tamrek does not run in an empty root"
TAMREK_TOOL=$tarball "$e2e" --gtest_brief=1
echo "check_dist: the tarball's program runs in an empty root and passed the end-to-end tests"

# Installed on this machine, it must work as the user would run it.  A
# tamrek package the machine had before is left alone: the check is refused.
[ "$(id -u)" = 0 ] || fail "installing the Debian package needs root"
if [ "$(dpkg-query -W -f='${Status}' tamrek 2>/dev/null || true)" = "install ok installed" ]; then
  fail "a tamrek package is installed on this machine; remove it first (dpkg -r tamrek): this check would replace and then remove it"
fi
trap 'dpkg -r tamrek >/dev/null; rm -rf "$again"' EXIT
dpkg -i "$deb" >/dev/null

# Hardened as Debian's own packages are.  Two lines may say less than yes,
# each for one reason only: no function of the program has a frame large
# enough to need stack-clash probes; and Debian 12's C start files (crt1.o)
# carry no IBT/SHSTK property, so no program linked with them has it,
# although the program's own code is built with -fcf-protection.
hardening=$(hardening-check /usr/bin/tamrek || true)
echo "$hardening"
for want in "Position Independent Executable: yes" "Stack protected: yes" \
  "Fortify Source functions: yes" "Read-only relocations: yes" "Immediate binding: yes"; do
  grep -Fq " $want" <<<"$hardening" || fail "/usr/bin/tamrek is not hardened: no \"$want\""
done
grep -Eq ' Stack clash protection: (yes|unknown, no -fstack-clash-protection instructions found)' \
  <<<"$hardening" || fail "/usr/bin/tamrek has no stack clash protection"
if ! grep -Fq ' Control flow integrity: yes' <<<"$hardening"; then
  grep -q 'IBT, SHSTK' <<<"$(readelf -n "$(gcc -print-file-name=crt1.o)")" &&
    fail "/usr/bin/tamrek lacks control flow integrity, which the C start files allow"
fi
[ "$(man -w tamrek)" = /usr/share/man/man1/tamrek.1.gz ] || fail "man -w does not find tamrek(1)"
grep -q "tamrek $version" <<<"$(man tamrek 2>/dev/null)" || fail "the manual page does not show version $version"
TAMREK_TOOL=/usr/bin/tamrek "$e2e" --gtest_brief=1
echo "check_dist: all packages checked; the installed tamrek passed the end-to-end tests"
