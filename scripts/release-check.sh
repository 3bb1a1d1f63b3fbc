#!/bin/sh
# release-check.sh EXE: checks that EXE is fit to ship as the 32-bit Windows
# release: PE32 for i386, a console program, importing only KERNEL32.dll,
# USER32.dll, ADVAPI32.dll (a process's elevation) and msvcrt.dll, and
# carrying exactly one resource, icon group 101, with its images. Prints
# each check; exits 1 when one fails.
# Needs objdump from binutils-mingw-w64-i686 and wrestool from icoutils.
set -u

exe=${1:?usage: release-check.sh EXE}
objdump=i686-w64-mingw32-objdump
failed=0

check() { # check WHAT EXPECTED ACTUAL
	if [ "$2" = "$3" ]; then
		echo "ok   $1: $3"
	else
		echo "FAIL $1: expected $2, found ${3:-nothing}"
		failed=1
	fi
}

if [ ! -f "$exe" ]; then
	echo "FAIL $exe: no such file (build the win32 preset first)"
	exit 1
fi
headers=$($objdump -p "$exe" 2>/dev/null | tr -s '\t' ' ')

check "format" "pei-i386" "$($objdump -f "$exe" 2>/dev/null | sed -n 's/.*file format //p')"
check "header" "010b (PE32)" "$(echo "$headers" | sed -n 's/^Magic[[:space:]]*//p')"
check "subsystem" "00000003 (Windows CUI)" \
	"$(echo "$headers" | sed -n 's/^Subsystem[[:space:]]*//p')"
check "imports" "ADVAPI32.dll KERNEL32.dll msvcrt.dll USER32.dll" \
	"$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -f | tr '\n' ' ' |
		sed 's/ $//')"

# Resources: every one listed as "--type=T --name=N ...".
resources=$(wrestool -l "$exe" 2>/dev/null)
check "icon groups" "101" \
	"$(echo "$resources" | sed -n 's/^--type=14 --name=\([^ ]*\).*/\1/p' | tr '\n' ' ' |
		sed 's/ $//')"
others=$(echo "$resources" | grep -v -e '^--type=3 ' -e '^--type=14 ' -e '^$')
check "other resources" "none" "${others:-none}"

# The group's entries are 14 bytes after a 6-byte header: width, height
# (0 for 256), ..., and the image's id in the last two bytes.
group=$(wrestool -x -R --type=14 --name=101 "$exe" 2>/dev/null | od -An -v -tu1 | tr -s ' \n' '  ')
ids=$(echo "$group" | awk '{ for (i = 7; i + 13 <= NF; i += 14) print $(i + 12) + 256 * $(i + 13) }' |
	sort -n | tr '\n' ' ')
check "icon images (those of group 101)" "${ids:-(group 101 has none)}" \
	"$(echo "$resources" | sed -n 's/^--type=3 --name=\([^ ]*\).*/\1/p' | sort -n | tr '\n' ' ')"
echo "info icon sizes: $(echo "$group" |
	awk '{ for (i = 7; i + 13 <= NF; i += 14) printf "%d ", $i ? $i : 256 }')"
echo "info size: $(wc -c <"$exe") bytes"

exit $failed
