# Sourced by the window stages (scripts/x11-test.sh, scripts/wine-window-test.sh), after
# tests/check.sh: an X server with a window manager, and the helpers that find, picture and drive
# the program's windows with xdotool, as a user would with the keyboard and the mouse.
# The stage provides `pids` (an array its clean-up kills) and `shots` (where pictures go). It may
# set `win_pid`: then only that process's windows are looked for.

# start_desktop SIZE LOG: Xvfb on a display it picks itself, and openbox; DISPLAY is exported once
# the window manager has named itself (each within 5 seconds).
start_desktop() {
  local display
  display=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "$1" -nolisten tcp 3> "$display" 2>> "$2" &
  pids+=($!)
  for _ in $(seq 50); do [ -s "$display" ] && break; sleep 0.1; done
  export DISPLAY=:$(cat "$display")
  rm -f "$display"
  openbox --sm-disable >> "$2" 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2> /dev/null | grep -q "window id" && return
    sleep 0.1
  done
}

# qv12_manifest OPTIONS FIRMWARE KEY: the manifest of a package carrying one QV12 image for the
# drives from QV10 to QV19.
qv12_manifest() {
  cat << JSON
{ "title": "Firmware Flasher - QV12", "driveName": "DVD-RW QV-1600", "options": "$1",
  "images": [ { "file": "$2", "key": "$3", "newRevision": "QV12",
                "constraints": [ { "low": "QV10", "high": "QV19" } ] } ] }
JSON
}

# window TITLE [EXCEPT]: a visible window whose title matches, other than EXCEPT, once it is up
# (within 30 seconds; nothing when none comes).
window() {
  local id
  for _ in $(seq 300); do
    id=$(xdotool search --all --onlyvisible ${win_pid:+--pid "$win_pid"} --name "$1" 2> /dev/null |
      grep -vx -- "${2:-none}" | tail -1)
    [ -n "$id" ] && { echo "$id"; return; }
    sleep 0.1
  done
}

# found NAME WINDOW: the window came.
found() {
  check "$1 is shown" 0 "$([ -n "$2" ]; echo $?)" "" ""
}

# shot NAME WINDOW: a picture of the window with the frame openbox gave it, once it is drawn.
shot() {
  for _ in 1 2 3 4 5; do
    sleep 0.5
    import -window "$2" -frame "$shots/$1.png" 2> /dev/null && return
  done
  echo "no picture of $1 (window $2)"
}

# press WINDOW KEY...: the keys typed into the window, once it has the focus.
press() {
  local target=$1
  shift
  xdotool windowactivate --sync "$target" 2> /dev/null
  sleep 0.2
  xdotool key --clearmodifiers "$@"
}

# ended NAME PID [STATUS]: the program ended by itself within 30 seconds, with STATUS (0).
ended() {
  local status=124
  for _ in $(seq 300); do
    kill -0 "$2" 2> /dev/null || { wait "$2"; status=$?; break; }
    sleep 0.1
  done
  check "$1: the program ends" "${3:-0}" "$status" "" ""
}
