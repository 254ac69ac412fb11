#!/usr/bin/env bash
# Builds the school's apt repository: a signed flat repository in one folder, for any
# web server to serve, with what a lab machine needs to follow it.
# Usage: scripts/build-repo.sh [--url URL] [--key-dir DIR] REPO_DIR [PACKAGE.deb...]
#   The packages are added to REPO_DIR (made when missing), then everything there is
#   indexed and signed again. URL is where lab machines find REPO_DIR (written into
#   contadopo.sources; default http://<this host's name>/contadopo/). The signing key
#   is made on first use in DIR (default ~/.config/contadopo/repo-key), outside the
#   tree: keep it, or lab machines refuse the next signature.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
url=
key_dir=${CONTADOPO_REPO_KEY:-${XDG_CONFIG_HOME:-$HOME/.config}/contadopo/repo-key}
usage="usage: $0 [--url URL] [--key-dir DIR] REPO_DIR [PACKAGE.deb...]"
while [ $# -gt 0 ]; do
    case $1 in
        --url) url=${2:?$usage}; shift 2 ;;
        --key-dir) key_dir=${2:?$usage}; shift 2 ;;
        -*) echo "$usage" >&2; exit 2 ;;
        *) break ;;
    esac
done
[ $# -ge 1 ] || { echo "$usage" >&2; exit 2; }
repo=$1
shift
url=${url:-http://$(hostname -f 2>/dev/null || hostname)/contadopo/}
command -v apt-ftparchive >/dev/null && command -v gpg >/dev/null || "$src/scripts/setup.sh" repo

# What unattended-upgrades matches on a lab machine (the README's Origins-Pattern).
origin=Contadopo
label=Contadopo

gpg=(gpg --homedir "$key_dir" --batch --quiet)
if [ ! -d "$key_dir" ]; then
    install -d -m 0700 "$key_dir"
fi
if ! "${gpg[@]}" --list-secret-keys 2>/dev/null | grep -q .; then
    echo "build-repo: making the signing key in $key_dir (keep it: lab machines trust only this one)"
    "${gpg[@]}" --passphrase '' --quick-gen-key "Contadopo repository ($(hostname)) <contadopo@localhost>" ed25519 sign never
fi
fingerprint=$("${gpg[@]}" --with-colons --list-secret-keys | awk -F: '$1 == "fpr" { print $10; exit }')

mkdir -p "$repo"
for deb in "$@"; do
    [ "$(dpkg-deb -f "$deb" Package 2>/dev/null)" = contadopo ] || { echo "build-repo: not a contadopo package: $deb" >&2; exit 1; }
    cp "$deb" "$repo/"
done
cd "$repo"
ls ./*.deb >/dev/null 2>&1 || { echo "build-repo: no package in $repo" >&2; exit 1; }

# The indexes first, then the Release that sums them, then its signatures; each
# replaced whole, so a lab machine updating meanwhile never reads half a file.
apt-ftparchive packages . >Packages.new
gzip -9n <Packages.new >Packages.gz.new
mv Packages.new Packages
mv Packages.gz.new Packages.gz
apt-ftparchive -o APT::FTPArchive::Release::Origin="$origin" -o APT::FTPArchive::Release::Label="$label" \
    -o APT::FTPArchive::Release::Suite=contadopo -o APT::FTPArchive::Release::Codename=contadopo \
    -o APT::FTPArchive::Release::Description="Contadopo for this school's machines" \
    release . >Release.new
"${gpg[@]}" --yes --local-user "$fingerprint" --digest-algo SHA512 --clearsign -o InRelease.new Release.new
"${gpg[@]}" --yes --local-user "$fingerprint" --digest-algo SHA512 --armor --detach-sign -o Release.gpg.new Release.new
mv Release.new Release
mv InRelease.new InRelease
mv Release.gpg.new Release.gpg

# What a lab machine takes: the key, and the source that names it.
"${gpg[@]}" --armor --export "$fingerprint" >contadopo.asc
cat >contadopo.sources <<EOF
Types: deb
URIs: $url
Suites: ./
Signed-By: /etc/apt/keyrings/contadopo.asc
EOF
echo "build-repo: $(grep -c '^Package:' Packages) package(s) in $PWD, signed by $fingerprint"
grep '^Version:' Packages | sed 's/^/  /'
