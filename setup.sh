#!/usr/bin/env bash
# Installs what Tavrin needs on Debian and builds it.
#   ./setup.sh              packages + release build in build/
#   ./setup.sh --sanitize   packages + ASan/UBSan build in build-asan/
#   ./setup.sh --no-install skip apt-get (packages already there)
set -euo pipefail
cd "$(dirname "$0")"

packages=(
  cmake g++ ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libiscsi-dev libfmt-dev libcli11-dev libinih-dev nlohmann-json3-dev qt6-base-dev
  # used by tests only: the iSCSI peer and the independent image readers
  tgt xorriso genisoimage p7zip-full libarchive-tools libcdio-utils attr python3
  # the desktop application's Chinese texts
  fonts-noto-cjk
)

install=1 dir=build extra=()
for arg in "$@"; do
  case $arg in
    --sanitize) dir=build-asan; extra+=(-DTAVRIN_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug) ;;
    --no-install) install=0 ;;
    *) echo "usage: $0 [--sanitize] [--no-install]" >&2; exit 2 ;;
  esac
done

if [ "$install" = 1 ]; then
  sudo=(); [ "$(id -u)" = 0 ] || sudo=(sudo)
  missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
  fi
fi

cmake -S . -B "$dir" -G Ninja -DTAVRIN_WERROR=ON "${extra[@]}"
cmake --build "$dir" -j "$(nproc)"
