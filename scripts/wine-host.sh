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
# `winepath` on PATH run the 64-bit loader. BRENVO_HOST_32BIT=0 takes the 64-bit-only way on a
# machine that could run both (to try it); =1 insists on both.

# The probe: the 32-bit dynamic loader that Wine's 32-bit loader itself needs, started once.
host32_probe() {
  local loader=/lib/ld-linux.so.2 out
  if [ ! -e "$loader" ]; then
    host32_reason="$loader is not installed"
    return 1
  fi
  if out=$("$loader" --version 2>&1); then
    host32_reason="$loader runs: ${out%%$'\n'*}"
    return 0
  fi
  out=${out##*$'\n'}
  host32_reason="$loader does not start: ${out##*: }"
  return 1
}

if host32_probe; then host32=1; else host32=0; fi
case "${BRENVO_HOST_32BIT:-}" in
  0)
    host32=0
    host32_reason="BRENVO_HOST_32BIT=0 (the probe: $host32_reason)"
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
