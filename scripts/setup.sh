#!/usr/bin/env bash
# Installs the Debian packages the build needs (when missing), then configures and builds.
# usage: scripts/setup.sh BUILD_DIR [extra cmake arguments]
set -euo pipefail

PACKAGES=(
    build-essential cmake ninja-build pkg-config git
    clang libclang-rt-14-dev
    qt6-base-dev libgl-dev
    libplist-dev libtinyxml2-dev libsqlite3-dev sqlite3 libheif-dev
    libssl-dev  # libcrypto: the keys and ciphers of encrypted backups
    # the sample generator's pictures and the tests that read them back
    libjpeg-dev libpng-dev libtiff-dev libgif-dev libexif-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    locales  # locale sources: tests build an 8-bit locale with localedef into their own folder
    qt6-svg-dev qt6-image-formats-plugins fonts-liberation fonts-dejavu-core
    # Chinese, Japanese and Korean device and file names: the smallest font with Han, kana and
    # every Hangul syllable.
    fonts-wqy-microhei
)

install_missing_packages() {
    local missing=()
    for package in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}"
}

build_dir=${1:?usage: scripts/setup.sh BUILD_DIR [cmake arguments]}
shift
source_dir=$(cd "$(dirname "$0")/.." && pwd)

install_missing_packages
cmake -S "$source_dir" -B "$build_dir" -G Ninja "$@" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"
