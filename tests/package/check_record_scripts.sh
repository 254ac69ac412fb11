#!/usr/bin/env bash
# The package's postinst and postrm, run for real on this build's own record folder.
# Usage: check_record_scripts.sh BUILD_DIR RECORD_DIR
set -u
build=$1
dir=$2
. "$(dirname "$0")/checks.sh"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(fakeroot)
run() { "${as_root[@]}" sh "$build/debian/$1" "$2"; }

case "$dir" in /var/games/*) echo "refusing to touch the machine's record folder $dir"; exit 1 ;; esac
rm -rf "$dir"

run postinst configure
check "postinst makes the folder 0755" '[ "$(stat -c %a "$dir")" = 755 ]'
for f in suc000.txt nsuc000.txt suc000.jnl; do
    check "postinst makes $f empty, 0666" '[ -f "$dir/$f" ] && [ ! -s "$dir/$f" ] && [ "$(stat -c %a "$dir/$f")" = 666 ]'
done

printf '12\r\n' > "$dir/suc000.txt"
printf 'entry' > "$dir/suc000.jnl"
chmod 0644 "$dir/nsuc000.txt"
run postinst configure
check "an upgrade keeps the record" '[ "$(cat "$dir/suc000.txt")" = "$(printf "12\r")" ]'
check "an upgrade keeps the journal of a save cut short" '[ "$(cat "$dir/suc000.jnl")" = entry ]'
check "an upgrade keeps the modes it finds" '[ "$(stat -c %a "$dir/nsuc000.txt")" = 644 ]'

rm "$dir/suc000.jnl"
run postinst configure
check "an upgrade from before the journal adds it, 0666" '[ -f "$dir/suc000.jnl" ] && [ "$(stat -c %a "$dir/suc000.jnl")" = 666 ]'

rm "$dir/nsuc000.txt"
ln -s /etc/passwd "$dir/nsuc000.txt"
run postinst configure
check "postinst leaves a planted link alone" '[ -L "$dir/nsuc000.txt" ] && [ "$(readlink "$dir/nsuc000.txt")" = /etc/passwd ]'
rm "$dir/nsuc000.txt"

run postrm remove
check "removal keeps the record" '[ -s "$dir/suc000.txt" ]'
run postrm purge
check "purge takes the record away" '[ ! -e "$dir" ]'

run postinst configure
checks_done
