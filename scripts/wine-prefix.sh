# Sourced by the scripts that run Windows programs: makes a throw-away Wine
# prefix, owned by whoever runs this (Wine refuses a prefix owned by someone
# else, root included), and removes it on exit. With `wine_prefix display`
# it also starts a private Xvfb; `wine_prefix display linked` also links
# Wine's dialog fonts to the installed Chinese face, so that the system's
# own message boxes show Chinese text in pictures.
#
# Each step's output goes to a log of its own under $wine_log_dir; a step
# that fails names its command, its status and the end of its log, and the
# logs are kept when the script ends with an error.

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
# Seconds Xvfb may take to give a display; a loaded machine needs a few.
wine_xvfb_timeout=${WINE_XVFB_TIMEOUT:-30}

wine_prefix() {
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/batchext-wine.XXXXXX")
  export WINEPREFIX
  wine_log_dir=$(mktemp -d "${TMPDIR:-/tmp}/batchext-wine-logs.XXXXXX")
  wine_step_count=0
  export WINEDEBUG=-all
  # No .NET or HTML engine is needed, and asking for them would stall.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  unset DISPLAY WAYLAND_DISPLAY
  wine_xvfb_pid=
  trap wine_prefix_cleanup EXIT
  if [[ ${1:-} == display ]]; then
    wine_start_xvfb || return
  fi
  # The prefix is made first, and its first services left to end: those
  # keep the service database locked, so that COM could not start its RPC
  # service and every program using it would wait. Then one server for the
  # whole run instead of one per program.
  wine_step "$wine" wineboot --init || return
  wine_step "$wineserver" -w || return
  wine_start_server || return
  # The system's dialog fonts are linked to "宋体" as on a Chinese Windows,
  # whose file is missing here as on a Windows that lacks it: the programs
  # must pick faces that draw their texts themselves. Pictures ask for the
  # installed Chinese face instead, for the system's own message boxes.
  if [[ ${1:-} == display ]]; then
    local face link='SIMSUN.TTC,SimSun'
    [[ ${2:-} == linked ]] && link='wqy-zenhei.ttc,WenQuanYi Zen Hei'
    for face in Tahoma "Microsoft Sans Serif" "MS Shell Dlg" "MS Shell Dlg 2"; do
      wine_step "$wine" reg add \
        'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v "$face" /t REG_MULTI_SZ /d "$link" /f ||
        return
    done
  fi
}

# Runs one command with its output in a new log; on failure says what
# failed and returns the command's status.
wine_step() {
  wine_step_count=$((wine_step_count + 1))
  local log
  log=$wine_log_dir/$(printf '%02d' "$wine_step_count")-$(basename "$1").log
  local status=0
  # Wine's own errors belong in the log, though not in the tests' output.
  WINEDEBUG=fixme-all "$@" >"$log" 2>&1 </dev/null || status=$?
  ((status == 0)) || wine_report "$status" "$log" "$@"
  return "$status"
}

# wine_report STATUS LOG COMMAND...: tells which command failed and how.
wine_report() {
  local status=$1 log=$2
  shift 2
  {
    echo "Failed with status $status: ${*@Q}"
    echo "Last lines of $log:"
    tail -n 20 "$log" | sed 's/^/  | /'
  } >&2
}

# A server that is ending can still hold the prefix's lock for a moment,
# and `wineserver -p` then answers 2 without a word: wait and try again.
wine_start_server() {
  local log=$wine_log_dir/wineserver-p.log attempt status
  for attempt in $(seq 20); do
    status=0
    "$wineserver" -p >>"$log" 2>&1 </dev/null || status=$?
    echo "attempt $attempt: status $status" >>"$log"
    ((status == 0)) && return 0
    # Not `wineserver -w`: a server kept alive on purpose would never end.
    sleep 0.5
  done
  wine_report "$status" "$log" "$wineserver" -p
  echo "(another wineserver kept the prefix $WINEPREFIX through 20 attempts)" >&2
  return "$status"
}

wine_start_xvfb() {
  local log=$wine_log_dir/xvfb.log tenths
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
    3>"$WINEPREFIX/display" >"$log" 2>&1 </dev/null &
  wine_xvfb_pid=$!
  for ((tenths = 0; tenths < wine_xvfb_timeout * 10; tenths++)); do
    [[ -s $WINEPREFIX/display ]] && break
    kill -0 "$wine_xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [[ ! -s $WINEPREFIX/display ]]; then
    local status=0
    if kill -0 "$wine_xvfb_pid" 2>/dev/null; then
      echo "Xvfb gave no display within $wine_xvfb_timeout s" >&2
      status=124
    else
      wait "$wine_xvfb_pid" || status=$?
      echo "Xvfb ended with status $status before giving a display" >&2
    fi
    wine_report "$status" "$log" Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp
    return 1
  fi
  DISPLAY=:$(<"$WINEPREFIX/display")
  export DISPLAY
}

wine_prefix_cleanup() {
  local status=$?
  "$wineserver" -k 2>/dev/null || true
  if [[ -n ${wine_xvfb_pid:-} ]]; then kill "$wine_xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$WINEPREFIX"
  if ((status == 0)); then
    rm -rf "$wine_log_dir"
  else
    echo "Wine logs kept in $wine_log_dir" >&2
  fi
}
