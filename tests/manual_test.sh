#!/usr/bin/env bash
# brenvo-cli's manual page and bash completion follow its --help: every option the program's usage
# names (of the program, and of each command) is in the manual page, and the completion offers it
# for that command. Usage: manual_test.sh BUILD_DIR
set -u
cli=$1/cli/brenvo-cli
data=$(cd "$(dirname "$0")/../data" && pwd)
source "$(dirname "$0")/check.sh"
manual=$(sed 's/\\-/-/g' "$data/man/brenvo-cli.1")
completion=$data/completion/brenvo-cli
# What the completion offers after WORDS (the words typed, the last one being completed).
offered() {
  bash -c 'source "$1"; shift
    _init_completion() { cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
      words=("${COMP_WORDS[@]}") cword=$COMP_CWORD; }
    _filedir() { :; }
    COMP_WORDS=(brenvo-cli "$@" "") COMP_CWORD=$(($# + 1))
    _brenvo_cli; printf "%s\n" "${COMPREPLY[@]}"' sh "$completion" "$@"
}
options() { grep -oE '(^|[ ,[|])--[a-z][a-z-]*' | grep -oE -- '--[a-z-]+' | sort -u; }

for command in "" list update package machine history; do
  usage=$("$cli" $command --help 2>&1)
  [ -n "$usage" ]; check "brenvo-cli $command --help says something" 0 $? "$usage" ""
  given=$(offered $command)
  for option in $(options <<< "$usage"); do
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<< "$manual"
    check "the manual page names $option" 0 $? "" ""
    # The global --package and --help are offered for every command, the rest for theirs.
    [ -z "$command" ] && [ "$option" != --package ] && [ "$option" != --help ] &&
      [ "$option" != --version ] && continue
    grep -qx -- "$option" <<< "$given"
    check "completion offers $option after '${command:-brenvo-cli}'" 0 $? "$given" ""
  done
done
summary
