#!/usr/bin/env bash
# Every program's command line: --version, --help on every command, one-line usage errors that
# point to the help, nothing done on an option a program does not know, and brenvo-cli's output
# in a pipe (each step once, written as it happens). Usage: commandline_test.sh BUILD_DIR
set -u
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
cli=$build/cli/brenvo-cli
pack=$build/tools/pack/brenvo-pack
bench=$build/tools/bench/brenvo-bench
window=$build/app/brenvo
shots=$build/tools/screenshots/brenvo-screenshots
version=$(sed -n 's/^project(Brenvo VERSION \([0-9.]*\).*/\1/p' "$here/../CMakeLists.txt")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 0700 "$XDG_RUNTIME_DIR"
source "$here/check.sh"

programs=("$cli" "$pack" "$bench")
[ -x "$window" ] && programs+=("$window" "$shots")
for p in "${programs[@]}"; do
  name=$(basename "$p")
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$p" --version 2>&1)
  check "$name --version" 0 $? "$out" "$name $version"
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$p" --help 2>&1)
  check "$name --help" 0 $? "$out" "usage: $name"
done
# The help answered, nothing else: no window on this computer, no folder named --help.
[ ! -e "$work/--help" ]; check "brenvo-screenshots --help writes nothing" 0 $? "x" "x"

for c in list update package machine; do
  out=$("$cli" $c --help 2>&1); check "brenvo-cli $c --help" 0 $? "$out" "usage: brenvo-cli [--package FILE] $c"
done
out=$("$cli" update --help 2>&1); check "update's help names its options" 0 $? "$out" "--drive N"
out=$("$cli" /QVCHECK --help 2>&1); check "brenvo-cli /QVCHECK --help" 0 $? "$out" "usage: brenvo-cli /QVCHECK N REVISION"
for v in new show key boot firmware; do
  out=$("$bench" $v --help 2>&1); check "brenvo-bench $v --help" 0 $? "$out" "usage: brenvo-bench $v"
done
out=$("$bench" new --help 2>&1); check "new's help lists the presets" 0 $? "$out" "Presets: default"

# usage_error NAME OUTPUT STATUS PATTERN: status 2, one line, the pattern, a pointer to the help.
usage_error() {
  check "$1" 2 "$3" "$2" "$4"
  check "$1: one line pointing to the help" 1 "$(wc -l <<< "$2")" "$2" "--help shows the usage)"
}
out=$("$cli" 2>&1); usage_error "brenvo-cli with no command" "$out" $? "brenvo-cli: no command given"
out=$("$cli" frobnicate 2>&1); usage_error "brenvo-cli unknown command" "$out" $? 'unknown command "frobnicate"'
out=$("$cli" update --frob 2>&1); usage_error "brenvo-cli unknown option" "$out" $? \
  "brenvo-cli: unknown option --frob (brenvo-cli update --help shows the usage)"
out=$("$cli" update --drive x 2>&1); usage_error "brenvo-cli bad --drive" "$out" $? 'not "x"'
out=$("$cli" update --drive 2>&1); usage_error "brenvo-cli --drive without a value" "$out" $? "--drive needs"
out=$("$cli" update --yes --no 2>&1); usage_error "brenvo-cli --yes and --no" "$out" $? "cannot both"
out=$("$cli" list --yes 2>&1); usage_error "brenvo-cli --yes with list" "$out" $? "options of update"
out=$("$cli" list update 2>&1); usage_error "brenvo-cli two commands" "$out" $? "one command at a time"
out=$("$cli" /QVCHECK 1 2>&1); usage_error "brenvo-cli short /QVCHECK" "$out" $? "/QVCHECK takes"
out=$("$pack" 2>&1); usage_error "brenvo-pack with nothing" "$out" $? "brenvo-pack: nothing to do"
out=$("$pack" --frob a b 2>&1); usage_error "brenvo-pack unknown option" "$out" $? "unknown option --frob"
out=$("$pack" --show 2>&1); usage_error "brenvo-pack --show alone" "$out" $? "--show needs"
out=$("$pack" a b 2>&1); usage_error "brenvo-pack two files" "$out" $? "three files"
out=$("$bench" 2>&1); usage_error "brenvo-bench with nothing" "$out" $? "no verb given"
out=$("$bench" make x 2>&1); usage_error "brenvo-bench unknown verb" "$out" $? 'unknown verb "make"'
out=$("$bench" new --frob x.json 2>&1); usage_error "brenvo-bench unknown option" "$out" $? \
  "unknown option --frob (brenvo-bench new --help"
[ ! -e x.json ]; check "the refused verb wrote nothing" 0 $? "x" "x"
out=$("$bench" new 2>&1); usage_error "brenvo-bench new without a file" "$out" $? "new needs the file"
out=$("$bench" show a b 2>&1); usage_error "brenvo-bench show two files" "$out" $? "show reads one bench file"
out=$("$bench" firmware --revision QV12345 x 2>&1); usage_error "brenvo-bench bad firmware" "$out" $? "firmware needs"

"$bench" new --preset typical pc.json > /dev/null
before=$(md5sum pc.json)
out=$(BRENVO_MACHINE=pc.json "$cli" update --no-such-flag 2>&1); check "refused before the machine" 2 $? "$out" "unknown option"
if [ -x "$window" ]; then
  out=$(BRENVO_MACHINE=pc.json QT_QPA_PLATFORM=offscreen BRENVO_UNATTENDED=1 "$window" --frob 2>&1)
  usage_error "brenvo unknown option" "$out" $? "brenvo: unknown option --frob"
  out=$(BRENVO_MACHINE=pc.json QT_QPA_PLATFORM=offscreen BRENVO_UNATTENDED=1 "$window" /QVCHECK 2>&1)
  usage_error "brenvo short /QVCHECK" "$out" $? "/QVCHECK takes a drive index"
  out=$(QT_QPA_PLATFORM=offscreen "$shots" --frob 2>&1)
  usage_error "brenvo-screenshots unknown option" "$out" $? "unknown option --frob"
  [ ! -e "$work/--frob" ]; check "brenvo-screenshots --frob writes nothing" 0 $? "x" "x"
fi
check "refused runs leave the bench untouched" 0 0 "$(md5sum pc.json)" "$before"
if [ -x "$window" ]; then
  # Qt's own options are no options of the window's: refused before the toolkit starts
  # (misuse_text_test.sh tries the ones that load code).
  out=$(BRENVO_MACHINE=pc.json QT_QPA_PLATFORM=offscreen BRENVO_UNATTENDED=1 "$window" -platform offscreen 2>&1)
  usage_error "brenvo -platform offscreen" "$out" $? "unknown option -platform"
fi

# brenvo-cli in a pipe: no progress bar, every line out as it happens (each step once:
# ConsoleViewTest).
qv12_package "$bench"
"$pack" manifest.json "$cli" flasher > /dev/null
BRENVO_MACHINE=pc.json ./flasher update --yes < /dev/null > log.txt 2>&1
check "piped update" 0 $? "$(cat log.txt)" "now QV12"
check "no progress bar in a pipe" 0 "$(grep -c $'\r' log.txt)" "$(cat log.txt)" "Inquiry ..."
# A run that dies leaves the lines it wrote: on a paced clock, kill it while it programs.
"$bench" new --preset typical paced.json > /dev/null
sed -i 's/"mode": "virtual"/"mode": "paced"/' paced.json
BRENVO_MACHINE=paced.json ./flasher update --yes < /dev/null > dying.txt 2>&1 &
pid=$!
for _ in $(seq 50); do grep -q '^Programming' dying.txt 2> /dev/null && break; sleep 0.1; done
kill -9 $pid 2> /dev/null
wait $pid 2> /dev/null
check "a killed run's log holds what it wrote" 0 0 "$(cat dying.txt)" "Updating "

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
