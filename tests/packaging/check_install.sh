#!/usr/bin/env bash
# Unpacks the Debian package built from this build folder into a scratch root and checks it with lintian,
# appstreamcli and systemd-analyze where the machine has them (a warning is a fault, and so is any hardening tag
# lintian -I shows), then starts the installed program and checks that it keeps its files in the user's data
# folder, not beside the executable, and that its man page carries the version it prints.
set -euo pipefail
scratch=$(mktemp -d) pid=
trap 'kill $pid 2>/dev/null || true; rm -rf "$scratch"' EXIT
prefix=$scratch/root/usr units=$scratch/root/usr/lib/systemd/user data=$scratch/home/.local/share/Fetchora
command -v dpkg-deb >/dev/null || { echo "no dpkg-deb"; exit 77; }
(cd "$scratch" && cpack -G DEB --config "$1/CPackConfig.cmake" >/dev/null)
dpkg-deb -x "$scratch"/*.deb "$scratch/root"

for f in bin/fetchora bin/fetchora-trace share/fetchora/bin/banner.bmp share/applications/fetchora.desktop \
         share/icons/hicolor/128x128/apps/fetchora.png share/man/man1/fetchora.1.gz; do
  [ -e "$prefix/$f" ] || { echo "missing after install: $f"; exit 1; }
done
grep -q '^Exec=fetchora$' "$prefix/share/applications/fetchora.desktop"
[ "$(grep -chx 'ExecStart=/usr/bin/fetchora --headless.*\|Restart=on-failure\|RestartPreventExitStatus=2\|Type=notify\|WatchdogSec=[1-9][0-9]*' \
     "$units"/fetchora{,@}.service)" = $'5\n5' ] || { echo "user units:"; cat "$units"/*; exit 1; }
grep -qx 'License: GPL-3+' "$prefix/share/doc/fetchora/copyright" || { echo "copyright:"; cat "$prefix/share/doc/fetchora/copyright"; exit 1; }
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$prefix/share/applications/fetchora.desktop"; fi
if command -v lintian >/dev/null; then
  tags=$(lintian -I --fail-on error,warning "$scratch"/*.deb) && ! grep hardening- <<< "$tags" || { echo "$tags"; exit 1; }
fi
if command -v appstreamcli >/dev/null; then appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml; fi

version=$("$prefix/bin/fetchora" --version)
zcat "$prefix/share/man/man1/fetchora.1.gz" | sed -n 1p | grep -qF "\"Fetchora ${version#fetchora }\"" ||
  { echo "man page: $(zcat "$prefix/share/man/man1/fetchora.1.gz" | sed -n 1p), program: $version"; exit 1; }

export HOME=$scratch/home XDG_DATA_HOME=$scratch/home/.local/share XDG_CONFIG_HOME=$scratch/home/.config
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$scratch/run
mkdir -p "$HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
if command -v systemd-analyze >/dev/null; then  # the units started on the unpacked program, naming its man page
  sed -i "s|=/usr/bin/|=$prefix/bin/|" "$units"/*.service
  out=$(cd "$units" && MANPATH=$prefix/share/man systemd-analyze --user verify fetchora{,@}.service 2>&1) &&
    [ -z "$out" ] || { echo "$out"; exit 1; }
fi
"$prefix/bin/fetchora" & pid=$!
for _ in $(seq 1 100); do [ -e "$data/bin/banner.bmp" ] && break; sleep 0.1; done
kill -TERM $pid 2>/dev/null || true; wait $pid 2>/dev/null || true
[ -e "$data/bin/banner.bmp" ] || { echo "the per-user folder $data was not set up"; ls -laR "$scratch/home" || true; exit 1; }
! ls -A "$prefix/bin" | grep -qv '^fetchora\(-trace\)\?$' || { echo "written beside the program:"; ls -la "$prefix/bin"; exit 1; }
echo "installed files, user units and per-user folder: ok"
