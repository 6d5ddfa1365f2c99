#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, only when one is missing.
set -euo pipefail
pkgs=(cmake ninja-build g++ python3 qtbase5-dev libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev libncurses-dev
      libgeographiclib-dev librtklib-dev libqt5serialport5-dev rtklib gpsd-clients socat tmux iproute2)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
