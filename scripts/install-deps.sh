#!/usr/bin/env bash
# Installs the Debian packages the station needs to build, test and run.
# Idempotent and quiet when everything is already there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  qt6-base-dev libgl-dev
  fonts-wqy-microhei xvfb xauth
  chromium chromium-driver
  clang libclang-rt-dev
  python3 python3-prometheus-client curl
  libcpp-httplib-dev nlohmann-json3-dev
  libcli11-dev systemd desktop-file-utils
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then sudo=sudo; else sudo=; fi
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
