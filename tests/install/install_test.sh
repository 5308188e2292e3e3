#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# install_test.sh BUILD_DIR GUI(0|1) VERSION
# Installs the build into a scratch prefix and checks the installed tree: exactly the expected
# files, icons of the right sizes, a desktop entry and AppStream data that validate, compressed
# manual pages that render cleanly and document every option, a copyright file that carries the
# project's licence, and programs that report the build's version from their installed place.
set -euo pipefail
build=$1
gui=$2
version="Pixhaul $3"
source=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

id=example.pixhaul.Pixhaul
sizes=(16 22 24 32 48 64 128 256)
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

doc=share/doc/pixhaul
expected=(bin/pixhaul-cli share/man/man1/pixhaul-cli.1.gz $doc/copyright $doc/changelog.Debian.gz
  share/lintian/overrides/pixhaul)
if [[ $gui == 1 ]]; then
  expected+=(bin/pixhaul share/man/man1/pixhaul.1.gz share/pixhaul/help/help.html
    share/pixhaul/help/load_more.png share/pixhaul/help/window.png
    share/applications/$id.desktop share/metainfo/$id.metainfo.xml
    share/icons/hicolor/scalable/apps/$id.svg)
  for s in "${sizes[@]}"; do expected+=(share/icons/hicolor/${s}x${s}/apps/$id.png); done
fi
diff <(printf '%s\n' "${expected[@]}" | sort) <(cd "$prefix" && find . -type f | sed 's|^\./||' | sort) ||
  fail "installed files differ from the expected list (< expected, > installed)"
for program in "$prefix"/bin/*; do [[ -x $program ]] || fail "$program is not executable"; done
# Files 0644, folders 0755 (programs 0755), whatever the umask of the build.
wrong=$(cd "$prefix" && find . \( -type d ! -perm 755 \) -o \( -type f ! -path './bin/*' ! -perm 644 \) \
  -o \( -type f -path './bin/*' ! -perm 755 \))
[[ -z $wrong ]] || fail "wrong permissions: $wrong"

# Both programs report the build's version, without a display.
[[ $("$prefix/bin/pixhaul-cli" --version) == "$version" ]] || fail "pixhaul-cli --version"

# Each manual page is compressed as Debian ships them (gzip -9, no name or time stored),
# documents every option its program's --help lists, and renders without warnings.
pages=("$prefix"/share/man/man1/*)
[[ ${#pages[@]} == $(ls "$prefix/bin" | wc -l) ]] || fail "not one manual page per program: ${pages[*]}"
for page in "${pages[@]}"; do
  [[ $page == *.1.gz ]] || fail "$page is not a compressed section 1 page"
  # gzip's header: flags byte 3 without FNAME (8), modification time (bytes 4..7) zero, and
  # extra flags (byte 8) 2 for the best compression.
  [[ $(od -An -tu1 -j3 -N6 "$page" | tr -s ' ' | sed 's/^ //') == "0 0 0 0 0 2" ]] ||
    fail "$page is not compressed with gzip -9n"
  text=$(zcat "$page")
  grep -q '@[A-Z_]*@' <<<"$text" && fail "$page holds an unreplaced @VARIABLE@"
  warnings=$(groff -man -ww -z <<<"$text" 2>&1) || fail "groff cannot render $page"
  [[ -z $warnings ]] || fail "$page: $warnings"
  program=$prefix/bin/$(basename "$page" .1.gz)
  for option in $("$program" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    escaped=${option//-/\\-}  # the page writes each hyphen of an option as \-
    grep -qF -- "$escaped" <<<"$text" || fail "$(basename "$page") does not document $option"
  done
done

# The copyright file is machine-readable, gives the project's licence for every file with the
# text of LICENSE, and names the licences of the libraries the programs link.
copyright=$prefix/$doc/copyright
head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "copyright: not in the machine-readable format"
license=$(awk '/^Files: \*$/ {f = 1} f && /^License:/ {print $2; exit}' "$copyright")
[[ $license == MIT ]] || fail "copyright: Files: * is licensed '$license'"
diff <(sed -n '5,$p' "$source/LICENSE") \
  <(awk '/^License: MIT$/ {f++; next} f == 2 && /^$/ {exit} f == 2' "$copyright" |
    sed -e 's/^ //' -e 's/^\.$//') || fail "copyright: the MIT text differs from LICENSE"
for library in 'Qt 6.*LGPL-3' 'OpenSSL 3: Apache-2.0' 'PCRE2: BSD-3-Clause'; do
  grep -q "$library" "$copyright" || fail "copyright does not name $library"
done
for name in LGPL-3 Apache-2.0 BSD-3-Clause; do
  grep -qx "License: $name" "$copyright" || fail "copyright has no $name paragraph"
done

if [[ $gui == 1 ]]; then
  [[ $("$prefix/bin/pixhaul" --version) == "$version" ]] || fail "pixhaul --version differs"

  desktop=$prefix/share/applications/$id.desktop
  desktop-file-validate "$desktop" || fail "desktop entry does not validate"
  grep -qx 'Exec=pixhaul %u' "$desktop" || fail "desktop entry: Exec"
  grep -qx "Icon=$id" "$desktop" || fail "desktop entry: Icon"

  metainfo=$prefix/share/metainfo/$id.metainfo.xml
  appstreamcli validate --no-net "$metainfo" || fail "AppStream data does not validate"
  grep -q "<project_license>$license</project_license>" "$metainfo" ||
    fail "AppStream data does not give the licence $license"
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
