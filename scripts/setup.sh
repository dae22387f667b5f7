#!/usr/bin/env bash
# Installs every Debian package the project needs. Safe to run again: it only
# calls apt-get when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libpugixml-dev libcurl4-openssl-dev libsqlite3-dev libcpp-httplib-dev sqlite3
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  rapidjson-dev nlohmann-json3-dev libssl-dev
  openssl ca-certificates
  clang libclang-rt-14-dev clang-format
  locales
  qt6-base-dev libgl-dev fonts-wqy-microhei libcli11-dev
  poppler-utils cups-client
  fonts-dejavu-core
  postgresql libpq-dev
  doxygen
  debhelper fakeroot help2man lintian
  qt6-pdf-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
