#!/usr/bin/env bash
# A picture of omblor.exe's main window as wine shows it on the current display (Xvfb), for the
# README: the program starts, the screen is captured, the program ends.
#   tests/win32/screenshot.sh OMBLOR_EXE OUT.png
set -euo pipefail
# The loader of the wine session scripts/build-windows started (Debian names wine64 in full).
wine=${WINE:-wine}
exe=$1 out=$2
# Wine draws the caption itself, as Windows does, when no window manager is there.
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
OMBLOR_UI=win32 "$wine" "$exe" -I192.168.1.50 -F//c/apps/demo_APP.s19 </dev/null >/dev/null 2>&1 &
pid=$!
# Wine takes a few seconds to start, more on a busy machine: capture until a window is there.
shot=""
for _ in $(seq 30); do
  sleep 1
  import -window root -trim +repage "$out" 2>/dev/null || continue
  if [ "$(identify -format '%w' "$out" 2>/dev/null || echo 0)" -gt 100 ]; then
    # Once more when the controls have surely been drawn too.
    sleep 1
    import -window root -trim +repage "$out" && shot=yes
    break
  fi
done
kill "$pid" 2>/dev/null || true
wineserver -k
# The window's behaviour is the window tests' business; a missing picture only costs the picture.
[ -n "$shot" ] || echo "screenshot: no window appeared within 30 s; $out is not a picture of it" >&2
