#!/usr/bin/env bash
# The Windows window, proven under Wine with a display: cross-builds brenvo.exe and its window
# tests (32-bit, the shipped build, into build-windows/i686), starts an X server (Xvfb) with a
# window manager (openbox) and a Wine prefix of its own whose registry maps the forms' CJK faces
# onto the Noto CJK faces, then
#   - runs the window tests (texts, fonts and places in the three languages, keys and answers,
#     whole updates and the OEM wizard on emulated PCs), which picture every window,
#   - packs brenvo.exe and flashes an emulated PC through its window, in a script (unattended
#     package) and by keys typed into its window and message boxes,
#   - runs the OEM cycle: the wizard driven by keys, then `brenvo-bench boot` restarting the PC,
#     which runs the packed brenvo.exe for its check after the restart.
# Pictures of every window go to build-windows/screenshots/ (PNG). Ends with "N passed, M failed".
# On a machine that cannot run 32-bit programs the x86_64 build runs instead, under wine64
# (scripts/wine-host.sh), and the i686 window's run is named as not run.
# Usage: scripts/wine-window-test.sh   (installs nothing; scripts/install-deps.sh does)
set -u
cd "$(dirname "$0")/.."
root=$PWD
source tests/check.sh
source scripts/desktop.sh
source scripts/ccache.sh
shots=$root/build-windows/screenshots
rm -rf "$shots" && mkdir -p "$shots"

job=$(mktemp -d /tmp/brenvo-wine-window.XXXXXX)
export WINEPREFIX=$job/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
pids=()
cleanup() {
  wineserver -k 2> /dev/null
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null; done
  wait 2> /dev/null
  rm -rf "$job"
}
trap cleanup EXIT
source scripts/wine-host.sh
arch=${arches%% *}  # the shipped 32-bit build where it can run
bin=$root/build-windows/$arch

echo "== Building (host tools; Windows $arch: brenvo.exe and its window tests; i686: brenvo.exe, shipped)"
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" > /dev/null
fi
out=$(ninja -C build brenvo-pack brenvo-bench 2>&1); check "host build" 0 $? "$out" ""
# Configured as the Wine stage configures it (each target one file, unoptimised), when that stage
# has not run before.
cross_build() {  # cross_build ARCH TARGET...
  local dir=$root/build-windows/$1 out
  if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS=-O0 \
      -DBRENVO_ONE_FILE_TARGETS=ON -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-$1.cmake" \
      "${launcher[@]}" > /dev/null
  fi
  out=$(ninja -C "$dir" "${@:2}" 2>&1); check "$1 cross build (${*:2})" 0 $? "$out" ""
}
cross_build "$arch" brenvo brenvo_win32_tests
# The shipped window is built on every machine, run or not: the release packs it (building needs
# no 32-bit loader, only running does).
[ "$arch" = i686 ] || cross_build i686 brenvo
[ "$failed" -eq 0 ] || { summary; exit 1; }

echo "== X server, window manager, Wine prefix"
start_desktop 1600x1200x24 /dev/null
wineboot -i > /dev/null 2>&1
# The forms' Windows faces: MS Gothic and the faces Wine links behind Tahoma, onto Noto CJK; Arial
# (Liberation Sans here) links to Noto Sans CJK TC for the Chinese texts, as a Chinese Windows
# links its faces; MS Sans Serif and Courier New in Big5 (the OEM wizard's) to the TC faces.
{
  echo 'Windows Registry Editor Version 5.00'
  echo '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]'
  echo '"MS Gothic"="Noto Sans Mono CJK JP"'
  echo '"MS UI Gothic"="Noto Sans CJK JP"'
  echo '"MS PGothic"="Noto Sans CJK JP"'
  echo '"PMingLiU"="Noto Sans CJK TC"'
  echo '"MingLiU"="Noto Sans Mono CJK TC"'
  echo '"SimSun"="Noto Sans CJK SC"'
  echo '"Arial"="Liberation Sans"'
  echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]'
  echo '"MS Sans Serif,136"="Noto Sans CJK TC,136"'
  echo '"Courier New,136"="Noto Sans Mono CJK TC,136"'
} > "$job/fonts.reg"
wine regedit /S "$(winepath -w "$job/fonts.reg")" > /dev/null 2>&1
# The link list is a multi-string value, which reg.exe writes as Windows stores it.
for face in Arial "Liberation Sans"; do
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' /v "$face" \
    /t REG_MULTI_SZ /d 'NotoSansCJK-Regular.ttc,Noto Sans CJK TC' /f > /dev/null 2>&1
done
wineserver -k 2> /dev/null
wineserver -p > /dev/null 2>&1 < /dev/null
wine cmd /c exit > /dev/null 2>&1 < /dev/null

# Every face the forms use must draw their Chinese and Japanese words, not empty boxes.
out=$($arch-w64-mingw32-g++-posix -O0 -static -o "$job/glyph-probe.exe" \
  "$root/win32/tests/GlyphProbe.cpp" -lgdi32 -luser32 2>&1 && wine "$job/glyph-probe.exe" 2>&1)
check "the prefix draws the forms' Chinese and Japanese words in their faces" 0 $? "$out" "drawn"

echo "== The window tests under Wine (pictures of every window)"
mkdir -p "$job/bmp"
out=$(BRENVO_SHOTS=$(winepath -w "$job/bmp") wine "$bin/win32/tests/brenvo_win32_tests.exe" \
  --gtest_brief=1 2>&1 < /dev/null)
gtests "window tests" "$out" $?

work=$job/work
mkdir -p "$work"
cd "$work"
bench=$root/build/tools/bench/brenvo-bench
"$bench" key --seed 7 key.bin > /dev/null
crc=$("$bench" firmware --revision QV12 --size 1048576 fw.bin | sed 's/.*crc32 \([0-9a-f]*\).*/\1/')
packed() {  # packed NAME OPTIONS: brenvo.exe carrying one QV12 image for QV10..QV19
  qv12_manifest "$2" fw.bin key.bin > "$1.json"
  "$root/build/tools/pack/brenvo-pack" "$1.json" "$bin/win32/brenvo.exe" "$1.exe" 2>&1
}
flashed() {  # flashed NAME BENCH: the bench's drive E: holds the image
  local shown
  shown=$("$bench" show "$2")
  check "$1: E: holds the image" 0 0 "$shown" "revision QV12 (QV12-00), flash 1048576 bytes crc32 $crc"
}
# The OEM variant's window, once the main window has handed over to the wizard (both carry the
# package's title; the main window hides at its first paint).
wizard_window() {
  local id last=none
  for _ in $(seq 60); do
    id=$(window "$1")
    [ -n "$id" ] && [ "$id" = "$last" ] && { echo "$id"; return; }
    last=${id:-none}
    sleep 0.5
  done
}

echo "== The packed brenvo.exe"
out=$(packed shipped $(options))
check "brenvo-pack packs brenvo.exe" 0 $? "$out" "verified"
out=$("$root/build/tools/pack/brenvo-pack" --show shipped.exe 2>&1)
check "brenvo-pack --show reads brenvo.exe's package" 0 $? "$out" "DVD-RW QV-1600"

# The custom-dialog variant's checklist at start, a message box, in each language: declined.
for language in 0 1 2; do
  name=$(sed -n "$((language + 1))p" <<< $'en\nzh\nja')
  packed "checklist-$name" "1${language}010110001001100000000000000000" > /dev/null
  "$bench" new --preset typical "checklist-$name-pc.json" > /dev/null
  BRENVO_MACHINE=checklist-$name-pc.json wine "checklist-$name.exe" > /dev/null 2>&1 < /dev/null &
  app=$!
  box=$(window "^Brenvo$")
  check "$name checklist comes" 0 "$([ -n "$box" ]; echo $?)" "" ""
  [ -n "$box" ] && shot "wine-checklist-$name" "$box" && press "$box" Escape
  ended "$name checklist declined" $app
  out=$("$bench" show "checklist-$name-pc.json")
  check "$name checklist declined: E: left alone" 0 0 "$out" "revision QV11"
done

# A direct-IDE package on this computer, a 64-bit Windows (Wine's): refused in each language
# before its flash driver is installed, status 9 whoever runs it.
for language in 0 1 2; do
  name=$(sed -n "$((language + 1))p" <<< $'en\nzh\nja')
  packed "ide-$name" "0${language}010110001101100000000000000000" > /dev/null
  wine "ide-$name.exe" > /dev/null 2>&1 < /dev/null &
  app=$!
  box=$(window "^Brenvo$")
  check "$name direct-IDE refusal comes" 0 "$([ -n "$box" ]; echo $?)" "" ""
  [ -n "$box" ] && shot "wine-direct-ide-$name" "$box" && press "$box" Return
  ended "$name direct-IDE refusal" $app 9
done
out=$(BRENVO_UNATTENDED=1 timeout 120 wine ide-en.exe 2>&1 < /dev/null)
check "scripted direct-IDE refusal" 9 $? "$out" "brenvo: error: This package flashes drives through the direct-IDE flash driver"
out=$(find "$WINEPREFIX/drive_c" -iname rur.sys; grep -i 'Services\\\\RUR\]' "$WINEPREFIX/system.reg")
check "direct-IDE refusals: no flash driver file or service in the prefix" 0 "$([ -z "$out" ]; echo $?)" "$out" ""

# A script: the unattended package flashes E: and ends the program by itself.
packed script $(options rebootAfterSuccess=0 unattended=1 exitWhenDone=1) > /dev/null
"$bench" new --preset typical script-pc.json > /dev/null
out=$(BRENVO_MACHINE=script-pc.json BRENVO_UNATTENDED=1 timeout 120 wine script.exe 2>&1 < /dev/null)
check "scripted run through the window ends" 0 $? "$out" \
  "brenvo: information: Firmware has been updated successfully !"
flashed "scripted run" script-pc.json

# By keys: Update, the success message, Enter on the reboot question's first focus, Later.
"$bench" new --preset typical keys-pc.json > /dev/null
BRENVO_MACHINE=keys-pc.json wine shipped.exe > /dev/null 2>&1 < /dev/null &
app=$!
w=$(window "Firmware Flasher")
check "the main window comes" 0 "$([ -n "$w" ]; echo $?)" "" ""
if [ -n "$w" ]; then
  shot wine-main-en "$w"
  press "$w" Tab space
  box=$(window "^Brenvo$")
  [ -n "$box" ] && shot wine-success-en "$box" && press "$box" Return
  reboot=$(window "Reboot")
  [ -n "$reboot" ] && shot wine-reboot-en "$reboot" && press "$reboot" Return
fi
ended "update by keys" $app
flashed "update by keys" keys-pc.json
out=$("$bench" show keys-pc.json)
check "update by keys: Enter on Later does not restart" 0 0 "$out" "Restart:           none pending"

# The idle main window closes from its title bar and with Alt+F4; during a run it refuses both.
launch() {  # launch BENCH [TRACE]: the shipped package on that emulated PC
  BRENVO_MACHINE=$1 BRENVO_TRACE=${2:-} wine shipped.exe > /dev/null 2>&1 < /dev/null &
  app=$!
}
close_checks "Win32 window" "$bench" .

echo "== The OEM cycle: the wizard, the restart, the check"
# The OEM variant, no restart of its own after the flash: the complete page stays for Shut Down.
packed oem $(options uiVariant=2 rebootAfterSuccess=0) > /dev/null
"$bench" new --preset typical oem-pc.json > /dev/null
BRENVO_MACHINE=oem-pc.json wine oem.exe > /dev/null 2>&1 < /dev/null &
app=$!
w=$(wizard_window "Firmware Flasher")
check "the wizard comes" 0 "$([ -n "$w" ]; echo $?)" "" ""
if [ -n "$w" ]; then
  shot wine-wizard-1 "$w"
  press "$w" Return
  shot wine-wizard-2 "$w"
  press "$w" Return
  question=$(window "Firmware Flasher" "$w")
  [ -n "$question" ] && shot wine-wizard-question "$question" && press "$question" Return
  sleep 3  # the flash on the virtual clock, then the wizard's one-second poll
  shot wine-wizard-4 "$w"
  press "$w" Tab space  # Shut Down, the one button left

fi
ended "wizard" $app
flashed "wizard" oem-pc.json
out=$("$bench" show oem-pc.json)
check "wizard: the restart entry is registered" 0 0 "$out" "/QVCHECK 0 QV12"
check "wizard: Shut Down asked for the restart" 0 0 "$out" "requested, pending"
# A restart runs the RunOnce entry: the packed program, under Wine, on this bench.
sed -i "s|\"hostProgram\": *\"[^\"]*\"|\"hostProgram\": \"$work/oem.exe\"|" oem-pc.json
BRENVO_BENCH_LAUNCHER=wine "$bench" boot oem-pc.json > boot.log 2>&1 &
boot=$!
w=$(wizard_window "Firmware Flasher")
check "the check after the restart comes" 0 "$([ -n "$w" ]; echo $?)" "" ""
if [ -n "$w" ]; then
  shot wine-wizard-6-check "$w"
  # The check mark (green) stands where a failed check shows the red cross.
  green=$(convert "$shots/wine-wizard-6-check.png" -fill black +opaque "#20A030" -fill white \
    -opaque "#20A030" -format "green %[fx:mean>0]" info: 2>&1)
  check "the check after the restart succeeds (check mark shown)" 0 0 "$green" "green 1"
  press "$w" Return
fi
ended "brenvo-bench boot" $boot
check "brenvo-bench boot ran the check" 0 0 "$(cat boot.log)" "/QVCHECK 0 QV12"
check "the check's run ended well" 0 0 "$(cat boot.log)" "ended with status 0"

wineserver -k 2> /dev/null
cd "$root"
for picture in "$job"/bmp/*.bmp; do
  convert "$picture" "$shots/$(basename "${picture%.bmp}").png"
done
echo "== Pictures of the windows under Wine, in $shots:"
ls "$shots" | sed 's/^/    /'
if [ "$arch" != i686 ]; then
  not_run "the i686 (shipped) brenvo.exe: the same checks as above" $((passed + failed)) \
    "32-bit programs cannot run on this machine ($host32_reason); the $arch build ran instead"
fi
summary
