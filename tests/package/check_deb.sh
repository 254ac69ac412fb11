#!/usr/bin/env bash
# Builds the Debian package as a packager would (prefix /usr, the machine-wide record
# folder) and checks what it would put on a classroom machine.
# Usage: check_deb.sh SOURCE_DIR WORK_DIR
set -u
src=$1
work=$2
passed=0
failed=0
check() { if eval "$2"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1"; fi; }

cmake -S "$src" -B "$work" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF >/dev/null || exit 1
cmake --build "$work" -j"$(nproc)" >/dev/null || exit 1
rm -f "$work"/contadopo_*.deb
(cd "$work" && cpack -G DEB >/dev/null) || { echo "cpack failed"; exit 1; }
deb=$(ls "$work"/contadopo_*.deb)
contents=$(dpkg-deb -c "$deb")
depends=$(dpkg-deb -f "$deb" Depends)

check "link on the PATH" 'grep -q "^l.* ./usr/bin/contadopo -> ../lib/contadopo/contadopo$" <<<"$contents"'
check "executable in its private folder" 'grep -q "^-rwxr-xr-x .* ./usr/lib/contadopo/contadopo$" <<<"$contents"'
for cue in Esatto.wav no.wav; do
    check "cue $cue beside it" 'grep -q " ./usr/lib/contadopo/suoni/$cue$" <<<"$contents"'
done
check "desktop entry" 'grep -q " ./usr/share/applications/it.contadopo.contadopo.desktop$" <<<"$contents"'
check "metainfo" 'grep -q " ./usr/share/metainfo/it.contadopo.contadopo.metainfo.xml$" <<<"$contents"'
for size in 16 32 48 64 128 256; do
    check "icon ${size}px" 'grep -q " ./usr/share/icons/hicolor/${size}x${size}/apps/it.contadopo.contadopo.png$" <<<"$contents"'
done
check "no record file shipped (postinst makes them)" '! grep -q "var/games" <<<"$contents"'
check "nothing setuid or setgid" '! grep -qE "^-..[sS]|^-.....[sS]" <<<"$contents"'
for dep in libqt6widgets6 libpulse0 qt6-qpa-plugins fonts-liberation2 qt6-translations-l10n; do
    check "depends on $dep" 'grep -q "$dep" <<<"$depends"'
done
check "no Qt Multimedia, FFmpeg or GStreamer" '! grep -qE "multimedia|libav|libsw|gstreamer" <<<"$depends"'
check "postinst and postrm in the package" '[ "$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -cE "postinst|postrm")" = 2 ]'
check "machine-wide record folder compiled in" 'grep -q /var/games/contadopo "$work/contadopo"'
check "postinst names the machine-wide folder" 'grep -q "^dir=\"/var/games/contadopo\"$" "$work/debian/postinst"'

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
