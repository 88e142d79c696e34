# Environment shared by every script that runs Windows programs under Wine.
# Sourced, not executed.
export WINEPREFIX="${KIVO_WINEPREFIX:-${HOME:-/root}/.local/share/kivo/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=;mshtml="
export LANG=C.UTF-8
export LC_ALL=C.UTF-8
unset DISPLAY
if [ -x /usr/lib/wine/wine64 ]; then
  KIVO_WINE=/usr/lib/wine/wine64
else
  KIVO_WINE=$(command -v wine64 || command -v wine)
fi
export KIVO_WINE
