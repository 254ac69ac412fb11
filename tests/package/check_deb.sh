#!/usr/bin/env bash
# Builds the Debian package with the packager's own script (prefix /usr, the
# machine-wide record folder, hardening flags) and checks what it would put on a
# classroom machine, as a school's admin would: desktop entry, metainfo, lintian,
# licence, changelog, manual.
# Usage: check_deb.sh SOURCE_DIR WORK_DIR
set -u
src=$1
work=$2
. "$(dirname "$0")/checks.sh"

deb=$(set -o pipefail; "$src/scripts/build-deb.sh" "$work" | tail -n 1) || { echo "building the package failed"; exit 1; }
[ -f "$deb" ] || { echo "no package built: $deb"; exit 1; }
contents=$(dpkg-deb -c "$deb")
depends=$(dpkg-deb -f "$deb" Depends)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
app=usr/libexec/contadopo
id=it.contadopo.contadopo

check "link on the PATH" 'grep -q "^l.* ./usr/bin/contadopo -> ../libexec/contadopo/contadopo$" <<<"$contents"'
check "executable in its private folder" 'grep -q "^-rwxr-xr-x .* ./$app/contadopo$" <<<"$contents"'
for path in $app/suoni/Esatto.wav $app/suoni/no.wav usr/share/applications/$id.desktop \
            usr/share/metainfo/$id.metainfo.xml usr/share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/$id.png; do
    check "$path in the package" 'grep -q " ./$path$" <<<"$contents"'
done
check "the record folder shipped empty (postinst makes the files)" \
    'grep -q "^drwxr-xr-x .* ./var/games/contadopo/$" <<<"$contents" && ! grep -q "var/games/contadopo/." <<<"$contents"'
check "nothing setuid or setgid" '! grep -qE "^-..[sS]|^-.....[sS]" <<<"$contents"'

# The desktop entry and metainfo through this machine's own validators, failing on any
# message but the ones named here: newer tools read the same file differently.
desktop=$(desktop-file-validate "$root/usr/share/applications/$id.desktop" 2>&1)
desktop_status=$?
# It exits 0 on warnings and hints; a hint on the categories misplaces the entry in menus.
check "desktop-file-validate: nothing to say: $desktop" '[ $desktop_status -eq 0 ] && [ -z "$desktop" ]'
appstream=$(appstreamcli --version | grep -oE '[0-9]+\.[0-9]+(\.[0-9]+)?' | head -n1)
metainfo=$(appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/$id.metainfo.xml" 2>&1)
metainfo_status=$?
# The project has no public web address yet; <developer> came with AppStream 1.0.
allowed="W: $id:~: url-homepage-missing"
dpkg --compare-versions "$appstream" lt 1.0 && allowed+=$'\n'"I: $id:[0-9]+: unknown-tag developer"
unexpected=$(grep -E '^[EWIP]: ' <<<"$metainfo" | grep -vxE -f <(printf '%s\n' "$allowed"))
# From 1.0 on any warning makes it exit 3.
check "appstreamcli $appstream, status $metainfo_status: no message but the missing homepage: $unexpected" \
    '[ -z "$unexpected" ] && [[ $metainfo_status == [03] ]]'
for dep in libqt6widgets6 libpulse0 qt6-qpa-plugins fonts-liberation2 qt6-translations-l10n; do
    check "depends on $dep" 'grep -q "$dep" <<<"$depends"'
done
check "no Qt Multimedia, FFmpeg or GStreamer" '! grep -qE "multimedia|libav|libsw|gstreamer" <<<"$depends"'
check "postinst and postrm in the package" '[ "$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -cE "postinst|postrm")" = 2 ]'
check "machine-wide record folder compiled in" 'grep -q /var/games/contadopo "$root/$app/contadopo"'
check "postinst names the machine-wide folder" 'grep -q "^dir=\"/var/games/contadopo\"$" "$work/debian/postinst"'

# Lintian as an admin runs it, everything shown. The placeholder maintainer address is
# the one thing allowed: it is the package's contact and signs the changelog.
if command -v lintian >/dev/null; then
    report=$(lintian -EvIL +pedantic "$deb" 2>/dev/null)
    status=$?
    # 1 is lintian's own failure; 2 only says it found errors, judged below.
    check "lintian ran (status $status)" '[ "$status" -eq 0 ] || [ "$status" -eq 2 ]'
    problems=$(grep -E '^[EW]: |^I: .*hardening-no-(relro|bindnow|pie)' <<<"$report" |
               grep -vE '^E: contadopo: bogus-mail-host(-in-debian-changelog)? (Maintainer )?contadopo@localhost( |$)')
    # Newer lintian passes appstreamcli's homepage warning on without saying which it
    # was; let it through only when the metainfo, checked alone, has nothing else.
    if [ -z "$unexpected" ]; then
        problems=$(grep -v '^W: contadopo: appstream-metadata-validation-failed' <<<"$problems")
    fi
    check "lintian: no error or warning but the placeholder address: $problems" '[ -z "$problems" ]'
else
    check "lintian is installed" false
fi

# What an admin looks for first: licence, changelog, manual page.
doc=usr/share/doc/contadopo
check "machine-readable copyright file" 'head -n 1 "$root/$doc/copyright" | grep -q "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$" && grep -q "^License: GPL-3+$" "$root/$doc/copyright"'
check "compressed changelog" 'gzip -t "$root/$doc/changelog.gz"'
zcat "$root/$doc/changelog.gz" >"$root/changelog" 2>/dev/null
check "changelog's latest release is the package's version" '[ "$(dpkg-parsechangelog -l "$root/changelog" -S Version 2>/dev/null)" = "$(dpkg-deb -f "$deb" Version)" ]'
check "same contact in the changelog and the package" '[ "$(dpkg-parsechangelog -l "$root/changelog" -S Maintainer 2>/dev/null)" = "$(dpkg-deb -f "$deb" Maintainer)" ]'
for page in usr/share/man/man6/contadopo.6.gz usr/share/man/en/man6/contadopo.6.gz; do
    check "manual page $page" '[ -f "$root/$page" ]'
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$root/$page" 2>&1 >/dev/null)
    check "man -l renders $page without warnings" '[ -z "$warnings" ]'
    # Wide, so no path is hyphenated. Every file the page points an admin to must be
    # where it says: ours in the package, the others on this machine.
    LC_ALL=C.UTF-8 MANWIDTH=250 man -E UTF-8 -l "$root/$page" >"$root/page.txt" 2>/dev/null
    check "$page tells how to reset the record" 'grep -q "/var/games/contadopo/nsuc000.txt" "$root/page.txt" && grep -q "dpkg-reconfigure contadopo" "$root/page.txt"'
    for path in $(grep -oE '/usr/[[:alnum:]_./-]*[[:alnum:]_]' "$root/page.txt" | sort -u); do
        case $path in
            *contadopo*) check "$page names $path, which the package installs" '[ -e "$root$path" ]' ;;
            *) check "$page names $path, which is on this machine" '[ -e "$path" ]' ;;
        esac
    done
done

# What a script or an admin at a terminal gets: the package's own version and short
# answers, never a core dump, with or without a display.
binary=$root/$app/contadopo
quiet=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
check "--version without a display says the package's version" \
    '[ "$("${quiet[@]}" "$binary" --version)" = "contadopo $(dpkg-deb -f "$deb" Version)" ]'
check "--help answers in Italian, status 0" '"${quiet[@]}" "$binary" --help | grep -q "^Uso: contadopo"'
check "an unknown option gets the usage and status 2" \
    '"${quiet[@]}" "$binary" --nome=Leo 2>"$root/usage" >/dev/null; [ $? -eq 2 ] && grep -q "^Uso: " "$root/usage"'
check "no display: one line and status 1, not a core dump" \
    '"${quiet[@]}" "$binary" 2>"$root/nodisplay" >/dev/null; [ $? -eq 1 ] && [ "$(wc -l <"$root/nodisplay")" = 1 ]'

# Debian's hardening flags reached the binary, and it is stripped.
check "binary built with the stack protector" 'readelf -sW --dyn-syms "$binary" | grep -q __stack_chk_fail'

checks_done
