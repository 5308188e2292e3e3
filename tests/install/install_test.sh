#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# install_test.sh BUILD_DIR GUI(0|1) VERSION
# Installs the build into a scratch prefix and checks the installed tree: exactly the expected
# files, icons of the right sizes, a desktop entry and AppStream data that validate, manual
# pages that render cleanly and document every option, and programs that report the build's
# version from their installed place.
set -euo pipefail
build=$1
gui=$2
version="Pixhaul $3"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

id=example.pixhaul.Pixhaul
sizes=(16 22 24 32 48 64 128 256)
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

expected=(bin/pixhaul-cli share/man/man1/pixhaul-cli.1)
if [[ $gui == 1 ]]; then
  expected+=(bin/pixhaul share/man/man1/pixhaul.1 share/pixhaul/help/help.html
    share/pixhaul/help/load_more.png
    share/applications/$id.desktop share/metainfo/$id.metainfo.xml
    share/icons/hicolor/scalable/apps/$id.svg)
  for s in "${sizes[@]}"; do expected+=(share/icons/hicolor/${s}x${s}/apps/$id.png); done
fi
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$prefix" && find . -type f | sed 's|^\./||' | sort) ||
  fail "installed files differ from the expected list (< expected, > installed)"
for program in "$prefix"/bin/*; do [[ -x $program ]] || fail "$program is not executable"; done

# Both programs report the build's version, without a display.
[[ $("$prefix/bin/pixhaul-cli" --version) == "$version" ]] || fail "pixhaul-cli --version"

# The manual page documents every option --help lists, and renders without warnings.
for option in $("$prefix/bin/pixhaul-cli" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  escaped=${option//-/\\-}  # the page writes each hyphen of an option as \-
  grep -qF -- "$escaped" "$prefix/share/man/man1/pixhaul-cli.1" ||
    fail "pixhaul-cli.1 does not document $option"
done
for page in "$prefix"/share/man/man1/*.1; do
  grep -q '@[A-Z_]*@' "$page" && fail "$page holds an unreplaced @VARIABLE@"
  warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff cannot render $page"
  [[ -z $warnings ]] || fail "$page: $warnings"
done

if [[ $gui == 1 ]]; then
  [[ $("$prefix/bin/pixhaul" --version) == "$version" ]] || fail "pixhaul --version differs"

  desktop=$prefix/share/applications/$id.desktop
  desktop-file-validate "$desktop" || fail "desktop entry does not validate"
  grep -qx 'Exec=pixhaul %u' "$desktop" || fail "desktop entry: Exec"
  grep -qx "Icon=$id" "$desktop" || fail "desktop entry: Icon"

  metainfo=$prefix/share/metainfo/$id.metainfo.xml
  appstreamcli validate --no-net "$metainfo" || fail "AppStream data does not validate"
  grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "AppStream data does not launch the desktop entry"
  newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -1 | cut -d'"' -f2)
  [[ "Pixhaul $newest" == "$version" ]] || fail "newest AppStream release $newest is not $version"

  # Every PNG icon is a square PNG of its folder's size (width and height sit at bytes 16..23).
  for s in "${sizes[@]}"; do
    png=$prefix/share/icons/hicolor/${s}x${s}/apps/$id.png
    [[ $(head -c 8 "$png" | od -An -tx1 | tr -d ' \n') == 89504e470d0a1a0a ]] || fail "$png: not a PNG"
    read -r w h < <(od -An -j16 -N8 -tu1 "$png" |
      awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
    [[ $w == "$s" && $h == "$s" ]] || fail "$png is ${w}x$h"
  done
fi
echo "installed tree is complete and valid"
