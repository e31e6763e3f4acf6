#!/usr/bin/env bash
# Installs with apt-get whatever the build, the tests and the program need
# and is missing (Debian 12). A machine that has everything only asks dpkg:
# no root, no network. What is missing is installed as root, through sudo
# for another user when there is sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-base-private-dev libgl-dev libpcre2-dev libutf8proc-dev libgit2-dev
  libgtest-dev libgmock-dev libbenchmark-dev unicode-data ripgrep
  fonts-liberation fonts-dejavu-core fonts-urw-base35 fonts-wqy-microhei fonts-symbola
  xvfb xauth xdotool x11-utils imagemagick libx11-dev libxtst-dev libxdamage-dev
  libqscintilla2-qt6-dev
  xdg-utils desktop-file-utils appstream file strace
  x11-xkb-utils openbox dbus fcitx5 fcitx5-chinese-addons fcitx5-frontend-qt6
  at-spi2-core python3-pyatspi
)

missing=()
for p in "${packages[@]}"; do
  [[ $(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null) == installed ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [[ $(id -u) -ne 0 ]]; then
  if ! command -v sudo >/dev/null; then
    echo "These packages are missing; install them as root:" >&2
    echo "  apt-get install ${missing[*]}" >&2
    exit 1
  fi
  as_root=(sudo)
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
