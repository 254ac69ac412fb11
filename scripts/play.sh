#!/usr/bin/env bash
# Installs what is missing, builds the game and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh play
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build -j"$(nproc)"
# The shared record folder, made as the package makes it, when it is not there yet.
record_dir=/var/games/contadopo
if [ ! -f "$record_dir/suc000.txt" ] || [ ! -f "$record_dir/nsuc000.txt" ] || [ ! -f "$record_dir/suc000.jnl" ]; then
    sudo=(); [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" sh build/debian/postinst configure
fi
exec build/contadopo
