# Environment shared by every script that runs Windows programs under Wine.
# Sourced, not executed. Safe before anything is installed: KIVO_WINE stays
# empty until Wine is there (scripts/bootstrap sources this again after
# installing).
export WINEPREFIX="${KIVO_WINEPREFIX:-${HOME:-/root}/.local/share/kivo/wineprefix}"
# The prefix of the tests that show windows on a virtual display (scripts/xvfb).
export KIVO_DISPLAY_WINEPREFIX="$WINEPREFIX-display"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=;mshtml="
export LANG=C.UTF-8
export LC_ALL=C.UTF-8
unset DISPLAY

kivo_find_wine() {
  local candidate
  for candidate in /usr/lib/wine/wine64 "$(command -v wine64 || true)" "$(command -v wine || true)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      printf '%s' "$candidate"
      return 0
    fi
  done
}

kivo_find_wineserver() {
  local candidate
  for candidate in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver "$(command -v wineserver || true)"; do
    if [ -n "$candidate" ] && [ -x "$candidate" ]; then
      printf '%s' "$candidate"
      return 0
    fi
  done
}

KIVO_WINE=$(kivo_find_wine)
export KIVO_WINE
