#!/usr/bin/env bash
# The installer under wine, silently: the program, its documents, the Start-menu entry and the
# uninstaller land in the installer's own Program Files folder, given as FOLDER (the 64-bit one
# for the 64-bit installer), the installed program runs, and the uninstaller takes it all away
# again. Runs in the wine session scripts/build-windows starts.
#   tests/win32/installer.sh SETUP_EXE FOLDER
set -euo pipefail
# The loader of the wine session scripts/build-windows started (Debian names wine64 in full).
wine=${WINE:-wine}
setup=$1 folder=$2
fail() { echo "installer: $*" >&2; exit 1; }

"$wine" "$setup" /S </dev/null >/dev/null 2>&1 || fail "the installer failed"
dir=$("$wine" winepath -u "$folder")
menu=$("$wine" winepath -u 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Omblor')
for f in omblor.exe omblorctl.exe README.md LICENSE.txt uninstall.exe; do
  [ -f "$dir/$f" ] || fail "$f was not installed"
done
[ -f "$menu/Omblor.lnk" ] || fail "no Start-menu entry"
"$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Omblor' /v DisplayVersion \
  </dev/null 2>/dev/null | grep -q REG_SZ || fail "no uninstall entry"

# The installed program answers (console host; input ends at once).
code=0
"$wine" "$dir/omblor.exe" </dev/null >/dev/null 2>&1 || code=$?
[ "$code" = 255 ] || fail "the installed program ended with $code, not 255"

# The uninstaller runs on from a copy of itself and ends after wine has returned (its in-place
# switch, _?=, cannot be given a folder with blanks through wine's command line): wait for it.
"$wine" "$dir/uninstall.exe" /S </dev/null >/dev/null 2>&1 || fail "the uninstaller failed"
for _ in $(seq 150); do
  [ -e "$dir" ] || break
  sleep 0.2
done
for f in omblor.exe omblorctl.exe README.md LICENSE.txt uninstall.exe; do
  [ ! -e "$dir/$f" ] || fail "$f is still there after uninstalling"
done
[ ! -e "$menu/Omblor.lnk" ] || fail "the Start-menu entry is still there after uninstalling"
echo "installer: 1 passed, 0 failed"
