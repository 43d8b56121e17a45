# Sourced by the window stages (scripts/x11-test.sh, scripts/wine-window-test.sh), after
# tests/check.sh: an X server with a window manager, and the helpers that find, picture and drive
# the program's windows with xdotool, as a user would with the keyboard and the mouse.
# The stage provides: `pids` (an array its clean-up kills), `shots` (where pictures go), and for the
# close checks a `launch BENCH [TRACE]` that starts its standard-variant package in the background
# on the emulated PC BENCH and sets `app` to its process. It may set `win_pid`: then only that
# process's windows are looked for.

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

# shown WINDOW: the window is still on the screen.
shown() {
  xdotool search --onlyvisible --name . 2> /dev/null | grep -qx -- "$1"
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

# close_window WAY WINDOW: asks the window manager to close the window as a user does, by a click
# on the close button at the right end of its title bar (WAY "title-bar") or with Alt+F4.
close_window() {
  local root frame parent x y width top
  if [ "$1" = alt+F4 ]; then
    press "$2" alt+F4
    return
  fi
  # The frame openbox drew around the window: the window's ancestor just below the root.
  root=$(xwininfo -root | sed -n 's/.*Window id: \(0x[0-9a-f]*\).*/\1/p')
  frame=$2
  while parent=$(xwininfo -id "$frame" -tree 2> /dev/null |
    sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p') &&
    [ -n "$parent" ] && [ "$parent" != "$root" ]; do
    frame=$parent
  done
  eval "$(xwininfo -id "$frame" | sed -n -e 's/.*Absolute upper-left X: *\(-\{0,1\}[0-9]*\)/x=\1/p' \
    -e 's/.*Absolute upper-left Y: *\(-\{0,1\}[0-9]*\)/y=\1/p' -e 's/.*Width: *\([0-9]*\)/width=\1/p')"
  # The title bar is the frame's top extent; its buttons are about as high, the close button last.
  top=$(xprop -id "$2" _NET_FRAME_EXTENTS | sed -n 's/.*= *[0-9]*, *[0-9]*, *\([0-9]*\),.*/\1/p')
  top=${top:-20}
  xdotool windowactivate --sync "$2" 2> /dev/null
  xdotool mousemove $((x + width - top / 2 - 1)) $((y + top / 2)) click 1
}

# close_checks NAME BENCH_TOOL DIR: the idle main window closes from its title bar and with Alt+F4
# (the program ends with 0, the drive left alone); during a run both are refused and the run goes
# on to flash the drive.
close_checks() {
  local name=$1 bench=$2 dir=$3 way w box shown_after still sent
  for way in title-bar alt+F4; do
    "$bench" new --preset typical "$dir/close-$way.json" > /dev/null
    launch "$dir/close-$way.json"
    w=$(window "Firmware Flasher")
    found "$name: the idle main window (to close by $way)" "$w"
    [ -n "$w" ] && close_window "$way" "$w"
    ended "$name: the idle main window closes by $way" "$app"
    kill "$app" 2> /dev/null  # a window that would not close, not to be met again
    [ -n "$w" ] || continue
    check "$name: closed by $way: E: left alone" 0 0 "$("$bench" show "$dir/close-$way.json")" \
      "revision QV11"
  done
  # A bench whose clock keeps real time, so that the flash lasts while the window is asked to close.
  "$bench" new --preset typical "$dir/close-run.json" > /dev/null
  sed -i 's/"mode": "virtual"/"mode": "paced"/' "$dir/close-run.json"
  : > "$dir/close-run.jsonl"
  launch "$dir/close-run.json" "$dir/close-run.jsonl"
  w=$(window "Firmware Flasher")
  found "$name: the main window (to close during a run)" "$w"
  [ -n "$w" ] || { ended "$name: during a run" "$app"; return; }
  press "$w" Tab space
  for _ in $(seq 300); do
    grep -q '"cdb":"3b' "$dir/close-run.jsonl" 2> /dev/null && break
    sleep 0.1
  done
  for way in title-bar alt+F4; do
    close_window "$way" "$w"
    sleep 1
    shown "$w" && kill -0 "$app" 2> /dev/null
    still=$?
    check "$name: during a run the main window refuses to close by $way" 0 "$still" "" ""
  done
  sent=$(grep -c '"cdb":"3b' "$dir/close-run.jsonl")
  # The run goes on: the success message, and Later on the restart question.
  box=$(window "^Brenvo$")
  [ -n "$box" ] && press "$box" Return
  box=$(window "Reboot")
  [ -n "$box" ] && press "$box" Return
  ended "$name: the run asked to close goes on" "$app"
  # Asked while the flash was under way: blocks were still to come.
  [ "$(grep -c '"cdb":"3b' "$dir/close-run.jsonl")" -gt "$sent" ]
  check "$name: the window was asked to close during the flash" 0 $? "$sent WRITE BUFFERs by then" ""
  shown_after=$("$bench" show "$dir/close-run.json")
  check "$name: the run asked to close flashed E:" 0 0 "$shown_after" "revision QV12"
}
