# Sourced by the scripts: a throwaway Wine prefix for this run, never ~/.wine.
# Defines wine_sandbox_start (creates and boots it), wine_server_persist (one
# Wine server for the rest of the run) and removes the prefix on exit.
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
# A prefix that behaves as 32-bit Windows (WINEARCH=win32) runs on wine32's
# loader; a 64-bit prefix starts 32-bit programs through it too.
WINE32=/usr/lib/wine/wine
if [ "${WINEARCH:-}" = win32 ]; then
  WINE=$WINE32
  [ ! -x /usr/lib/wine/wineserver32 ] || WINESERVER=/usr/lib/wine/wineserver32
fi
export WINEARCH

# Whether this machine runs 32-bit Windows programs at all: the 32-bit
# loader is started once and must answer with its version. Its file alone
# proves nothing: a kernel without 32-bit support refuses to run it. Sets
# WINE32_REASON to why not.
wine32_runs() {
  local said status=0
  if [ ! -e "$WINE32" ]; then
    WINE32_REASON="wine32 is not installed (scripts/setup said why)"
    return 1
  fi
  # Started by bash, which names the kernel's refusal (env and timeout would
  # hand an ELF file they cannot run to sh).
  said=$(timeout 30 bash -c '"$0" --version' "$WINE32" 2>&1 </dev/null) || status=$?
  case "$said" in
    wine-*) [ "$status" = 0 ] && return 0 ;;
  esac
  said=$(printf '%s' "$said" | tr -d '\r' | head -1)
  WINE32_REASON="the 32-bit Wine loader does not run on this machine ($WINE32 --version ended with status $status: ${said:-no output})"
  return 1
}
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

wine_sandbox_stop() {
  if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
    timeout 20 "$WINESERVER" -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
  fi
}

wine_sandbox_start() {
  # Not under /tmp: Wine shows a world-writable folder on the way as one
  # Everyone may change, and PortSetupCli rightly distrusts what lies below.
  local base="${XDG_CACHE_HOME:-$HOME/.cache}/portsetup-wine"
  mkdir -p "$base" && chmod 755 "$base"
  WINEPREFIX=$(mktemp -d "$base/prefix.XXXXXX")
  export WINEPREFIX
  trap wine_sandbox_stop EXIT
  timeout 180 "$WINE" wineboot -i </dev/null >/dev/null 2>&1
  # Wine draws title bars itself: there is no window manager on the virtual display.
  timeout 60 "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  timeout 60 "$WINESERVER" -w
}

# Starts one Wine server that stays until the run ends. A server that stops
# between commands races the next one, whose program then ends 0 with
# nothing done; and the server and Wine's background programs (which the
# first program starts) keep the files they were started with, so a pipe a
# test reads would stay open: they get /dev/null and nothing else. Run it
# where the programs' display is set: the background programs keep it.
wine_server_persist() {
  timeout 20 "$WINESERVER" -k >/dev/null 2>&1 || true
  timeout 20 "$WINESERVER" -w >/dev/null 2>&1 || true
  without_open_files "$WINESERVER" -p
  without_open_files timeout 60 "$WINE" cmd /c exit
}

# Runs a command with only /dev/null open as its standard streams.
without_open_files() {
  ( for fd in /proc/$BASHPID/fd/*; do
      fd=${fd##*/}
      [ "$fd" -gt 2 ] 2>/dev/null && eval "exec $fd>&-"
    done
    exec "$@" ) </dev/null >/dev/null 2>&1
}
