#!/usr/bin/env bash
# Installs everything that building, testing and running the engine need on a
# fresh Debian 12 machine (clang for the sanitizer and fuzz builds). Run as
# root (or through sudo). Does nothing when every package is installed.
set -euo pipefail

packages=(
    build-essential cmake pkg-config git ca-certificates
    libgtest-dev
    liballegro5-dev liballegro-image5-dev liballegro-ttf5-dev
    liballegro-audio5-dev liballegro-acodec5-dev
    liblua5.3-dev libxml2-dev libglib2.0-dev zlib1g-dev libtag1-dev
    xvfb xauth libgl1-mesa-dri fonts-dejavu-core
    sox libsox-fmt-all vorbis-tools
    python3 imagemagick xdotool
    clang-14 libclang-rt-14-dev
)

installed=$(dpkg-query -W -f='${db:Status-Status}\n' "${packages[@]}" 2>/dev/null | grep -cx installed || true)
if [ "$installed" -eq "${#packages[@]}" ]; then
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    exec sudo -E bash "$0" "$@"
fi

export DEBIAN_FRONTEND=noninteractive
# A freshly booted machine often runs its own package installation first.
# apt-get install can wait for the lock; apt-get update fails at once, so it
# is tried again while the lock is held, for up to ten minutes.
lock_wait=600
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for attempt in $(seq 1 $((lock_wait / 10))); do
    status=0
    apt-get update 2>"$log" || status=$?
    cat "$log" >&2
    [ "$status" -eq 0 ] && break
    if ! grep -q 'Could not get lock' "$log" || [ "$attempt" -eq $((lock_wait / 10)) ]; then
        echo "apt-get update failed (status $status)." >&2
        exit "$status"
    fi
    echo "Another package installation holds the lock; trying again in 10 s." >&2
    sleep 10
done
apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout="$lock_wait" "${packages[@]}"
