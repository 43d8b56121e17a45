#!/usr/bin/env bash
# The release, checked on programs already built: packs them as scripts/release.sh does (the
# Linux programs of BUILD, the Windows programs of WINDOWS_BUILD) into a scratch dist/, twice, and
# checks what a user and a maker get: the Debian package's files, dependencies and metadata,
# lintian's verdict, the zip's programs with their manifest, version information and icon as
# Windows reads them (under Wine), and that the stripped programs still take a package.
# Usage: tests/release_test.sh [BUILD [WINDOWS_BUILD]]   (defaults: build, build-windows/i686)
set -u
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath "${1:-build}")
windows=$(realpath "${2:-build-windows/i686}")
source tests/check.sh
version=$(sed -n 's/^project(Brenvo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
job=$(mktemp -d /tmp/brenvo-release-test.XXXXXX)
export WINEPREFIX=$job/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k 2> /dev/null
  rm -rf "$job"
}
trap cleanup EXIT
source scripts/wine-host.sh

# The release packs what earlier stages built; a program missing here is a stage that did not
# build it, named at once rather than found by the install step halfway through.
missing=()
for f in app/brenvo cli/brenvo-cli tools/pack/brenvo-pack tools/bench/brenvo-bench; do
  [ -f "$build/$f" ] || missing+=("$build/$f (the test command builds it: scripts/test.sh)")
done
for f in win32/brenvo.exe cli/brenvo-cli.exe tools/pack/brenvo-pack.exe; do
  [ -f "$windows/$f" ] || missing+=("$windows/$f (the Windows stages build it: scripts/wine-test.sh, scripts/wine-window-test.sh)")
done
if [ ${#missing[@]} -gt 0 ]; then
  printf 'release_test: not built: %s\n' "${missing[@]}"
  echo "0 passed, ${#missing[@]} failed"
  exit 1
fi

for run in 1 2; do
  out=$(BRENVO_RELEASE_LINUX_BUILD=$build BRENVO_RELEASE_WINDOWS_BUILD=$windows \
    BRENVO_RELEASE_DIST=$job/dist$run scripts/release.sh 2>&1)
  check "release.sh packs the built programs (run $run)" 0 $? "$out" "SHA256SUMS"
done
out=$(diff "$job/dist1/SHA256SUMS" "$job/dist2/SHA256SUMS" 2>&1)
check "two runs give the same bytes" 0 $? "$out" ""
dist=$job/dist1
arch=$(dpkg --print-architecture)
deb=$dist/brenvo_${version}_${arch}.deb
zip=$dist/brenvo-$version-windows-x86.zip
out=$(cd "$dist" && sha256sum -c SHA256SUMS 2>&1); check "SHA256SUMS names both files" 0 $? "$out" "windows-x86.zip: OK"

echo "== The Debian package"
listing=$(dpkg-deb -c "$deb")
for f in usr/bin/brenvo usr/bin/brenvo-cli usr/bin/brenvo-pack usr/bin/brenvo-bench \
  usr/share/applications/org.brenvo.Brenvo.desktop usr/share/metainfo/org.brenvo.Brenvo.metainfo.xml \
  usr/share/icons/hicolor/48x48/apps/brenvo.png usr/share/icons/hicolor/scalable/apps/brenvo.svg \
  usr/share/man/man1/brenvo.1.gz usr/share/man/man1/brenvo-cli.1.gz usr/share/man/man1/brenvo-pack.1.gz \
  usr/share/man/man1/brenvo-bench.1.gz usr/share/bash-completion/completions/brenvo-cli \
  usr/share/doc/brenvo/copyright usr/share/doc/brenvo/changelog.gz; do
  check "package holds $f" 0 0 "$listing" " ./$f"
done
check "files belong to root" 0 0 "$listing" "root/root"
out=$(dpkg-deb -f "$deb" Depends); check "dependencies from dpkg-shlibdeps" 0 0 "$out" "libqt6widgets6"
out=$(dpkg-deb -f "$deb" Description); check "description says the programs are unpacked" 0 0 "$out" \
  "carry no firmware"
tree=$job/tree
dpkg-deb -x "$deb" "$tree"
out=$(appstreamcli validate --no-net "$tree/usr/share/metainfo/org.brenvo.Brenvo.metainfo.xml" 2>&1)
check "AppStream metainfo validates" 0 $? "$out" "Validation was successful"
out=$(file "$tree/usr/bin/brenvo-cli"); check "programs are stripped" 0 0 "$out" ", stripped"
# Debian's hardening, read from each program as the loader sees it: position-independent,
# relocations read-only (relro) and bound at start (now), the stack protector, and the checked
# string functions of _FORTIFY_SOURCE; lintian names none of its hardening tags.
for program in brenvo brenvo-cli brenvo-pack brenvo-bench; do
  elf=$tree/usr/bin/$program
  out=$(readelf -h -l -d --dyn-syms -W "$elf" 2>&1)
  check "$program: position-independent (PIE)" 0 0 "$out" "Position-Independent Executable"
  check "$program: read-only relocations (relro)" 0 0 "$out" "GNU_RELRO"
  check "$program: bound at start (now)" 0 0 "$(grep -E '\((FLAGS|FLAGS_1)\)' <<< "$out")" "NOW"
  check "$program: stack protector" 0 0 "$out" "__stack_chk_fail"
  check "$program: fortified functions" 0 0 "$(grep -o '__[a-z]*_chk' <<< "$out" | grep -v stack_chk)" "_chk"
done
package_files=$(dpkg-deb -c "$deb")
check "package holds the polkit action for pkexec brenvo" 0 0 "$package_files" \
  "./usr/share/polkit-1/actions/org.brenvo.Brenvo.policy"
check "package holds the udev rule as an example only" 0 0 "$package_files" \
  "./usr/share/doc/brenvo/examples/70-brenvo-optical-sg.rules"
check "package activates no udev rule" 0 "$(grep -c 'udev/rules.d' <<< "$package_files")" "$package_files" ""
policy=$tree/usr/share/polkit-1/actions/org.brenvo.Brenvo.policy
out=$(xmllint --noout "$policy" 2>&1 && cat "$policy")
check "the polkit action names /usr/bin/brenvo and lets it show a window" 0 $? "$out" \
  'exec.allow_gui">true</annotate>'
check "the polkit action asks for an administrator's password" 0 \
  "$(grep -c -E '<allow_(any|inactive|active)>(yes|auth_self)' <<< "$out")" "$out" "auth_admin"
out=$("$tree/usr/bin/brenvo-cli" --version); check "packaged brenvo-cli --version" 0 $? "$out" "brenvo-cli $version"
out=$(lintian "$deb" 2>&1); check "lintian: no errors" 0 "$(grep -c '^E:' <<< "$out")" "$out" ""
out=$(lintian -I "$deb" 2>&1); check "lintian: no hardening tags" 0 "$(grep -c ' hardening-' <<< "$out")" "$out" ""

# A maker packs the stripped program, and it flashes an emulated PC's drive.
cd "$job"
bench=$tree/usr/bin/brenvo-bench
qv12_package "$bench"
out=$("$tree/usr/bin/brenvo-pack" manifest.json "$tree/usr/bin/brenvo-cli" flasher 2>&1)
check "the stripped brenvo-cli takes a package" 0 $? "$out" "verified"
"$bench" new --preset typical pc.json > /dev/null
out=$(BRENVO_MACHINE=pc.json ./flasher update --yes < /dev/null 2>&1)
check "the packed stripped brenvo-cli flashes a drive" 0 $? "$out" "now QV12"

echo "== The Windows zip"
unzip -q "$zip" -d zip
folder=zip/brenvo-$version-windows
for f in brenvo.exe brenvo-cli.exe brenvo-pack.exe README.txt LICENSE.txt; do
  [ -f "$folder/$f" ]; check "zip holds $f" 0 $? "$(unzip -l "$zip")" "$f"
done
out=$(file "$folder/brenvo-cli.exe"); check "brenvo-cli.exe is 32-bit" 0 0 "$out" "Intel 80386"
out=$(i686-w64-mingw32-objdump -h "$folder/brenvo.exe"); check "brenvo.exe carries no debug data" 0 \
  "$(grep -c debug_info <<< "$out")" "$out" ".rsrc"
wineboot -i > /dev/null 2>&1
# The probe reads the resources as data, so a 64-bit one reads the 32-bit programs' as well.
probe_arch=${arches%% *}
$probe_arch-w64-mingw32-g++-posix -std=c++20 -municode -static -O1 -o probe.exe \
  "$root/tests/windows/ResourceProbe.cpp" -lversion
for program in brenvo brenvo-cli brenvo-pack; do
  out=$(wine probe.exe "$folder/$program.exe" 2>&1 < /dev/null)
  status=$?
  level=requireAdministrator
  [ $program = brenvo-pack ] && level=asInvoker
  check "$program.exe: manifest asks for $level" 0 $status "$out" "requestedExecutionLevel level=\"$level\""
  check "$program.exe: Common Controls 6" 0 0 "$out" 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'
  check "$program.exe: supports Windows 10 and 11" 0 0 "$out" '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'
  check "$program.exe: scaled by the system, text drawn sharp" 0 0 "$out" \
    'WindowsSettings">false</dpiAware>'
  check "$program.exe: GDI scaling" 0 0 "$out" 'WindowsSettings">true</gdiScaling>'
  check "$program.exe: icon" 0 0 "$out" "icon: yes"
  check "$program.exe: file version" 0 0 "$out" "FileVersion: $version"
  check "$program.exe: original name" 0 0 "$out" "OriginalFilename: $program.exe"
done
if [ "$host32" -eq 1 ]; then
  cp "$folder"/*.exe .
  out=$(wine brenvo-pack.exe manifest.json brenvo-cli.exe flasher.exe 2>&1 < /dev/null)
  check "brenvo-pack.exe packs the stripped brenvo-cli.exe" 0 $? "$out" "verified"
  out=$(wine brenvo-pack.exe --show flasher.exe 2>&1 < /dev/null)
  check "brenvo-pack.exe --show reads it" 0 $? "$out" "11  imageCount         1"
  out=$(wine brenvo-pack.exe manifest.json brenvo.exe window.exe 2>&1 < /dev/null)
  check "brenvo-pack.exe packs the stripped brenvo.exe" 0 $? "$out" "verified"
  "$bench" new --preset typical win.json > /dev/null
  out=$(BRENVO_MACHINE=win.json wine flasher.exe update --yes 2>&1 < /dev/null)
  check "the packed brenvo-cli.exe flashes a drive" 0 $? "$out" "Firmware has been updated successfully"
  out=$(wine flasher.exe --version 2>&1 < /dev/null); check "brenvo-cli.exe --version" 0 $? "$out" "brenvo-cli $version"
  # The window answers in a message box (written to the error output when unattended), and starts
  # nothing on an option it does not know.
  out=$(BRENVO_UNATTENDED=1 wine window.exe --version 2>&1 < /dev/null)
  check "brenvo.exe --version" 0 $? "$out" "brenvo: information: brenvo $version"
  out=$(BRENVO_MACHINE=win.json BRENVO_UNATTENDED=1 wine window.exe --frob 2>&1 < /dev/null)
  check "brenvo.exe refuses an unknown option" 2 $? "$out" "brenvo: unknown option --frob"
else
  not_run "the zip's 32-bit programs under Wine: packing, --show, a flash, --version, options" 7 \
    "32-bit programs cannot run on this machine ($host32_reason)"
fi
wineserver -k 2> /dev/null

summary
