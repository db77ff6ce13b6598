#!/usr/bin/env bash
# Installs every Debian 12 package that building, running, testing and packaging need, and the
# de_DE.UTF-8 locale CI runs the tests under (its decimal comma). Idempotent: apt and localedef
# are only called when something is missing. Runs as root, or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev libbenchmark-dev libminizip-dev
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libgl-dev
  libxml2-dev libdeflate-dev
  python3-openpyxl
  fonts-wqy-zenhei fonts-arphic-uming
  xvfb xauth imagemagick poppler-utils openbox xdotool
  clang libclang-rt-14-dev llvm-14
  locales
  dpkg-dev desktop-file-utils appstream man-db lintian
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if ! locale -a | grep -qix 'de_DE.utf-\?8'; then
  echo "Generating the locale de_DE.UTF-8"
  $sudo localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
fi
