# Sourced by the scripts that run Windows programs under wine.
#   korv_wine_env 64|32   exports a private prefix of that width under build/ and names the
#                         loader and server (not the `wine` wrapper, which picks the 32-bit
#                         loader whenever it is installed); quiet, no dialogs, no Mono or Gecko
#   korv_wine_boot        makes the prefix once (wineboot -i)
#   korv_wine_stop        ends the prefix's wineserver and anything left running in it
# Environment: KORV_WINEBOOT_TIMEOUT (seconds for a new prefix, default 600).

korv_wine_env() {
  export WINEPREFIX="$PWD/build/wine$1-prefix"
  if [ "$1" = 64 ]; then
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
  else
    export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver32
  fi
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY WAYLAND_DISPLAY
}

korv_wine_boot() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "new wine prefix $WINEPREFIX (wineboot -i)"
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # A 64-bit prefix also sets up its 32-bit half, which fails where 32-bit programs cannot
    # run; the prefix serves 64-bit programs all the same, so only a missing registry fails.
    local status=0
    timeout "${KORV_WINEBOOT_TIMEOUT:-600}" "$WINELOADER" wineboot -i || status=$?
    timeout 120 "$WINESERVER" -w || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wineboot -i did not make the prefix $WINEPREFIX (exit status $status)" >&2
      return 1
    fi
    [ "$status" = 0 ] || echo "wineboot -i exited with status $status; the prefix is there, going on"
  fi
}

korv_wine_stop() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    timeout 30 "$WINESERVER" -k 2>/dev/null || true
  fi
}
