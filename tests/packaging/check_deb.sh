#!/usr/bin/env bash
# Builds the Debian package and checks what it holds.
set -euo pipefail
build=$1
command -v dpkg-deb >/dev/null || { echo "dpkg-deb not found: skipped"; exit 0; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" >/dev/null)
deb=$(ls "$scratch"/*.deb)
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/fetchora ./usr/bin/fetchora-trace ./usr/share/applications/fetchora.desktop \
         ./usr/share/fetchora/bin/banner.bmp; do
  grep -q " $f\$" <<<"$contents" || { echo "package lacks $f"; echo "$contents"; exit 1; }
done
dpkg-deb -f "$deb" Package Version Depends
echo "debian package: ok ($(basename "$deb"))"
