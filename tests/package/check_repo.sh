#!/usr/bin/env bash
# A lab machine following the school's repository, as the README sets it up: two real
# builds from consecutive commits, the repository made by scripts/build-repo.sh and
# served over http on 127.0.0.1, and for each release a fresh Debian root that adds it,
# installs, is upgraded by unattended-upgrades with the record kept, and purges.
# Usage: tests/package/check_repo.sh [RELEASE...]   (default 12 13; needs root)
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
. "$src/scripts/debian-root.sh"
releases=("$@")
[ $# -gt 0 ] || releases=(12 13)
for r in "${releases[@]}"; do
    debian_root_suite "$r" || { echo "usage: $0 [RELEASE...]   (12, bookworm, 13 or trixie)" >&2; exit 2; }
done
[ "$(id -u)" -eq 0 ] || { echo "check_repo: debootstrap, mount and chroot need root" >&2; exit 1; }
"$src/scripts/setup.sh" releases
"$src/scripts/setup.sh" repo
# A package takes its dependencies from the Qt it was built with: built here, it
# installs on this release and later ones only.
. /etc/os-release
[ "$VERSION_ID" = 12 ] || [[ " ${releases[*]} " != *" 12 "* ]] ||
    { echo "check_repo: packages built on Debian $VERSION_ID do not install on Debian 12" >&2; exit 1; }

. "$(dirname "$0")/checks.sh"
tmp=$(mktemp -d "${TMPDIR:-/var/tmp}/contadopo-repo.XXXXXX")
server=
debian_root_cleanup_extra() {
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    gpgconf --homedir "$tmp/key" --kill gpg-agent 2>/dev/null
    rm -rf "$tmp"
}

# This checkout with what it has not committed yet, then one throwaway commit more:
# two builds whose versions come from consecutive commits, as on the school's server.
clone=$tmp/src
git clone -q --shared --no-checkout "$src" "$clone"
git -C "$clone" checkout -q --detach "$(git -C "$src" rev-parse HEAD)"
copy_checkout "$src" "$clone"
commit() { git -C "$clone" -c user.name=check_repo -c user.email=check_repo@localhost commit -q --allow-empty -m "$1"; }
git -C "$clone" add -A
git -C "$clone" diff --cached --quiet || commit "what the checkout had not committed"
build() { # NAME: the package built from the clone's commit, as $tmp/NAME.deb
    cp "$(set -o pipefail; nice -n 10 "$clone/scripts/build-deb.sh" "$tmp/build" | tail -n 1)" "$tmp/$1.deb"
}
build old
commit "one more"
build new
old_deb=$tmp/old.deb new_deb=$tmp/new.deb
old=$(dpkg-deb -f "$old_deb" Version) new=$(dpkg-deb -f "$new_deb" Version)
phase "two builds ($old, $new)"
check "the next commit's build says its own version, not the last one's" '[ "$new" = "$(sh "$clone/scripts/version.sh")" ]'
check "dpkg sorts the next commit's build ($new) above the last one's ($old)" 'dpkg --compare-versions "$new" gt "$old"'

# The repository over http, as from the school's server.
python3 -c 'import functools as f, http.server as h, sys
s = h.ThreadingHTTPServer(("127.0.0.1", 0), f.partial(h.SimpleHTTPRequestHandler, directory=sys.argv[1]))
print(s.server_address[1], flush=True); s.serve_forever()' "$tmp/repo" >"$tmp/port" 2>/dev/null &
server=$!
for _ in $(seq 50); do [ -s "$tmp/port" ] && break; sleep 0.1; done
url=http://127.0.0.1:$(cat "$tmp/port")/
repo() { "$src/scripts/build-repo.sh" --key-dir "$tmp/key" --url "$url" "$tmp/repo" "$@" >/dev/null; }
# What README.md tells the admin to put on a lab machine for unattended upgrades.
unattended=$(sed -n "/51contadopo .*<<'EOF'/,/^EOF/p" "$src/README.md" | sed '1d;$d')
record=/var/games/contadopo

for r in "${releases[@]}"; do
    debian_root_suite "$r"
    rm -rf "$tmp/repo"/*
    repo "$old_deb"
    debian_root_make
    had_games=$([ -e "$root/var/games" ] && echo yes || echo no)
    install -d "$root/etc/apt/keyrings"
    cp "$tmp/repo/contadopo.asc" "$root/etc/apt/keyrings/"
    cp "$tmp/repo/contadopo.sources" "$root/etc/apt/sources.list.d/"
    echo "$unattended" >"$root/etc/apt/apt.conf.d/51contadopo"
    in_root "apt-get update -q >/tmp/update.log 2>&1 &&
             apt-get install -y -q --no-install-recommends contadopo unattended-upgrades >/tmp/install.log 2>&1" ||
        { tail -n 20 "$root/tmp/update.log" "$root/tmp/install.log"; check "$suite: install from the repository" false; }
    phase "$suite: install from the repository"
    check "$suite: the repository's build installed" '[ "$(chroot "$root" dpkg-query -W -f "\${Version}" contadopo)" = "$old" ]'
    check "$suite: apt trusts the repository without a warning" '! grep -qiE "^W:|^E:|NO_PUBKEY|not signed" "$root/tmp/update.log"'
    printf '57\r\n' >"$root$record/suc000.txt"
    printf 'Maestra Lía\r\n' >"$root$record/nsuc000.txt"

    repo "$new_deb"
    # What the daily timer does on a lab machine: update the lists, then upgrade.
    in_root "apt-get update -q >/tmp/update.log 2>&1 && unattended-upgrade >/tmp/upgrade.log 2>&1" ||
        tail -n 20 "$root/tmp/update.log" "$root/tmp/upgrade.log"
    phase "$suite: unattended upgrade"
    check "$suite: unattended-upgrades went to the newer build" \
        '[ "$(chroot "$root" dpkg-query -W -f "\${Version}" contadopo)" = "$new" ] && [ "$(chroot "$root" env -u DISPLAY contadopo --version)" = "contadopo $new" ]'
    check "$suite: the record outlived the upgrade" \
        '[ "$(cat "$root$record/suc000.txt" "$root$record/nsuc000.txt")" = "$(printf "57\r\nMaestra Lía\r\n")" ]'
    check "$suite: the journal is there for every player" '[ "$(stat -c %a "$root$record/suc000.jnl")" = 666 ]'

    in_root "apt-get purge -y -q contadopo >/tmp/purge.log 2>&1" || tail -n 20 "$root/tmp/purge.log"
    check "$suite: purge leaves nothing of the package" '[ ! -e "$root$record" ] && [ ! -e "$root/usr/libexec/contadopo" ] && ! chroot "$root" dpkg -l contadopo 2>/dev/null | grep -q "^.[^n]"'
    check "$suite: purge leaves /var/games as it found it" '[ "$([ -e "$root/var/games" ] && echo yes || echo no)" = "$had_games" ]'
    debian_root_remove
done

checks_done
