#!/usr/bin/env bash
# Writes the release into dist/: the Debian package (brenvo_VERSION_ARCH.deb), the Windows zip
# (brenvo-VERSION-windows-x86.zip: the 32-bit programs) and SHA256SUMS. Release builds, stripped,
# in build-release/ (reused by the next run). Reproducible: the time stamps are the commit's
# (SOURCE_DATE_EPOCH), the build's paths are mapped away, the Windows linker writes no time stamp,
# the archives hold their files in one order with one owner, so two runs of one commit write the
# same bytes. The Linux programs take Debian's hardening flags. Ends with lintian's verdict on the
# package (no errors allowed).
# Usage: scripts/release.sh   (needs the packages of scripts/install-deps.sh)
# The release test packs programs already built instead: BRENVO_RELEASE_LINUX_BUILD and
# BRENVO_RELEASE_WINDOWS_BUILD name the build folders to take them from, BRENVO_RELEASE_DIST the
# folder to write (default dist).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
start=$SECONDS
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export TZ=UTC LC_ALL=C.UTF-8
umask 022
version=$(sed -n 's/^project(Brenvo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
source scripts/ccache.sh
flags="-ffile-prefix-map=$root=."
jobs=${BRENVO_JOBS:-2}
dist=${BRENVO_RELEASE_DIST:-dist}
linux=${BRENVO_RELEASE_LINUX_BUILD:-build-release/linux}
windows=${BRENVO_RELEASE_WINDOWS_BUILD:-build-release/windows}
staging=$(mktemp -d "${TMPDIR:-/tmp}/brenvo-release.XXXXXX")
trap 'rm -rf "$staging"' EXIT
rm -rf "$dist"
mkdir -p "$dist"

if [ -z "${BRENVO_RELEASE_LINUX_BUILD:-}" ]; then
  echo "== Linux: Release build"
  # Debian's hardening flags (cmake/Hardening.cmake takes them from dpkg-buildflags).
  cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRENVO_TESTS=OFF \
    -DBRENVO_BENCHMARKS=OFF -DBRENVO_HARDENING=ON -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="" "${launcher[@]}" > /dev/null
  ninja -C "$linux" -j "$jobs" brenvo brenvo-cli brenvo-pack brenvo-bench
fi

echo "== Linux: the Debian package"
arch=$(dpkg --print-architecture)
tree=$staging/deb
DESTDIR=$tree cmake --install "$linux" --prefix /usr --strip > /dev/null
# What the strip of the install leaves and Debian's own strip removes: the compilers' notes.
strip --remove-section=.comment --remove-section=.note "$tree"/usr/bin/*
# Debian keeps manual pages and changelogs compressed, without names or times in the gzip header.
gzip -9n "$tree"/usr/share/man/man1/*.1 "$tree/usr/share/doc/brenvo/changelog"
mkdir -p "$tree/DEBIAN"
# dpkg-shlibdeps reads the libraries the programs need from the packages that ship them.
shlibs=$(mktemp -d)
mkdir -p "$shlibs/debian"
: > "$shlibs/debian/control"
depends=$(cd "$shlibs" && dpkg-shlibdeps -O "$tree"/usr/bin/* | sed -n 's/^shlibs:Depends=//p')
rm -rf "$shlibs"
cat > "$tree/DEBIAN/control" << CONTROL
Package: brenvo
Version: $version
Architecture: $arch
Maintainer: Brenvo developers <dev@brenvo.invalid>
Installed-Size: $(du -sk --exclude=DEBIAN "$tree" | cut -f1)
Depends: $depends
Section: utils
Priority: optional
Description: firmware updater for DVD-RW drives, as makers pack it
 Brenvo rewrites the firmware of optical (DVD-RW) drives of one drive family.
 A Brenvo program is its own firmware package: a maker writes the firmware
 images, the revisions they replace and the options of the run into a copy of
 the program with brenvo-pack, and hands that copy to users.
 .
 The programs of this package carry no firmware: brenvo (the window) and
 brenvo-cli (for terminals and scripts) are the unpacked builds that a maker
 packs with brenvo-pack. brenvo-bench makes emulated PCs on which every
 program can be tried without a drive.
CONTROL
(cd "$tree" && find usr -type f | sort | xargs md5sum > DEBIAN/md5sums)
find "$tree" -type d -exec chmod 0755 {} +
find "$tree" -type f -exec chmod 0644 {} +
chmod 0755 "$tree"/usr/bin/*
find "$tree" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
deb=$dist/brenvo_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$tree" "$deb" > /dev/null

if [ -z "${BRENVO_RELEASE_WINDOWS_BUILD:-}" ]; then
  echo "== Windows: Release cross build (32-bit)"
  cmake -S . -B "$windows" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRENVO_TESTS=OFF \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-i686.cmake" \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" "${launcher[@]}" > /dev/null
  ninja -C "$windows" -j "$jobs" brenvo brenvo-cli brenvo-pack
fi

echo "== Windows: the zip"
folder=brenvo-$version-windows
zipdir=$staging/zip
cmake --install "$windows" --prefix "$zipdir/$folder" --strip > /dev/null
chmod 0644 "$zipdir/$folder"/*
find "$zipdir" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
zip=$(realpath "$dist")/brenvo-$version-windows-x86.zip
(cd "$zipdir" && find "$folder" | sort | zip -X -D -q -9 "$zip" -@)

(cd "$dist" && sha256sum -- *.deb *.zip > SHA256SUMS)

echo "== lintian"
lintian_out=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v '^running with root' || true)
[ -n "$lintian_out" ] && echo "$lintian_out"
if grep -q '^E:' <<< "$lintian_out"; then
  echo "release: lintian reports errors" >&2
  exit 1
fi

echo "== $dist/ ($((SECONDS - start)) s)"
ls -l "$dist"
cat "$dist/SHA256SUMS"
