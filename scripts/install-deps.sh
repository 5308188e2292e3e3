#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Copyright (c) 2026 The Pixhaul developers
# Installs the Debian 12 packages the build and the tests need, skipping those already present.
set -euo pipefail
# desktop-file-utils, appstream, groff-base and lintian check the installed tree and the
# package; dpkg-dev (with build-essential) lets CPack find the Debian package's dependencies.
# libpcre2-dev: the address rules' regular expressions; ripgrep: a benchmarks' reference tool.
# libmagic-dev, libstb-dev, libwebp-dev, libxxhash-dev: what a download's body is, its image
# size and its content hash; xxhash: a benchmark's reference tool. libidn2-dev: international
# host names. tinyproxy, microsocks: the real proxies the network tests run through;
# iproute2: the sealed network namespace the plain suite runs in.
packages=(build-essential cmake pkg-config googletest libgtest-dev libgmock-dev
  libssl-dev openssl qt6-base-dev qt6-webengine-dev qt6-svg-dev curl
  dpkg-dev desktop-file-utils appstream groff-base libpcre2-dev ripgrep lintian
  libmagic-dev libstb-dev libwebp-dev libxxhash-dev xxhash libidn2-dev
  tinyproxy microsocks iproute2 util-linux)
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
