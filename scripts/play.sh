#!/usr/bin/env bash
# Installs what is missing, builds the game and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh play
record_dir=/var/games/contadopo
# The shared record folder: root's, 0755, with both files writable by every player.
if [ ! -d "$record_dir" ] || [ ! -f "$record_dir/suc000.txt" ] || [ ! -f "$record_dir/nsuc000.txt" ]; then
    sudo=(); [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" install -d -m 0755 -o root -g root "$record_dir"
    for f in suc000.txt nsuc000.txt; do
        [ -e "$record_dir/$f" ] || "${sudo[@]}" install -m 0666 -o root -g root /dev/null "$record_dir/$f"
    done
fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build -j"$(nproc)"
exec build/contadopo
