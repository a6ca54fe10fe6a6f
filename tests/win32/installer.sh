#!/usr/bin/env bash
# The installer under wine, silently: the program, its documents, the Start-menu entry and the
# uninstaller land where they should, the installed program runs, and the uninstaller takes it
# all away again. Runs in the wine session scripts/build-windows starts.
#   tests/win32/installer.sh SETUP_EXE
set -euo pipefail
setup=$1
fail() { echo "installer: $*" >&2; exit 1; }

wine "$setup" /S '/D=C:\Omblor' </dev/null >/dev/null 2>&1 || fail "the installer failed"
dir=$(winepath -u 'C:\Omblor')
menu=$(winepath -u 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Omblor')
for f in omblor.exe omblorctl.exe README.md LICENSE.txt uninstall.exe; do
  [ -f "$dir/$f" ] || fail "$f was not installed"
done
[ -f "$menu/Omblor.lnk" ] || fail "no Start-menu entry"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Omblor' /v DisplayVersion \
  </dev/null 2>/dev/null | grep -q REG_SZ || fail "no uninstall entry"

# The installed program answers (console host; input ends at once).
code=0
wine "$dir/omblor.exe" </dev/null >/dev/null 2>&1 || code=$?
[ "$code" = 255 ] || fail "the installed program ended with $code, not 255"

# _?= runs the uninstaller in place, so it is done when wine returns.
wine "$dir/uninstall.exe" /S '_?=C:\Omblor' </dev/null >/dev/null 2>&1 || fail "the uninstaller failed"
for f in omblor.exe omblorctl.exe README.md LICENSE.txt; do
  [ ! -e "$dir/$f" ] || fail "$f is still there after uninstalling"
done
[ ! -e "$menu/Omblor.lnk" ] || fail "the Start-menu entry is still there after uninstalling"
echo "installer: 1 passed, 0 failed"
