#!/usr/bin/env bash
# The windows on a real desktop: starts an X server (Xvfb) with a window manager (openbox),
# drives the packed brenvo with xdotool through whole updates on emulated PCs, with their
# dialogs, in English and in Japanese (the latter at twice the scale) and the OEM wizard, and
# checks there what a user meets:
#   - the title-bar hints each window gives the window manager (_MOTIF_WM_HINTS, read with xprop;
#     what openbox then allows is kept in the log),
#   - the drive flashed and the restart asked for, on the bench,
#   - the window tests of Qt's words, whole lines, names and keyboard paths, and title-bar hints,
#     run on this server at scale 1 and 2.
# Pictures of every window (taken with `import`) and the log go to ci-output/x11/.
# Usage: scripts/x11-test.sh [BUILD_DIR]   (builds what it needs; ends with "N passed, M failed")
set -u
cd "$(dirname "$0")/.."
root=$PWD
source scripts/ccache.sh
build=${1:-build}
out=ci-output/x11
rm -rf "$out" && mkdir -p "$out"
log=$out/log.txt
: > "$log"
source tests/check.sh
source scripts/desktop.sh
shots=$out

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" > /dev/null
fi
cmake --build "$build" --target brenvo brenvo-pack brenvo-bench brenvo_ui_tests > /dev/null

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null; done
  wait 2> /dev/null
  rm -rf "$work"
}
trap cleanup EXIT

start_desktop 2560x1600x24 "$log"
echo "X server $DISPLAY, openbox running" >> "$log"

# --- packages and emulated PCs ---
bench=$build/tools/bench/brenvo-bench
"$bench" key --seed 7 "$work/key.bin" > /dev/null
"$bench" firmware --revision QV12 --size 1048576 "$work/fw12.bin" > /dev/null
packed() {  # packed NAME OPTIONS: brenvo carrying one QV12 image for QV10..QV19
  qv12_manifest "$2" fw12.bin key.bin > "$work/$1.json"
  "$build/tools/pack/brenvo-pack" "$work/$1.json" "$build/app/brenvo" "$work/$1" > /dev/null
}

# --- driving the program ---
app_pid=0
start() {  # start PACKAGE BENCH [SCALE]
  "$bench" new --preset typical "$work/$2.json" > /dev/null
  BRENVO_MACHINE="$work/$2.json" QT_SCALE_FACTOR=${3:-1} "$work/$1" >> "$log" 2>&1 &
  app_pid=$!
  win_pid=$app_pid
  pids+=($app_pid)
  w=none  # X reuses the window numbers of programs that ended
}
# hints NAME WINDOW EXPECTED: the title-bar hints the window gives the window manager.
hints() {
  local got
  got=$(xprop -id "$2" _MOTIF_WM_HINTS 2>&1)
  echo "$1: $got" >> "$log"
  echo "$1 (what openbox allows): $(xprop -id "$2" _NET_WM_ALLOWED_ACTIONS 2>&1)" >> "$log"
  check "$1: title-bar hints" 0 0 "$got" "= $3"
}
# flashed NAME BENCH [RESTART]: the bench's drive E: holds QV12 and a restart was asked for (or
# the restart line says RESTART)
flashed() {
  local shown
  shown=$("$bench" show "$work/$2.json")
  check "$1: E: flashed" 0 0 "$shown" "revision QV12"
  check "$1: restart ${3:-requested, pending}" 0 0 "$shown" "Restart:           ${3:-requested, pending}"
}
# Motif hints: flags 3 (functions and decorations), functions, decorations.
main_hints="0x3, 0x24, 0x1a"    # move, close; border, title, system menu
plain_hints="0x3, 0x4, 0xa"     # move; border, title: no buttons
sizeable_plain="0x3, 0x6, 0xe"  # the same, with a sizeable border

# meet PICTURE TITLE [HINTS] [KEYS...]: the program's window with that title comes (other than
# the last one met, for a box in the same title), gives the hints when they are named, is
# pictured, and gets the keys.
w=none
meet() {
  local picture=$1 title=$2 expected=${3:-}
  shift 3
  w=$(window "$title" "$w")
  found "$picture" "$w"
  [ -n "$w" ] || return
  [ -n "$expected" ] && hints "$picture" "$w" "$expected"
  shot "$picture" "$w"
  [ $# -gt 0 ] && press "$w" "$@"
}

# English, the custom-dialog variant: checklist, confirmation, the reboot window. Enter presses
# the button that has the focus: the confirmation opens on Cancel, so Tab first.
packed en $(options uiVariant=1)
start en en
meet en-1-checklist "^Brenvo$" "" Return
meet en-2-main "Firmware Flasher" "$main_hints" Tab space
meet en-3-confirm "Update Confirm" "$plain_hints" Tab Return
meet en-4-reboot "Reboot Warning" "$sizeable_plain" Return
ended en "$app_pid"
flashed en en

# Enter on the confirmation's first focus, Cancel: nothing is flashed.
start en en-cancel
meet en-cancel-1-checklist "^Brenvo$" "" Return
meet en-cancel-2-main "Firmware Flasher" "" Tab space
meet en-cancel-3-confirm "Update Confirm" "" Return
ended "en: Enter on Cancel" "$app_pid"
check "en: Enter on Cancel leaves E: alone" 0 0 "$("$bench" show "$work/en-cancel.json")" \
  "revision QV11"

# Japanese at twice the scale, the standard variant with the notice: message boxes with Qt's
# Japanese buttons, the success message, the reboot question, whose first focus is Later: Enter
# there does not restart.
packed ja $(options language=2 noticeKind=2)
start ja ja 2
meet ja-1-notice "^Brenvo$" "" Return
meet ja-2-main "Firmware Flasher" "$main_hints" Tab space
meet ja-3-success "^Brenvo$" "" Return
meet ja-4-reboot "再起動警告" "$sizeable_plain" Return
ended ja "$app_pid"
flashed ja ja "none pending"

# Traditional Chinese: the checklist with Qt's Chinese buttons, declined.
packed zh $(options uiVariant=1 language=1)
start zh zh
meet zh-1-checklist "^Brenvo$" "" Escape
ended "zh checklist declined" "$app_pid"

# The main window in English at twice the scale, for the README; closed with its Close button.
packed en2 $(options)
start en2 en2 2
meet en-main-2x "Firmware Flasher" "$main_hints" Tab Tab space
ended "en main window at 2x" "$app_pid"

# The idle main window closes from its title bar and with Alt+F4; during a run it refuses both.
packed close $(options)
launch() {  # launch BENCH [TRACE]: the package on that emulated PC
  BRENVO_MACHINE=$1 BRENVO_TRACE=${2:-} "$work/close" >> "$log" 2>&1 &
  app=$!
  win_pid=$app
  pids+=($app)
}
close_checks "Qt window" "$bench" "$work"

# The OEM wizard: no title-bar buttons; Next, then cancelled from its drive page.
packed oem $(options uiVariant=2)
start oem oem
meet wizard-1-welcome "Firmware Flasher" "$plain_hints" space
shot wizard-2-drive "$w"
press "$w" Tab Tab space
meet wizard-3-cancel "Firmware Flasher" "" alt+y
ended wizard "$app_pid"

# The window tests on this server, at both scales.
for scale in 1 2; do
  result=$(QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale "$build/tests/ui/brenvo_ui_tests" \
    --gtest_filter='MessageBoxWords.*:Accessibility.*:TitleBar.*:ScreenshotPicture.*:FormKeys.*:Keys.*:WindowKeys.*' 2>&1)
  status=$?
  echo "$result" >> "$log"
  check "window tests on X at scale $scale" 0 "$status" "$result" "[  PASSED  ]"
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
