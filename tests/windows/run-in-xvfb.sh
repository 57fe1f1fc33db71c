#!/bin/bash
# Runs a Windows GUI test under Wine inside a private X display, so that the
# tests work from a plain shell and in CI without a display of their own.
# Usage: run-in-xvfb.sh WINE-RUNNER TEST-EXE [ARGS...]
# The test prefix shows every window inside one Wine desktop, unmanaged: Wine
# then frames, places and maximises windows itself, as Windows does, instead
# of waiting for a window manager that is not there.
set -e
if [ -z "${KIVREL_IN_XVFB:-}" ]; then
  export KIVREL_IN_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi
runner=$1
"$runner" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
"$runner" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
"$runner" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
exec "$@"
