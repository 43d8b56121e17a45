#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need (only those missing).
set -euo pipefail
packages=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
  # The Qt front-end, and the faces that stand in for the Windows fonts its windows ask for.
  qt6-base-dev fonts-noto-cjk fonts-dejavu-core fonts-dejavu-extra
  # The VM stage: the kernel's SCSI stack in qemu, with busybox, sg_inq and the TCMU header.
  qemu-system-x86 busybox-static sg3-utils linux-libc-dev)
# GNU time: the peak memory of the benchmark command's runs.
packages+=(time)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
