#!/usr/bin/env bash
# The Debian package of this build, made as `make package` makes it: its
# name, its control fields (a package for every shared library the programs
# load, from dpkg-shlibdeps), its files, and, extracted into a scratch root,
# programs that run a study from / with the packaged data.
#   package_test.sh BUILD_DIR SOURCE_DIR VERSION MAN COMPLETION GUI
set -uo pipefail
build=$1 source_dir=$2 version=$3 man=$4 completion=$5 gui=$6
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# shellcheck source=installed_tree.sh
source "$(dirname "$0")/installed_tree.sh"

if ! cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack" >&2
  exit 1
fi
deb=$work/out/korvane_${version}_$(dpkg --print-architecture).deb
[[ -f $deb ]] || { echo "FAIL: no $(basename "$deb") in: $(ls "$work/out")" >&2; exit 1; }

field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == korvane ]] || fail "Package: $(field Package)"
[[ $(field Version) == "$version" ]] || fail "Version: $(field Version)"
[[ $(field Maintainer) == "Korvane developers <korvane@example.org>" ]] || fail "Maintainer: $(field Maintainer)"
[[ $(field Description) == *$'\n'*"PLINK"* ]] || fail "the description has no long text"

# The files, as dpkg would unpack them.
listing=$(dpkg-deb -c "$deb" | awk '{ print $NF }')
expect_listed() {
  grep -qxF -- "$1" <<<"$listing" || fail "the package lacks $1"
}
expect_listed ./usr/bin/korvane
expect_listed ./usr/share/korvane/data/README.md
expect_listed ./usr/share/korvane/data/ENr321.8q24.11HaploBlack.txt
expect_listed ./usr/share/doc/korvane/LICENSE
[[ $(grep -c '^\./usr/share/korvane/data/.*\.txt$' <<<"$listing") == 30 ]] || fail "the package has no thirty data files"
[[ $man == ON ]] && expect_listed ./usr/share/man/man1/korvane.1.gz
[[ $completion == ON ]] && expect_listed ./usr/share/bash-completion/completions/korvane
[[ $gui == ON ]] && expect_listed ./usr/bin/korvane-gui
if grep -v '^\./usr/' <<<"$listing" | grep -qv '^\./$'; then
  fail "the package has files outside /usr: $(grep -v '^\./usr/' <<<"$listing" | tr '\n' ' ')"
fi

dpkg-deb -x "$deb" "$work/root" || { echo "FAIL: dpkg-deb -x" >&2; exit 1; }

# Depends names the package of every library a program loads itself.
depends=$(field Depends | tr ',|' '\n\n' | sed -e 's/(.*)//' -e 's/:.*//' -e 's/ //g' | sed '/^$/d' | sort -u)
owner() {  # owner PATH: the package that holds a library, its path as the loader found it
  local path=$1 real candidate
  real=$(readlink -f "$path")
  for candidate in "$path" "$real" "${real#/usr}" "/usr$path"; do
    dpkg-query -S "$candidate" 2>/dev/null | grep -v '^diversion' | head -n 1 | cut -d: -f1 && return
  done
}
for program in "$work"/root/usr/bin/*; do
  libraries=$(ldd "$program")
  for needed in $(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    path=$(awk -v lib="$needed" '$1 == lib && $2 == "=>" { print $3 }' <<<"$libraries")
    [[ -n $path ]] || { fail "$(basename "$program") needs $needed, which is not found"; continue; }
    package=$(owner "$path")
    if [[ -z $package ]]; then
      fail "no package holds $path, which $(basename "$program") needs"
    elif ! grep -qxF "$package" <<<"$depends"; then
      fail "Depends lacks $package ($needed of $(basename "$program")): $(field Depends)"
    fi
  done
  file "$program" | grep -q ', stripped' || fail "$(basename "$program") is not stripped"
done

check_installed "$work/root/usr" "$source_dir" "$version" "$man" "$completion" "$gui"

if ((failures > 0)); then
  echo "$failures checks of the package failed" >&2
  exit 1
fi
echo "package $(basename "$deb"): every check passed"
