#!/usr/bin/env bash
# Installs what building and testing need, from Debian's packages. Packages already present are
# not fetched again, so the script is quick on a prepared machine.
set -euo pipefail
packages=(cmake ninja-build g++ make libgtest-dev libgmock-dev zlib1g-dev clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "--- installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
