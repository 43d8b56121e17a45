#!/usr/bin/env bash
# What the programs are handed cannot act or lie on the screen: the window takes only its own
# options (Qt's -platformpluginpath and the like are usage errors before the toolkit starts) and,
# with root's rights, none of the toolkit's plugin variables; text from a drive, a bench or a
# package reaches the terminal with its control bytes escaped; a package whose checksum leaves its
# options and constraints out says so, once. Usage: misuse_text_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
pack=$build/tools/pack/brenvo-pack
bench=$build/tools/bench/brenvo-bench
cli=$build/cli/brenvo-cli
brenvo=$build/app/brenvo
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen BRENVO_UNATTENDED=1
source "$(dirname "$0")/check.sh"
limit=$((60 * ${BRENVO_TIME_SCALE:-1}))
cd "$work" || exit 1
qv12_package "$bench"
"$pack" manifest.json "$cli" flasher > /dev/null
"$bench" new --preset typical pc.json > /dev/null
machine() { BRENVO_MACHINE=$1 "${@:2}" < /dev/null 2>&1; }
esc=$'\x1b' cr=$'\r'
raw() { LC_ALL=C grep -q "[$esc$cr]" <<< "$1"; }  # the output holds a raw ESC or CR

# 1. The window's command line: its own options, nothing of Qt's. A folder of plugins holds a
# library that, loaded, would leave a file behind.
mkdir -p plugins/platforms
if cc -shared -fPIC -o plugins/platforms/libqevil.so -x c - <<< \
  '#include <fcntl.h>
   __attribute__((constructor)) static void ran(void) { creat("'"$work"'/loaded", 0600); }' 2> /dev/null; then
  :
else
  cp "$bench" plugins/platforms/libqevil.so  # no compiler: any file shows whether it is looked at
fi
# Where strace runs, every file the window looks at is recorded: the plugin folder is never one.
if strace -qq -o /dev/null true 2> /dev/null; then
  # LeakSanitizer cannot work under a tracer (the sanitizer stage runs this script too).
  files() {
    ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 \
      strace -f -qq -e trace=%file -o "$work/files.log" "$@"
  }
  untouched() {  # the program's own arguments (execve) name the folder; nothing else may
    local seen
    seen=$(grep -v 'execve(' files.log | grep -F "$work/plugins" | head -3)
    [ -z "$seen" ]; check "$1: the plugin folder is never looked at" 0 $? "$seen" ""
  }
else
  files() { "$@"; }
  untouched() { not_run "$1: the files looked at" 1 "strace does not run here"; }
fi
for platform in evil offscreen; do
  out=$(machine pc.json files timeout "$limit" "$brenvo" -platformpluginpath "$work/plugins" -platform "$platform")
  check "brenvo -platformpluginpath DIR -platform $platform" 2 $? "$out" "unknown option -platformpluginpath"
  untouched "-platform $platform"
done
[ ! -e loaded ]; check "no plugin was loaded" 0 $? x x
for option in -style -qwindowgeometry -reverse; do
  out=$(machine pc.json timeout "$limit" "$brenvo" "$option" x); check "brenvo $option" 2 $? "$out" "unknown option $option"
done
out=$(machine pc.json timeout "$limit" "$brenvo" --frob); check "brenvo --frob" 2 $? "$out" "brenvo: unknown option --frob"
out=$(machine pc.json timeout "$limit" "$brenvo" /QVCHECK 0 -platform)
check "brenvo /QVCHECK 0 -platform (no firmware: 5)" 5 $? "$out" "No F/W in executable !"
grep -q "platform plugin" <<< "$out"; check "the revision word is no option of Qt's" 1 $? "$out" ""
out=$("$brenvo" --version 2>&1); check "brenvo --version" 0 $? "$out" "brenvo "
out=$("$brenvo" --help 2>&1); check "brenvo --help" 0 $? "$out" "usage: brenvo"

# With root's rights the toolkit's plugin variables are dropped, each named; offscreen is kept.
if [ "$(id -u)" -eq 0 ]; then
  out=$(QT_QPA_PLATFORM_PLUGIN_PATH=$work/plugins QT_PLUGIN_PATH=$work/plugins QT_STYLE_OVERRIDE=evil \
    machine pc.json files timeout "$limit" "$brenvo")
  check "brenvo as root with plugin variables (no firmware: 5)" 5 $? "$out" "No F/W in executable !"
  for variable in QT_QPA_PLATFORM_PLUGIN_PATH QT_PLUGIN_PATH QT_STYLE_OVERRIDE; do
    check "as root $variable is dropped" 0 0 "$out" "with root's rights $variable is not used"
  done
  grep -q "QT_QPA_PLATFORM is" <<< "$out"; check "as root offscreen is kept" 1 $? "$out" ""
  [ ! -e loaded ]; check "no plugin was loaded through a variable" 0 $? x x
  untouched "the plugin variables"
else
  not_run "the window's variables with root's rights" 7 "this run has no root's rights"
fi

# 2. A drive whose vendor and product are terminal controls is listed with them escaped.
"$bench" new --preset typical evil.json > /dev/null
python3 - evil.json << 'PY'
import json, sys
bench = json.load(open(sys.argv[1]))
other = bench["drives"][1]
other["vendor"], other["product"] = "\x1b[31mQV\r", "\x1b[2KDONE \x9b1A"
bench["drives"][0]["heldBy"] = "\x1b[1A\x1b[2KFirmware updated\r"
json.dump(bench, open(sys.argv[1], "w"))
PY
out=$(machine evil.json ./flasher list); check "brenvo-cli list, a drive of controls" 0 $? "$out" '\x1b[31mQV\r\x1b[2KDONE \xc2\x9b1A'
raw "$out"; check "brenvo-cli list shows no raw ESC or CR" 1 $? "$out" ""
out=$(machine evil.json ./flasher update --yes)
check "brenvo-cli update, a holder of controls" 4 $? "$out" 'is in use by another program: \x1b[1A\x1b[2KFirmware updated\r.'
raw "$out"; check "the in-use message shows no raw ESC or CR" 1 $? "$out" ""
out=$("$bench" show evil.json 2>&1); check "brenvo-bench show, a drive of controls" 0 $? "$out" '\x1b[31mQV\r \x1b[2KDONE'
raw "$out"; check "brenvo-bench show shows no raw ESC or CR" 1 $? "$out" ""

# A package's texts: brenvo-pack refuses to write a control into one, and shows any it finds
# escaped.
sed 's/"title": "[^"]*"/"title": "T\\u001b[2J"/' manifest.json > ctl.json
out=$("$pack" ctl.json "$cli" ctl 2>&1); check "brenvo-pack, a title with a control" 1 $? "$out" 'title: "T\x1b[2J" holds a control character'
cp flasher titled
python3 - titled << 'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
at = data.index(b"Firmware Flasher - QV12")
data[at:at + 5] = b"\x1b[2J\r"
open(sys.argv[1], "wb").write(data)
PY
out=$("$pack" --show titled 2>&1)
check "brenvo-pack --show, a title with controls" 1 $? "$out" 'Title:         "\x1b[2J\rare Flasher - QV12'
raw "$out"; check "brenvo-pack --show shows no raw ESC or CR" 1 $? "$out" ""

# 3. A package packed before the checksum covered its options and constraints (no marker) runs as
# before and says so once, at --show and at the start of a run; a package of today says nothing.
cp flasher old
unmarked() {  # unmarked FILE: the package as packed before its checksum had a marker
  python3 - "$1" << 'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
at = data.index(b"PARA_OPT=000101100010011000" + b"7320") + len("PARA_OPT=") + 18
data[at:at + 14] = b"0" * 14
open(sys.argv[1], "wb").write(data)
PY
}
unmarked old
notice="checksum does not cover its options and constraints"
out=$("$pack" --show old 2>&1); check "brenvo-pack --show, no marker" 0 $? "$out" "$notice"
[ "$(grep -c "$notice" <<< "$out")" -eq 1 ]; check "--show says it once" 0 $? "$out" ""
"$bench" new --preset typical old.json > /dev/null
out=$(machine old.json ./old update --yes); check "brenvo-cli run, no marker" 0 $? "$out" "now QV12"
check "the run says it" 0 0 "$out" "brenvo-cli: note: This package's $notice"
[ "$(grep -c "$notice" <<< "$out")" -eq 1 ]; check "the run says it once" 0 $? "$out" ""
# The window, in script mode: said once on its error output, and the package refused as any
# package that waits for Update is.
"$pack" manifest.json "$brenvo" window > /dev/null && cp window old-window
unmarked old-window
out=$(QT_QPA_PLATFORM=offscreen BRENVO_UNATTENDED=1 machine old.json timeout 60 ./old-window)
check "the window, no marker" 4 $? "$out" "$notice"
[ "$(grep -c "$notice" <<< "$out")" -eq 1 ]; check "the window says it once" 0 $? "$out" ""
out=$("$pack" --show flasher 2>&1; machine pc.json ./flasher list
  QT_QPA_PLATFORM=offscreen BRENVO_UNATTENDED=1 machine pc.json timeout 60 ./window)
grep -q "$notice" <<< "$out"; check "a package of today has no notice" 1 $? "$out" ""

summary
