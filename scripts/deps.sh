#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, skipping those already present.
# Usage: scripts/deps.sh [build|package|test]
set -euo pipefail
what=${1:-build}

packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libblkid-dev
  libsystemd-dev qt6-base-dev qt6-multimedia-dev qt6-image-formats-plugins fonts-dejavu-core)
if [ "$what" = package ] || [ "$what" = test ]; then
  # cpack's Debian package: dpkg-shlibdeps finds the dependencies, reading the binaries with file.
  packages+=(dpkg-dev file)
fi
if [ "$what" = test ]; then
  # xvfb and xauth let the desktop program be started and photographed without a screen;
  # the media tools make the real files the end-to-end tests scan; losetup (util-linux)
  # attaches the card images of the device-listing tests, and sfdisk (fdisk) gives
  # one of them a partition table.
  packages+=(xvfb xauth imagemagick ffmpeg sox mtools dosfstools util-linux fdisk)
  # The failing-medium test serves a card image whose bad sectors answer EIO through FUSE.
  packages+=(libfuse3-dev fuse3)
  # The card tests write exFAT cards with mkfs.exfat and exfat-fuse on a loop device.
  packages+=(exfatprogs exfat-fuse)
  # The corpus of the extended-signature test is made with these as well.
  packages+=(lame flac webp libheif-examples libimage-exiftool-perl)
  # The disk-service test runs a private bus (dbus-daemon) with a stand-in for
  # udisks2 written in Python.
  packages+=(dbus-daemon python3 python3-dbus python3-gi)
  # The package test validates the desktop entry and the AppStream metainfo.
  packages+=(desktop-file-utils appstream)
  # The accessibility walk drives the desktop program through at-spi.
  packages+=(at-spi2-core python3-pyatspi)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing missing packages: ${missing[*]}" >&2
  sudo_cmd=()
  if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -q
  "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
