# Sourced by the scripts that run Windows programs: makes a throw-away Wine
# prefix, owned by whoever runs this (Wine refuses a prefix owned by someone
# else, root included), and removes it on exit. With `wine_prefix display`
# it also starts a private Xvfb and links Wine's dialog fonts to the
# installed Chinese face, so that message boxes show Chinese text.

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

wine_prefix() {
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/batchext-wine.XXXXXX")
  export WINEPREFIX
  export WINEDEBUG=-all
  # No .NET or HTML engine is needed, and asking for them would stall.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY WAYLAND_DISPLAY
  wine_xvfb_pid=
  trap wine_prefix_cleanup EXIT
  if [[ ${1:-} == display ]]; then
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
      3>"$WINEPREFIX/display" 2>/dev/null &
    wine_xvfb_pid=$!
    for _ in $(seq 100); do [[ -s $WINEPREFIX/display ]] && break; sleep 0.1; done
    DISPLAY=:$(<"$WINEPREFIX/display")
    export DISPLAY
  fi
  # The prefix is made first, and its first services left to end: those
  # keep the service database locked, so that COM could not start its RPC
  # service and every program using it would wait. Then one server for the
  # whole run instead of one per program.
  "$wine" wineboot --init >/dev/null 2>&1
  "$wineserver" -w
  "$wineserver" -p
  if [[ ${1:-} == display ]]; then
    local face
    for face in Tahoma "Microsoft Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2"; do
      "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v "$face" /t REG_MULTI_SZ /d 'wqy-zenhei.ttc,WenQuanYi Zen Hei' /f \
        >/dev/null 2>&1
    done
  fi
}

wine_prefix_cleanup() {
  "$wineserver" -k 2>/dev/null || true
  if [[ -n ${wine_xvfb_pid:-} ]]; then kill "$wine_xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$WINEPREFIX"
}
