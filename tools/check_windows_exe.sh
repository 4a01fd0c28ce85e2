#!/usr/bin/env bash
# Checks a Windows build of tamrek: a PE executable of the expected kind
# (PE32 for i686, PE32+ for x86_64), for the console subsystem, importing
# system DLLs only (no MinGW runtime DLLs to ship beside it), carrying a
# version resource that holds VERSION, built for ASLR (DYNAMIC_BASE) and DEP
# (NX_COMPAT), and an application manifest that
# runs it asInvoker (no file virtualization), lists Windows Vista to 10/11
# as supported and makes it long-path aware, with no activeCodePage.
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
# Loaded at a random address (ASLR) and with data that cannot be executed.
for flag in DYNAMIC_BASE NX_COMPAT; do
  grep -Eq "^[[:space:]]+$flag\$" <<<"$headers" || fail "lacks $flag"
done
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
# The manifest: the bytes of resource type 24, found through the .rsrc
# section's address and file offset.
manifest_rva=$(sed -n '/Type: MANIFEST (ID 24)/,/DataSize/s/^ *DataRVA: //p' <<<"$resources")
manifest_size=$(sed -n '/Type: MANIFEST (ID 24)/,/DataSize/s/^ *DataSize: //p' <<<"$resources")
[ -n "$manifest_rva" ] && [ -n "$manifest_size" ] || fail "has no application manifest"
image_base=$(sed -n 's/^ImageBase[[:space:]]*//p' <<<"$headers")
read -r rsrc_vma rsrc_offset < <("$objdump" -h "$exe" | awk '$2 == ".rsrc" { print $4, $6 }')
offset=$((manifest_rva - (0x$rsrc_vma - 0x$image_base) + 0x$rsrc_offset))
# One command reads the bytes: a pipeline whose first stage a reader can
# close early may die of SIGPIPE, which pipefail reports as a failure.
manifest=$(dd if="$exe" iflag=skip_bytes,count_bytes skip=$((offset)) count=$((manifest_size)) status=none)
manifest=$(tr -s ' \n' ' ' <<<"$manifest")
want_in_manifest() {
  grep -Fq "$1" <<<"$manifest" || fail "manifest lacks $1"
}
want_in_manifest '<requestedExecutionLevel level="asInvoker" uiAccess="false"/>'
for os in e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a \
  4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 \
  8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
  want_in_manifest "<supportedOS Id=\"{$os}\"/>"
done
grep -Eq '<longPathAware[^>]*>true</longPathAware>' <<<"$manifest" ||
  fail "manifest is not longPathAware"
! grep -q 'activeCodePage' <<<"$manifest" || fail "manifest sets an activeCodePage"

echo "$exe: $arch PE console program, $(stat -c %s "$exe") bytes, version $version, DYNAMIC_BASE, NX_COMPAT, manifest asInvoker," \
  "imports: $(echo $dlls)"
