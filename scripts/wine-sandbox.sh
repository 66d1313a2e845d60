# Sourced by the scripts: a throwaway Wine prefix for this run, never ~/.wine.
# Defines wine_sandbox_start (creates and boots it) and removes it on exit.
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

wine_sandbox_stop() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    timeout 20 "$WINESERVER" -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
  fi
}

wine_sandbox_start() {
  WINEPREFIX=$(mktemp -d /tmp/portsetup-wine.XXXXXX)
  export WINEPREFIX
  trap wine_sandbox_stop EXIT
  timeout 180 "$WINE" wineboot -i >/dev/null 2>&1
  # Wine draws title bars itself: there is no window manager on the virtual display.
  timeout 60 "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  timeout 60 "$WINESERVER" -w
}
