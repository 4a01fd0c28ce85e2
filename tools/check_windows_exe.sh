#!/usr/bin/env bash
# Checks a Windows build of tamrek: a PE executable of the expected kind
# (PE32 for i686, PE32+ for x86_64), for the console subsystem, importing
# system DLLs only (no MinGW runtime DLLs to ship beside it), and carrying a
# version resource that holds VERSION.
# Usage: tools/check_windows_exe.sh EXE i686|x86_64 VERSION
set -euo pipefail
exe=$1 arch=$2 version=$3
case $arch in
  i686) magic='010b' objdump=i686-w64-mingw32-objdump ;;
  x86_64) magic='020b' objdump=x86_64-w64-mingw32-objdump ;;
  *) echo "unknown architecture: $arch" >&2; exit 2 ;;
esac
headers=$("$objdump" -p "$exe")
fail() { echo "$exe: $*" >&2; exit 1; }
grep -Eq "^Magic[[:space:]]+$magic" <<<"$headers" || fail "not a $arch PE image"
grep -Eq '^Subsystem[[:space:]]+00000003' <<<"$headers" || fail "not a console program"
dlls=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | sort -u)
for dll in $dlls; do
  case ${dll,,} in
    kernel32.dll | msvcrt.dll | advapi32.dll | user32.dll | shell32.dll | ucrtbase.dll | api-ms-win-*.dll) ;;
    *) fail "imports $dll, which is not a Windows system DLL" ;;
  esac
done
# The resource directory holds a version resource (type 16), whose strings
# (UTF-16) name the file and its version.
resources=$(llvm-readobj --coff-resources "$exe")
grep -Fq 'Type: VERSIONINFO (ID 16)' <<<"$resources" || fail "has no version resource"
strings=$(strings -e l "$exe")
for want in "FileVersion" "ProductVersion" "OriginalFilename" "tamrek.exe" "$version"; do
  grep -Fxq "$want" <<<"$strings" || fail "version resource lacks \"$want\""
done
echo "$exe: $arch PE console program, $(stat -c %s "$exe") bytes, version $version," \
  "imports: $(echo $dlls)"
