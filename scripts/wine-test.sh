#!/usr/bin/env bash
# The Windows build, proven under Wine: cross-builds the 32-bit and the 64-bit programs with
# mingw-w64 (build-windows/i686, build-windows/x86_64) and runs them in a Wine prefix of their own:
# the core's tests on the emulated PC, the Windows backend against Wine's own services, the layout
# checks, brenvo-cli.exe on this (Wine) machine, and a packed brenvo-cli.exe flashing an emulated
# PC's drive with the same commands as the Linux build. Ends with "N passed, M failed".
# On a machine that cannot run 32-bit programs only the x86_64 build runs here, under wine64, and
# the i686 build's checks are named as not run (scripts/wine-host.sh; scripts/wine-vm-test.sh
# runs the 32-bit build in the VM).
# Usage: scripts/wine-test.sh   (installs nothing; scripts/install-deps.sh does)
set -u
cd "$(dirname "$0")/.."
root=$PWD
source tests/check.sh
# The stage's builds compile each target as one file, unoptimised: the same code, built in a minute
# an architecture instead of several. BRENVO_WINE_RELEASE=1 tests the optimised build instead.
if [ -n "${BRENVO_WINE_RELEASE:-}" ]; then
  flavour=(-DCMAKE_BUILD_TYPE=Release -DBRENVO_ONE_FILE_TARGETS=OFF)
else
  flavour=(-DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS=-O0 -DBRENVO_ONE_FILE_TARGETS=ON)
fi
source scripts/ccache.sh

job=$(mktemp -d /tmp/brenvo-wine.XXXXXX)
export WINEPREFIX=$job/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k 2> /dev/null
  rm -rf "$job"
}
trap cleanup EXIT
source scripts/wine-host.sh

echo "== Building (host tools, then Windows i686 and x86_64 side by side)"
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" > /dev/null
fi
out=$(ninja -C build brenvo-cli brenvo-pack brenvo-bench 2>&1); check "host build" 0 $? "$out" ""
# One target a file leaves long single compiles: the two architectures fill each other's gaps.
builds=()
for arch in i686 x86_64; do
  (cmake -S . -B build-windows/$arch -G Ninja "${flavour[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-$arch.cmake" "${launcher[@]}" &&
    ninja -C build-windows/$arch brenvo_tests brenvo_windows_tests brenvo_console_probe \
      brenvo-cli brenvo-pack) \
    > "$job/build-$arch.log" 2>&1 &
  builds+=($!)
done
for i in 0 1; do
  arch=$([ $i -eq 0 ] && echo i686 || echo x86_64)
  wait "${builds[$i]}"
  check "$arch cross build" 0 $? "$(tail -40 "$job/build-$arch.log")" ""
done

echo "== A Wine prefix with drive D: a CD-ROM drive"
wineboot -i > /dev/null 2>&1
mkdir -p "$job/cdrom" "$WINEPREFIX/drive_c/windows/syswow64/drivers"
ln -sfn "$job/cdrom" "$WINEPREFIX/dosdevices/d:"
# The mount manager is a 64-bit driver: it reads the 64-bit view of the registry at its start.
wine reg add 'HKLM\Software\Wine\Drives' /v d: /t REG_SZ /d cdrom /f /reg:64 > /dev/null 2>&1
wineserver -k 2> /dev/null
wineserver -p > /dev/null 2>&1 < /dev/null
wine cmd /c exit > /dev/null 2>&1 < /dev/null

work=$job/work
mkdir -p "$work"
cd "$work"
bench=$root/build/tools/bench/brenvo-bench
qv12_package "$bench"
# The Linux build's run, the one each Windows run is compared with.
"$root/build/tools/pack/brenvo-pack" manifest.json "$root/build/cli/brenvo-cli" linux-cli > /dev/null
"$bench" new --preset typical linux.json > /dev/null
BRENVO_MACHINE=linux.json BRENVO_TRACE=linux.jsonl ./linux-cli update --yes < /dev/null > /dev/null 2>&1
sed 's/,"t":[^,}]*//' linux.jsonl > linux.commands

for arch in i686 x86_64; do
  bin=$root/build-windows/$arch
  # The layout checks stop a build whose structures are packed otherwise.
  printf '#pragma pack(push, 1)\n#include "platform/windows/ScsiLayouts.h"\n' > probe.cpp
  out=$($arch-w64-mingw32-g++-posix -std=c++20 -I"$root" -fsyntax-only probe.cpp 2>&1)
  check "$arch layout check refuses one-byte packing" 1 $? "$out" \
    "SCSI_PASS_THROUGH_DIRECT is not the documented layout"
  if [[ " $arches " != *" $arch "* ]]; then
    not_run "$arch under Wine: both test programs, packing, list, an update traced, a Japanese-named folder, the console's code pages" \
      23 "32-bit programs cannot run on this machine ($host32_reason)"
    continue
  fi
  echo "== $arch under Wine"
  out=$(wine "$bin/tests/brenvo_tests.exe" --gtest_brief=1 2>&1 < /dev/null)
  gtests "$arch core tests on the emulated PC" "$out" $?
  out=$(BRENVO_WINE_CDROM=D: wine "$bin/tests/windows/brenvo_windows_tests.exe" --gtest_brief=1 \
    2>&1 < /dev/null)
  gtests "$arch Windows backend on Wine's services" "$out" $?

  cp "$bin/cli/brenvo-cli.exe" "$bin/tools/pack/brenvo-pack.exe" .
  out=$(wine brenvo-pack.exe manifest.json brenvo-cli.exe flasher.exe 2>&1 < /dev/null)
  check "$arch brenvo-pack.exe packs brenvo-cli.exe" 0 $? "$out" "verified"
  out=$(wine flasher.exe list 2>&1 < /dev/null)
  check "$arch list on Wine's drives: no matching drive" 3 $? "$out" "No matched drive detected !"
  check "$arch list names Wine's CD-ROM drive" 3 3 "$out" "D:"

  "$bench" new --preset typical $arch.json > /dev/null
  out=$(BRENVO_MACHINE=$arch.json BRENVO_TRACE=$arch.jsonl wine flasher.exe update --yes 2>&1 < /dev/null)
  check "$arch flashes the emulated PC's drive" 0 $? "$out" "Firmware has been updated successfully"
  # A restart of the bench would run this program again: the bench names it as Windows does.
  out=$(grep -o '"hostProgram": *"[^"]*"' $arch.json)
  check "$arch bench names the program to restart" 0 0 "$out" 'work\\flasher.exe"'
  sed 's/,"t":[^,}]*//' $arch.jsonl > $arch.commands
  out=$(diff linux.commands $arch.commands 2>&1)
  check "$arch trace equals the Linux build's ($(wc -l < linux.commands) commands)" 0 $? "$out" ""

  # A folder named in Japanese, on this prefix's Western code page (1252), where the ANSI calls,
  # the C runtime's argv and its getenv spell each Japanese character '?'. The backend's tests run
  # from there (the RunOnce value in Wine's registry, the program's own files by their whole name).
  folder="ファームウェア更新-$arch"
  mkdir -p "$folder"
  acp=$(wine reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP \
    2> /dev/null < /dev/null | tr -d '\r' | awk '$1 == "ACP" { print $NF }')
  check "$arch the prefix's ANSI code page is the Western one" 0 0 "ACP $acp" "ACP 1252"
  cp "$bin/tests/windows/brenvo_windows_tests.exe" "$folder/"
  out=$(BRENVO_EXPECT_FOLDER=$folder wine "$folder/brenvo_windows_tests.exe" --gtest_brief=1 \
    --gtest_filter='*RestartEntry*:*MaxPath*:*WholeUtf8Name*' 2>&1 < /dev/null)
  gtests "$arch backend from a Japanese-named folder: restart entry, own files, a path over 260" \
    "$out" $?
  # Everything a maker and a user name lies in that folder: the manifest and its files, the
  # packed program, the bench with its flash contents, and the trace.
  cp fw.bin key.bin "$folder/"
  sed 's/"00010110001/"20010110001/' manifest.json > "$folder/oem.json"
  out=$(wine brenvo-pack.exe "$folder/oem.json" brenvo-cli.exe "$folder/oem.exe" 2>&1 < /dev/null)
  check "$arch brenvo-pack.exe packs a manifest there into a program there" 0 $? "$out" \
    "into $folder/oem.exe (block at"
  out=$(wine brenvo-pack.exe --show "$folder/oem.exe" 2>&1 < /dev/null)
  check "$arch brenvo-pack.exe --show reads the program there" 0 $? "$out" "20010110001001100073"
  "$bench" new --preset typical "$folder/pc.json" > /dev/null
  out=$(BRENVO_MACHINE=$folder/pc.json wine brenvo-cli.exe --package "$folder/oem.exe" list \
    2>&1 < /dev/null)
  check "$arch brenvo-cli.exe lists the bench there by the package there" 0 $? "$out" \
    "image 1: QV11 -> QV12"
  out=$(BRENVO_MACHINE=$folder/pc.json BRENVO_TRACE=$folder/trace.jsonl wine "$folder/oem.exe" \
    update --yes 2>&1 < /dev/null)
  check "$arch OEM update of the bench there, from the program there" 0 $? "$out" \
    "After the restart"
  out=$("$bench" show "$folder/pc.json" 2>&1; ls "$folder")
  check "$arch the bench there holds the new firmware" 0 0 "$out" "revision QV12 (QV12-00)"
  check "$arch the flash contents file lies beside the bench" 0 0 "$out" "pc.json.E.1.flash"
  out=$(grep -c '"cdb"' "$folder/trace.jsonl" 2>&1)
  check "$arch the trace is written in that folder" 0 $? "$out" ""
  out=$(grep -o '"hostProgram": *"[^"]*"' "$folder/pc.json")
  check "$arch the bench's restart names the program in its Japanese-named folder" 0 0 "$out" \
    "$folder\\\\oem.exe\""

  # The console: the Chinese and Japanese texts as the screen shows them in code pages 932, 950
  # and 437, read back by a probe that runs the program in its console (under `script`, so that
  # Wine gives it one). Redirected, the same run writes UTF-8 bytes.
  cp "$bin/tests/windows/brenvo_console_probe.exe" .
  for language in 1 2; do
    sed "s/\"00010110001/\"0${language}010110001/" manifest.json > lang$language.json
    wine brenvo-pack.exe lang$language.json brenvo-cli.exe lang$language.exe > /dev/null 2>&1 < /dev/null
  done
  zh='韌體已經更新成功 !'  # the success message in Chinese and a step in Japanese
  ja='終了しました。'
  "$bench" new --preset typical $arch-piped.json > /dev/null
  out=$(BRENVO_MACHINE=$arch-piped.json wine lang2.exe update --yes 2>&1 < /dev/null)
  check "$arch piped: the Japanese texts as UTF-8 bytes" 0 $? "$out" "$ja"
  for run in "932 2 $ja" "950 1 $zh" "437 2 $ja" "437 1 $zh"; do
    read -r cp language text <<< "$run"
    "$bench" new --preset typical $arch-console.json > /dev/null
    BRENVO_MACHINE=$arch-console.json script -qec \
      "wine brenvo_console_probe.exe $cp screen.txt lang$language.exe update --yes" /dev/null \
      > probe.log 2>&1 < /dev/null
    status=$?
    check "$arch console, code page $cp, language $language: the text arrives right" 0 $status \
      "$(cat screen.txt 2> /dev/null; tail -3 probe.log)" "$text"
  done
done
wineserver -k 2> /dev/null

summary
