#!/usr/bin/env bash
# Installs everything that building, testing and running the engine need on a
# fresh Debian 12 machine (clang for the sanitizer and fuzz builds). Run as
# root (or through sudo).
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
    exec sudo -E bash "$0" "$@"
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends \
    build-essential cmake pkg-config git ca-certificates \
    libgtest-dev \
    liballegro5-dev liballegro-image5-dev liballegro-ttf5-dev \
    liballegro-audio5-dev liballegro-acodec5-dev \
    liblua5.3-dev libxml2-dev libglib2.0-dev zlib1g-dev libtag1-dev \
    xvfb xauth libgl1-mesa-dri fonts-dejavu-core \
    sox libsox-fmt-all vorbis-tools \
    python3 imagemagick xdotool \
    clang-14 libclang-rt-14-dev
