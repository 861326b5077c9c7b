#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need, when any is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ make python3
    qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-qpa-plugins libgl-dev
    libgtest-dev libgmock-dev
    lrzsz poppler-utils fonts-dejavu-core clang-format curl
    dpkg-dev desktop-file-utils hyperfine time xvfb xauth
    clang-14 libclang-rt-14-dev
    libssl-dev openssl
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
fi
