#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# package_test.sh BUILD_DIR GUI(0|1) PACKAGE_VERSION
# Builds the Debian package with CPack and checks it: its name and version (the newest entry of
# its changelog), its Depends (the shared
# libraries found by dpkg-shlibdeps plus OpenSSL 3, which is opened at run time), that those
# dependencies resolve from the Debian archive as on a system with nothing installed (when apt
# has package lists), and that its files match the install rules. Then it unpacks the package
# into a scratch root with dpkg-deb -x and runs the programs from there: --version, and a
# --list-only run on a saved result page.
set -euo pipefail
build=$1
gui=$2
version=$3
upstream=${version%-*}  # the programs' own version, without the packaging's revision
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

arch=$(dpkg --print-architecture)
(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null)
deb=$work/out/pixhaul_${version}_${arch}.deb
[[ -f $deb ]] || fail "no package named $(basename "$deb"): $(ls "$work/out")"
[[ $(dpkg-deb -f "$deb" Version) == "$version" ]] || fail "Version: $(dpkg-deb -f "$deb" Version)"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
required=(libssl3 libc6 libstdc++6)
[[ $gui == 1 ]] && required+=(libqt6widgets6 libqt6webenginewidgets6 libqt6svg6)
for package in "${required[@]}"; do
  [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] ||
    fail "Depends lacks $package"
done

if compgen -G '/var/lib/apt/lists/*_Packages*' >/dev/null; then
  : >"$work/empty-status"
  apt-get install --simulate --no-install-recommends -o Dir::State::status="$work/empty-status" \
    "$deb" >"$work/simulated" 2>&1 || { cat "$work/simulated"; fail "dependencies do not resolve"; }
  grep -q '^Inst pixhaul ' "$work/simulated" || fail "apt would not install the package"
  echo "dependencies resolve on an empty system: $(grep -c '^Inst ' "$work/simulated") packages"
else
  echo "no apt package lists: dependency resolution not checked"
fi

# The package holds what the install rules install, under /usr.
cmake --install "$build" --prefix "$work/rules" >/dev/null
diff <(cd "$work/rules" && find . -type f | sort) \
  <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./usr|.|' | sort) ||
  fail "package files differ from the install rules (< rules, > package)"

root=$work/root
dpkg-deb -x "$deb" "$root"
zcat "$root/usr/share/doc/pixhaul/changelog.Debian.gz" >"$work/changelog"
newest=$(dpkg-parsechangelog -l "$work/changelog" -S Version)
[[ $newest == "$version" ]] || fail "the changelog's newest entry is $newest, the package $version"
[[ $("$root/usr/bin/pixhaul-cli" --version) == "Pixhaul $upstream" ]] || fail "pixhaul-cli --version"
if [[ $gui == 1 ]]; then
  [[ $("$root/usr/bin/pixhaul" --version) == "Pixhaul $upstream" ]] || fail "pixhaul --version"
fi

# A list-only run from the unpacked program: the folder, both files and the printed list.
printf '<html><body><a imgurl:"http://img.example/a.jpg"><a imgurl:"https://img.example/b/c.png">' \
  >"$work/page.html"
"$root/usr/bin/pixhaul-cli" --list-only --save-dir "$work/pics" "$work/page.html" >"$work/out.txt" 2>"$work/err.txt" ||
  fail "list-only run failed: $(cat "$work/err.txt")"
[[ $(cat "$work/out.txt") == $'http://img.example/a.jpg\nhttps://img.example/b/c.png' ]] ||
  fail "list-only printed: $(cat "$work/out.txt")"
[[ ! -s $work/err.txt ]] || fail "list-only wrote to standard error: $(cat "$work/err.txt")"
[[ $(cat "$work/pics/url_list.txt") == $'http://img.example/a.jpg\r\nhttps://img.example/b/c.png\r' ]] ||
  fail "url_list.txt: $(od -c "$work/pics/url_list.txt" | head)"
[[ -f $work/pics/result_content.txt ]] || fail "no result_content.txt"
echo "package $(basename "$deb") builds, unpacks and runs"
