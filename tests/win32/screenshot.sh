#!/usr/bin/env bash
# A picture of omblor.exe's main window as wine shows it on the current display (Xvfb), for the
# README: the program starts, the screen is captured, the program ends.
#   tests/win32/screenshot.sh OMBLOR_EXE OUT.png
set -euo pipefail
exe=$1 out=$2
# Wine draws the caption itself, as Windows does, when no window manager is there.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
OMBLOR_UI=win32 wine "$exe" -I192.168.1.50 -F//c/apps/demo_APP.s19 </dev/null >/dev/null 2>&1 &
pid=$!
sleep 5
# The window on a black screen: trimming the black leaves the window.
import -window root -trim +repage "$out"
kill "$pid" 2>/dev/null || true
wineserver -k
