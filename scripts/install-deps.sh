#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (only those missing).
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  # The Qt front-end, and the faces that stand in for the Windows fonts its windows ask for.
  qt6-base-dev fonts-noto-cjk fonts-dejavu-core fonts-dejavu-extra
  # Qt's own words in Chinese and Japanese; the title-bar hints on X11 (xcb).
  qt6-translations-l10n libxcb1-dev
  # The windows on a real desktop (scripts/x11-test.sh): X server, window manager, driving, pictures.
  xvfb openbox xdotool x11-utils imagemagick
  # The fuzzers (scripts/fuzz.sh): clang and its libFuzzer.
  clang libclang-rt-dev
  # The VM stage: the kernel's SCSI stack in qemu, with busybox, sg_inq and the TCMU header,
  # and mke2fs for a disc the guest mounts; the system bus, polkitd and pkexec, under which the
  # guest runs the check after the restart as its autostart entry starts it.
  qemu-system-x86 busybox-static sg3-utils linux-libc-dev e2fsprogs dbus-daemon polkitd pkexec
  # sd-bus: the login manager's lock that holds off sleep and shutdown during a flash.
  libsystemd-dev)
# GNU time: the peak memory of the benchmark command's runs.
packages+=(time)
# The compiler cache every build goes through (scripts/ccache.sh).
packages+=(ccache)
# A real sudo for the privilege tests (tests/misuse_user_test.sh): who started a run is what sudo
# says, never a variable alone.
packages+=(sudo)
# The Windows cross builds and Wine to run them (scripts/wine-test.sh); 32-bit programs need
# wine32 of the i386 architecture. GoogleTest's sources are built for Windows.
packages+=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix googletest wine wine64 wine32:i386)
# brenvo.exe's window under Wine (scripts/wine-window-test.sh): Arial's stand-in, which the test
# prefix links to Noto Sans CJK TC for the Chinese texts (X server, openbox, xdotool as above).
packages+=(fonts-liberation)
# The release (scripts/release.sh, tests/release_test.sh): the Debian package's tools and checks,
# the zip, the icon's drawing (data/icons/render.sh: librsvg2-bin, icoutils), and the polkit
# action's check (xmllint).
packages+=(dpkg-dev lintian appstream zip unzip file librsvg2-bin icoutils libxml2-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
case " ${missing[*]} " in *:i386*) $sudo dpkg --add-architecture i386 ;; esac
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
