#!/usr/bin/env bash
# Starts the assistant on a demo setup of its own: a fresh program directory and Windows
# directory in a temporary folder, a REGISTER.INI of sensible values, a product CD with the
# free gift, and a local registration server that the assistant registers with over HTTPS.
#
# With a display, the assistant opens for a person to use. Without one, a scripted user plays
# a whole registration on Qt's offscreen platform, saves a picture of every window and shows
# what was delivered. DEMO_METHOD=internet|mail|fax|modem picks the way it registers.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
demo=$(mktemp -d "${TMPDIR:-/tmp}/register-demo.XXXXXX")
program="$demo/program"
windows="$demo/windows"
cd_root="$demo/cd"
mkdir -p "$program" "$windows/dosdevices" "$cd_root/GIFT"

cp "$build/bin/register" "$build/bin/register-ui" "$build/bin/register-demo" "$build/bin/ROBJECTS.DAT" \
    "$build/bin/p_servic.z_t" "$build/bin/p_direct.z_t" "$program/"

cat > "$windows/REGISTER.INI" <<'INI'
[product]
ProductName=Pantrix Morsels
Installed=1

[modem]
ComPort=1

[user]
Mode=Tone
INI
printf '[windows]\r\nrun=%s %s\r\n' "$program/REGISTER" "/opt/clock/CLOCK.EXE" > "$windows/WIN.INI"

# The product CD in drive D, with the free gift's installer.
echo "D" > "$program/drive"
touch "$cd_root/pantrixID"
cat > "$cd_root/GIFT/SETUP.EXE" <<SETUP
#!/bin/sh
echo "Remindo installed \$(date)" > "$demo/remindo-installed.txt"
SETUP
chmod +x "$cd_root/GIFT/SETUP.EXE"
ln -s "$cd_root" "$windows/dosdevices/d:"

# A modem on COM1: the simulator answers AT commands and hands a connection to lrzsz's rb,
# which stores what it receives.
mkdir -p "$demo/modem-received"
"$build/bin/modemsim" --link "$windows/dosdevices/com1" --log "$demo/modem-commands.log" \
    --receive-dir "$demo/modem-received" --receiver-log "$demo/rb.log" --guard-ms 200 \
    > "$demo/modemsim.out" 2> "$demo/modemsim.log" &
modemsim=$!

# The maker's side: a registration server on a free port of this machine, over HTTPS with a
# certificate from a certificate authority made for this demo run alone. The assistant trusts
# that authority through SSL_CERT_FILE, as it trusts the maker's real one through the system's
# trust store.
registrations="$demo/registrations.jsonl"
"$root/tools/make_certificates.sh" "$demo/tls"
python3 "$root/tools/registration_server.py" --port 0 --output "$registrations" \
    --tls-cert "$demo/tls/server.pem" --tls-key "$demo/tls/server.key" \
    > "$demo/server.out" 2> "$demo/server.log" &
server=$!
trap 'kill $server $modemsim 2>/dev/null || true' EXIT
for _ in $(seq 50); do
    [ -s "$demo/server.out" ] && [ -s "$demo/modemsim.out" ] && break
    sleep 0.1
done
port=$(head -n 1 "$demo/server.out")

export WINDIR="$windows"
# The user's autostart entry that a registration hides goes to the demo folder too.
export XDG_CONFIG_HOME="$demo/config"
export REGISTER_SERVER="https://localhost:$port"
export SSL_CERT_FILE="$demo/tls/ca.pem"
echo "Demo program directory: $program"
echo "Demo Windows directory: $windows"
echo "Registration server:    $REGISTER_SERVER (registrations go to $registrations)"
echo "Trusted for HTTPS:      the demo's own certificate authority, $SSL_CERT_FILE"
echo "Modem on COM1:          $(head -n 1 "$demo/modemsim.out") (what it receives goes to $demo/modem-received)"

status=0
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    "$program/register" || status=$?
else
    echo "No display: a scripted user registers on Qt's offscreen platform."
    QT_QPA_PLATFORM=offscreen "$program/register-demo" --pictures "$demo/pictures" \
        --method "${DEMO_METHOD:-internet}" --pdf "$demo/registration.pdf" || status=$?
fi
echo "The assistant ended with exit code $status."
echo
echo "What was delivered:"
[ -s "$registrations" ] && echo "  to the registration server: $(cat "$registrations")"
[ -s "$demo/registration.pdf" ] && echo "  a printed page: $demo/registration.pdf"
[ -s "$demo/modem-received/oldinfo" ] && echo "  by modem: $demo/modem-received/oldinfo (the modem heard: $(tr '\n' ' ' < "$demo/modem-commands.log"))"
echo "Information file $program/oldinfo:"
[ -f "$program/oldinfo" ] && tr -d '\r' < "$program/oldinfo" | iconv -f WINDOWS-1252 -t UTF-8 | sed 's/^/  | /'
echo
[ -f "$demo/remindo-installed.txt" ] && echo "The free gift's installer ran: $(cat "$demo/remindo-installed.txt")"
[ -f "$windows/MORSELS.REG" ] && echo "Marker file: $windows/MORSELS.REG"
echo "WIN.INI run= is now: $(grep -a '^run=' "$windows/WIN.INI" | tr -d '\r')"
autostart="$XDG_CONFIG_HOME/autostart/pantrix-register.desktop"
[ -f "$autostart" ] && echo "Autostart entry switched off for this user: $autostart"
exit "$status"
