# Shared by the scripts: a disposable 32-bit Wine prefix inside the build
# tree, Xvfb on a free display, and clean-up of what was started.
# Sourced, not run.

export WINEDEBUG=-all

# The program is 32-bit and runs under Wine's 32-bit part. Some kernels run
# 64-bit user code only (i386 execve fails with ENOEXEC); there the program
# is built for x86_64 and runs under Wine's 64-bit loader in a 64-bit prefix.
# WINE_BUILD=64 takes that fallback on any machine, to check it.
if [ "${WINE_BUILD:-}" != 64 ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
  export WINEARCH=win32
  WINE=/usr/lib/wine/wine
  WIN_TOOLCHAIN=mingw-i686
  WIN_BUILD=win
  WINE_RUN_NOTE="Ran under Wine: the 32-bit build, as shipped, in a 32-bit prefix."
else
  export WINEARCH=win64
  WINE=/usr/lib/wine/wine64
  WIN_TOOLCHAIN=mingw-x86_64
  WIN_BUILD=win64
  WINE_RUN_NOTE="Ran under Wine: the 64-bit fallback build in a 64-bit prefix; the shipped 32-bit build was compiled and its tables checked, not run."
fi
export WINELOADER="$WINE"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

STARTED_XVFB_PID=""
STARTED_KEEPER_PID=""

# make_prefix DIR: a fresh prefix at DIR.
make_prefix() {
  export WINEPREFIX="$1"
  if [ -d "$WINEPREFIX" ]; then
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  mkdir -p "$(dirname "$WINEPREFIX")"
  "$WINE" wineboot.exe --init >/dev/null 2>&1
  # Wine's own fonts (Marlett draws the caption buttons) lie in its data
  # directory, where Debian's Wine does not look; the Fonts folder is searched.
  cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  # Xvfb has no window manager: unmanaged windows spare every dialog the
  # two-second wait for a window manager's answer when it closes.
  "$WINE" reg.exe add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w
}

# start_xvfb: Xvfb on the first free display, exported as DISPLAY.
start_xvfb() {
  local n=90
  while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do
    n=$((n + 1))
  done
  Xvfb ":${n}" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  STARTED_XVFB_PID=$!
  export DISPLAY=":${n}"
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X${n}" ] && return 0
    sleep 0.1
  done
  echo "Xvfb did not start on :${n}" >&2
  return 1
}

# start_desktop DRIVER_EXE: brings the Wine desktop up with a long-lived
# window process, so that later processes do not race to create it.
start_desktop() {
  local ready="$WINEPREFIX/keeper.ready"
  rm -f "$ready"
  "$WINE" "$1" keep "$("$WINE" winepath.exe -w "$ready")" >/dev/null 2>&1 &
  STARTED_KEEPER_PID=$!
  for _ in $(seq 300); do
    [ -e "$ready" ] && return 0
    sleep 0.1
  done
  echo "the Wine desktop did not come up" >&2
  return 1
}

stop_started() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k 2>/dev/null || true
  fi
  [ -n "$STARTED_KEEPER_PID" ] && kill "$STARTED_KEEPER_PID" 2>/dev/null || true
  [ -n "$STARTED_XVFB_PID" ] && kill "$STARTED_XVFB_PID" 2>/dev/null || true
  STARTED_KEEPER_PID=""
  STARTED_XVFB_PID=""
}
