#!/usr/bin/env bash
# The Debian package unpacked into a scratch root, run by an unprivileged user with a fresh home.
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
scratch=$(mktemp -d "${TMPDIR:-/tmp}/register-package.XXXXXX")
chmod 755 "$scratch"
server=
trap '[ -n "$server" ] && kill $server; chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/cpack" > "$scratch/cpack.log" ||
    { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$(ls "$scratch"/cpack/*.deb)
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "no dependencies from dpkg-shlibdeps"
root="$scratch/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root"/usr/share/applications/*.desktop "$root"/etc/xdg/autostart/*.desktop
[ -f "$root/usr/share/icons/hicolor/scalable/apps/pantrix-register.svg" ] || fail "no icon"
private=$(dirname "$(readlink -f "$root/usr/bin/pantrix-register")")

# The demo program: the windowed program with a scripted user.
cp "$build/bin/register-demo" "$private/"
chmod -R a-w "$root"
listing() { (cd "$root" && find . -printf '%p %m %s %T@\n' -type f -exec sha1sum {} + | sort); }
listing > "$scratch/before"

home="$scratch/home"
user="$home/.local/share/pantrix/register"
windows="$home/.local/share/pantrix/windows"
mkdir -p "$home" "$scratch/run/runtime" "$scratch/cd"
chmod 700 "$scratch/run/runtime"
as=()
if [ "$(id -u)" = 0 ]; then
    as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    chown -R 65534:65534 "$home" "$scratch/run"
fi
run() { (cd "$scratch/run" && "${as[@]}" env -i HOME="$home" PATH=/usr/bin:/bin \
    XDG_RUNTIME_DIR="$scratch/run/runtime" QT_QPA_PLATFORM=offscreen "$@"); }
today=$(date +%-m/%-d/%Y)

# First run: rdate goes to the per-user folder and the windowed program asks (and waits).
status=0
run timeout 4 "$root/usr/bin/pantrix-register" 2> "$scratch/first.log" || status=$?
[ "$status" = 124 ] || { cat "$scratch/first.log"; fail "first run ended with $status, not waiting"; }
[ "$(cat "$user/rdate")" = "$today" ] || fail "first run wrote no rdate in $user"
[ "$(stat -c %a "$user")" = 700 ] || fail "the per-user folder is open to others"

# 1/1/1 restarts the interval silently, without Qt: with no display Qt would abort.
echo -n 1/1/1 > "$user/rdate"
run env QT_QPA_PLATFORM=xcb "$root/usr/bin/pantrix-register" || fail "1/1/1 run failed"
[ "$(cat "$user/rdate")" = "$today" ] || fail "1/1/1 run did not restart the interval"

# A registration over the internet, with the CD named in the user's own drive file.
rm "$user/rdate"
echo D > "$user/drive"
touch "$user/installing" "$scratch/cd/pantrixID"
mkdir -p "$windows/dosdevices"
ln -s "$scratch/cd" "$windows/dosdevices/d:"
[ "$(id -u)" = 0 ] && chown -R 65534:65534 "$home"
python3 "$source/tools/registration_server.py" --port 0 --output "$scratch/registrations" \
    > "$scratch/server.out" 2> "$scratch/server.log" &
server=$!
for _ in $(seq 50); do [ -s "$scratch/server.out" ] && break; sleep 0.1; done
run env REGISTER_SERVER="127.0.0.1:$(head -n 1 "$scratch/server.out")" timeout 120 \
    "$private/register-demo" --pictures "$scratch/run/pictures" > "$scratch/demo.log" 2>&1 ||
    { cat "$scratch/demo.log"; fail "registration"; }
[ -s "$scratch/registrations" ] || fail "the server got no registration"
grep -qx 'Hidden=true' "$home/.config/autostart/pantrix-register.desktop" || fail "autostart not hidden"
[ -f "$windows/MORSELS.REG" ] || fail "no marker file"
[ "$(cat "$user/remindo.flg")" = "Launch Remindo Install" ] || fail "no flag file in $user"
[ -f "$user/oldinfo" ] || fail "no oldinfo in $user"

listing > "$scratch/after"
diff "$scratch/before" "$scratch/after" || fail "the install folder changed"
echo "package test passed"
