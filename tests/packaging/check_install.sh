#!/usr/bin/env bash
# Unpacks the Debian package built from this build folder into a scratch root,
# checks the files, then starts the installed program and checks that it keeps
# its files in the user's data folder, not beside the executable.
set -euo pipefail
build=$1
scratch=$(mktemp -d)
trap 'kill $pid 2>/dev/null || true; rm -rf "$scratch"' EXIT
pid=
prefix=$scratch/root/usr
command -v dpkg-deb >/dev/null || { echo "no dpkg-deb"; exit 77; }
(cd "$scratch" && cpack -G DEB --config "$build/CPackConfig.cmake" >/dev/null)
dpkg-deb -f "$scratch"/*.deb Package Version Depends
dpkg-deb -x "$scratch"/*.deb "$scratch/root"

for f in bin/fetchora bin/fetchora-trace share/fetchora/bin/banner.bmp share/applications/fetchora.desktop \
         share/icons/hicolor/128x128/apps/fetchora.png share/man/man1/fetchora.1.gz share/doc/fetchora/copyright \
         lib/systemd/user/fetchora.service lib/systemd/user/fetchora@.service; do
  [ -e "$prefix/$f" ] || { echo "missing after install: $f"; exit 1; }
done
grep -q '^Exec=fetchora$' "$prefix/share/applications/fetchora.desktop"
grep -q '^ExecStart=/usr/bin/fetchora --headless' "$prefix/lib/systemd/user/fetchora.service"
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$prefix/share/applications/fetchora.desktop"; fi
# What a Debian user and a software centre would check; warnings count as faults.
if command -v lintian >/dev/null; then lintian --fail-on error,warning "$scratch"/*.deb; fi
if command -v appstreamcli >/dev/null; then appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml; fi

export HOME=$scratch/home XDG_DATA_HOME=$scratch/home/.local/share XDG_CONFIG_HOME=$scratch/home/.config
export QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME"
"$prefix/bin/fetchora" & pid=$!
data=$XDG_DATA_HOME/Fetchora
for _ in $(seq 1 100); do [ -e "$data/bin/banner.bmp" ] && break; sleep 0.1; done
kill -TERM $pid 2>/dev/null || true; wait $pid 2>/dev/null || true
[ -e "$data/bin/banner.bmp" ] || { echo "the per-user folder $data was not set up"; ls -laR "$scratch/home" || true; exit 1; }
if ls -A "$prefix/bin" | grep -qv '^fetchora\(-trace\)\?$'; then
  echo "the program wrote beside its installed executable:"; ls -la "$prefix/bin"; exit 1
fi
echo "installed files and per-user folder: ok"
