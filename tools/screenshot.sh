#!/bin/bash
# Runs Kivrel.exe under Wine in a virtual X display on a module and saves a
# screenshot of its window.
#
# Usage: tools/screenshot.sh [-b BUILD-DIR] [-s WIDTHxHEIGHT] [-m] [-l] OUTPUT.png [MODULE]
#   -b  build directory of the x86_64 Windows build (default: build/win64)
#   -s  open the window at this size instead of its template size
#   -m  drop the options menu down (the Space key on "Options...") first
#   -l  with "Loader rules" on (the stored "Loader" setting)
#   MODULE  the module to scan (default: the GUI tests' fixture program, whose
#           report has found and missing modules; else Kivrel.exe itself)
# The program runs in a private Wine prefix under the build directory, so its
# settings start empty every time; Wine's own desktop frames the window.
set -euo pipefail

build=build/win64
size=
menu=
loader=
while getopts "b:s:ml" option; do
  case $option in
    b) build=$OPTARG ;;
    s) size=$OPTARG ;;
    m) menu=1 ;;
    l) loader=1 ;;
    *) sed -n '5,11p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
[ $# -ge 1 ] || { sed -n '5,11p' "$0"; exit 2; }
output=$(realpath -m "$1")
build=$(realpath "$build")
program=$build/app/Kivrel.exe
[ -f "$program" ] || { echo "no $program: build the win64 preset first" >&2; exit 1; }
module=${2:-}
if [ -z "$module" ]; then
  module=$build/tests/windows/fixture/fixture_app.exe
  [ -f "$module" ] || module=$program
fi
module=$(realpath "$module")

if [ -z "${KIVREL_IN_XVFB:-}" ]; then
  export KIVREL_IN_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" -b "$build" ${size:+-s "$size"} \
    ${menu:+-m} ${loader:+-l} "$output" "$module"
fi

export WINEPREFIX=$build/screenshot-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
wineserver=/usr/lib/wine/wineserver
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
"$wine" wineboot --init >/dev/null 2>&1
"$wineserver" -w
# Wine draws the caption buttons with the Marlett font (Debian: fonts-wine);
# in the prefix's font directory it is found whatever Wine's data path is.
for font in /usr/share/wine/fonts/marlett.ttf /usr/share/wine/fonts/tahoma*.ttf; do
  [ -f "$font" ] && cp "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
done
if [ -n "$size" ]; then
  width=${size%x*}
  height=${size#*x}
  "$wine" reg add 'HKCU\Software\Velmarin\Kivrel\Main' /v Window1 \
    /d "40 40 $((40 + width)) $((40 + height)) 1" /f >/dev/null 2>&1
fi

if [ -n "$loader" ]; then
  "$wine" reg add 'HKCU\Software\Velmarin\Kivrel\Main' /v Loader /t REG_DWORD /d 1 /f \
    >/dev/null 2>&1
fi

windows_path() { echo "Z:${1//\//\\}"; }
"$wine" explorer /desktop=kivrel,800x600 "$(windows_path "$program")" "$(windows_path "$module")" \
  >/dev/null 2>&1 &
sleep 8
if [ -n "$menu" ]; then
  # The focus starts on the first "Find..."; two steps back is "Options...".
  xdotool mousemove 400 300 key shift+Tab shift+Tab space
  sleep 1
fi
shot=$(mktemp --suffix=.png)
import -window root "$shot"
"$wineserver" -k || true
wait || true
# The screen and then the desktop are one colour around the window: trim
# both, keep a small margin.
convert "$shot" -fuzz 1% -trim +repage -fuzz 1% -trim +repage -bordercolor white -border 6 "$output"
rm -f "$shot"
echo "$output"
