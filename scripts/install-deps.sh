#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, skipping those already present.
set -euo pipefail
# libpcre2-dev: the address rules' regular expressions; ripgrep: the extraction benchmark's
# reference tool.
packages=(build-essential cmake pkg-config googletest libgtest-dev libgmock-dev
  libssl-dev openssl qt6-base-dev qt6-webengine-dev curl libpcre2-dev ripgrep)
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
