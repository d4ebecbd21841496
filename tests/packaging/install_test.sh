#!/usr/bin/env bash
# `cmake --install BUILD --prefix P` gives a tree that works on its own: the
# programs, the data, the documents, the manual page and the completion, a
# study run from / with P's data, and the same after P is moved elsewhere.
#   install_test.sh BUILD_DIR SOURCE_DIR VERSION MAN COMPLETION GUI
set -uo pipefail
build=$1 source_dir=$2 version=$3 man=$4 completion=$5 gui=$6
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# shellcheck source=installed_tree.sh
source "$(dirname "$0")/installed_tree.sh"

if ! cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  echo "FAIL: cmake --install" >&2
  exit 1
fi
check_installed "$work/prefix" "$source_dir" "$version" "$man" "$completion" "$gui"

# The tree does not depend on where it was installed.
mv "$work/prefix" "$work/moved"
check_study "$work/moved"

if ((failures > 0)); then
  echo "$failures checks of the installed tree failed" >&2
  exit 1
fi
echo "installed tree: every check passed"
