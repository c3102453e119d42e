#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Runs apt-get update only when something is actually missing, so repeated
# builds on a prepared machine cost one dpkg query.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  python3 python3-dev pybind11-dev
  python3-pandas python3-numpy python3-openpyxl python3-pytest python3-hypothesis
  python3-distributed
  python3-pip python3-venv python3-setuptools python3-wheel
  python3-matplotlib python3-jinja2 python3-tqdm chromium fonts-dejavu-core
  libsuitesparse-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
  SUDO=sudo
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
