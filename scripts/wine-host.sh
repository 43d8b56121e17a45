# Sourced by the Wine stages: can this machine run 32-bit programs, and which Wine runs ours.
#
# Some machines cannot start a 32-bit program at all (a kernel without 32-bit emulation): the
# i386 packages install, but every 32-bit executable fails with "Exec format error", the 32-bit
# Wine loader among them, and Debian's `wine`, `wineboot` and `winepath` start that loader even
# for 64-bit programs. There the stages run the x86_64 build with the 64-bit loader alone, and
# the 32-bit build is meant to be proven inside the VM (scripts/wine-vm-test.sh), whose kernel runs
# it; that stage cannot yet make its Wine prefix on such a machine.
#
# After sourcing: host32 (1 or 0), host32_reason (what the probe saw), arches (the builds to run
# here, i686 first when it can run), and on a 64-bit-only machine `wine`, `wineboot` and
# `winepath` on PATH run the 64-bit loader. BRENVO_HOST_32BIT=0 makes a machine that could run
# both one that cannot, for the rest of the stage (to try that way); =1 insists on both.
# Sourced after the stage has set root (its top folder) and, if it has one, job (its scratch
# folder, removed before the stage starts again under the mask). Source it with no redirection:
# the stage started again keeps the sourcing command's output.

source "$root/scripts/host32-probe.sh"

if host32_probe; then host32=1; else host32=0; fi
# BRENVO_HOST_32BIT=0 on a machine that can run them: the stage starts again in a mount namespace
# of its own in which the 32-bit loader is no program, so a 32-bit program started by mistake
# fails as it would there ("Exec format error") instead of passing. Needs root (unshare, mount).
# A script that only needs to know which Wine runs (keep_process=1) is not started again.
if [ "${BRENVO_HOST_32BIT:-}" = 0 ] && [ "$host32" -eq 1 ] && [ "${keep_process:-0}" != 1 ]; then
  if [ -n "${BRENVO_32BIT_MASKED:-}" ]; then
    echo "wine-host: the 32-bit loader still starts inside the masked namespace" >&2
    exit 1
  fi
  [ -n "${job:-}" ] && rm -rf "$job"
  self=$root/$(basename "$(dirname "$0")")/$(basename "$0")
  masked=$(mktemp /tmp/brenvo-no-32-bit.XXXXXX)
  { printf '\177ELF' && head -c 60 /dev/zero; } > "$masked" && chmod 755 "$masked"
  exec unshare -m --propagation private env BRENVO_32BIT_MASKED="$masked" bash -c \
    'mount --bind "$BRENVO_32BIT_MASKED" /lib/ld-linux.so.2 && rm -f "$BRENVO_32BIT_MASKED" && exec "$0" "$@"' \
    "$self" "$@"
  echo "wine-host: 32-bit programs cannot be kept from starting here (unshare and mount need root)" >&2
  exit 1
fi
case "${BRENVO_HOST_32BIT:-}" in
  0)
    host32=0
    [ -n "${BRENVO_32BIT_MASKED:-}" ] && host32_reason="$host32_reason (BRENVO_HOST_32BIT=0: kept from starting)"
    ;;
  1) host32=1 ;;
esac

if [ "$host32" -eq 1 ]; then
  arches="i686 x86_64"
  echo "== 32-bit programs run on this machine ($host32_reason): i686 and x86_64 run here"
else
  arches="x86_64"
  wine_shims=$job/wine64  # job: the stage's own temporary folder
  mkdir -p "$wine_shims"
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' > "$wine_shims/wine"
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 wineboot.exe "$@"\n' > "$wine_shims/wineboot"
  printf '#!/bin/sh\nexec /usr/lib/wine/wine64 winepath.exe "$@"\n' > "$wine_shims/winepath"
  chmod +x "$wine_shims"/*
  export PATH="$wine_shims:$PATH" WINELOADER=/usr/lib/wine/wine64
  echo "== 32-bit programs cannot run on this machine ($host32_reason):" \
    "x86_64 runs here under wine64; the i686 checks are named as not run"
fi
