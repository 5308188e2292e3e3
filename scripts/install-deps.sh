#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# Installs the Debian 12 packages the build and the tests need, skipping those already present.
set -euo pipefail
# desktop-file-utils, appstream, groff-base and lintian check the installed tree and the
# package; dpkg-dev (with build-essential) lets CPack find the Debian package's dependencies.
# libpcre2-dev: the address rules' regular expressions; ripgrep: a benchmarks' reference tool.
packages=(build-essential cmake pkg-config googletest libgtest-dev libgmock-dev
  libssl-dev openssl qt6-base-dev qt6-webengine-dev qt6-svg-dev curl
  dpkg-dev desktop-file-utils appstream groff-base libpcre2-dev ripgrep lintian)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
