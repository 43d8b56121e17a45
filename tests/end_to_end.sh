# Sourced by the end-to-end scripts (`source tests/end_to_end.sh BUILD_DIR`): the built programs,
# a scratch folder removed when the script ends, and the checks of check.sh.
build=$1
pack=$build/tools/pack/brenvo-pack
bench=$build/tools/bench/brenvo-bench
cli=$build/cli/brenvo-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$(dirname "${BASH_SOURCE[0]}")/check.sh"
