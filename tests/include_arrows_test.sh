#!/usr/bin/env bash
# Every include points down the layers: front-ends use the core, the core uses the seam, and the
# seam knows no core. Fails naming each include that points back up. Usage:
# include_arrows_test.sh SOURCE_DIR
set -u
source_dir=${1:-$(dirname "$0")/..}
source "$(dirname "$0")/check.sh"
cd "$source_dir" || exit 2

# arrow NAME FOLDERS... -- FORBIDDEN_PREFIXES...: no file under FOLDERS includes a header whose
# path starts with one of FORBIDDEN_PREFIXES.
arrow() {
  local name=$1; shift
  local folders=() forbidden=()
  while [ "$1" != -- ]; do folders+=("$1"); shift; done
  shift
  forbidden=("$@")
  local pattern
  pattern="^[[:space:]]*#[[:space:]]*include[[:space:]]*\"($(IFS='|'; echo "${forbidden[*]}"))/"
  local found
  found=$(grep -rnE --include='*.h' --include='*.cpp' --include='*.hpp' "$pattern" "${folders[@]}" \
            | grep -v "$allowed" || true)
  check "$name" 0 "$([ -z "$found" ] && echo 0 || echo 1)" "$found" ""
}
# Tables the emulated drives share with the program as data of the build: their one arrow up.
allowed='^platform/emulated/[A-Za-z]*\.cpp:[0-9]*:#include "package/FlashProfiles\.h"'

arrow "device/ includes no engine/" device -- engine
arrow "the seam includes no core nor front-end" platform -- package engine device directide app dialogs wizard win32 cli tools
arrow "package/ includes no engine/" package -- engine
arrow "the core includes no front-end nor tool" package engine device directide -- app dialogs wizard win32 cli tools
arrow "the front-ends include no tool" app dialogs wizard win32 cli -- tools
arrow "the wizard includes nothing of the main window" wizard -- app
arrow "the main window includes nothing of the wizard" app -- wizard
arrow "common/ includes only common/" common -- package engine device directide platform app dialogs wizard win32 cli tools
summary
