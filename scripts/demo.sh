#!/usr/bin/env bash
# Starts the assistant on a demo setup of its own: a fresh program directory and Windows
# directory in a temporary folder, with a REGISTER.INI of sensible values.
set -euo pipefail

build=${1:-build}
demo=$(mktemp -d "${TMPDIR:-/tmp}/register-demo.XXXXXX")
program="$demo/program"
windows="$demo/windows"
mkdir -p "$program" "$windows/dosdevices"

cp "$build/bin/register" "$build/bin/ROBJECTS.DAT" "$build/bin/p_servic.z_t" \
    "$build/bin/p_direct.z_t" "$program/"

cat > "$windows/REGISTER.INI" <<'INI'
[product]
ProductName=Pantrix Morsels
Installed=1

[modem]
ComPort=1

[user]
Mode=Tone
INI
printf '[windows]\r\nrun=%s\r\n' "$program/REGISTER" > "$windows/WIN.INI"

export WINDIR="$windows"
echo "Demo program directory: $program"
echo "Demo Windows directory: $windows"

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    export QT_QPA_PLATFORM=offscreen
fi
status=0
"$program/register" || status=$?
echo "The assistant ended with exit code $status."
