#!/usr/bin/env bash
# The run at a login with nothing to ask (rdate holds today's date): the installed command (the
# launcher) against a C program that only reads rdate, and the windowed program alone for
# comparison; wall time (hyperfine, median of many runs) and peak memory (GNU time, median),
# on Qt's offscreen platform and under an X server (Xvfb).
# Targets: the launcher within 3x the C program's time and 2 MiB of its memory.
# Usage: bench/login/run.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
for tool in hyperfine /usr/bin/time Xvfb cc; do
    command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/login-bench.XXXXXX")
xvfb=
trap '[ -n "$xvfb" ] && kill $xvfb; rm -rf "$work"' EXIT
cc -O2 -o "$work/read-rdate" "$here/read-rdate.c"
program="$work/program"
mkdir "$program"
cp "$build"/bin/{register,register-ui,ROBJECTS.DAT,p_servic.z_t,p_direct.z_t} "$program/"
date +%-m/%-d/%Y | tr -d '\n' > "$program/rdate"
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
cd "$program"

# Median wall time in milliseconds and median peak memory in KiB of one command.
measure() {
    hyperfine -N -w 5 -r 40 --export-json "$work/h.json" "$*" > /dev/null 2>&1
    local ms kib
    ms=$(python3 -c 'import json,sys; print("%.2f" % (json.load(open(sys.argv[1]))["results"][0]["median"] * 1000))' "$work/h.json")
    kib=$(for _ in $(seq 15); do /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n 1; done | sort -n | sed -n 8p)
    echo "$ms $kib"
}

report() {
    local c launcher windowed
    c=($(measure "$work/read-rdate"))
    launcher=($(measure "$program/register"))
    windowed=($(measure "$program/register-ui"))
    printf '  %-34s %8s ms %8s KiB\n' "C program reading rdate" "${c[@]}" \
        "launcher (installed command)" "${launcher[@]}" "windowed program alone" "${windowed[@]}"
    python3 - "${c[@]}" "${launcher[@]}" <<'PY'
import sys
c_ms, c_kib, l_ms, l_kib = map(float, sys.argv[1:])
ok = l_ms <= 3 * c_ms and l_kib - c_kib <= 2048
print("  launcher: %.1fx the time, %+.0f KiB: %s" % (l_ms / c_ms, l_kib - c_kib,
      "within the targets (3x, 2 MiB)" if ok else "OVER the targets (3x, 2 MiB)"))
PY
}

echo "Not-due login run, offscreen:"
(unset DISPLAY WAYLAND_DISPLAY; export QT_QPA_PLATFORM=offscreen; report)

Xvfb -displayfd 5 -nolisten tcp 5> "$work/display" 2> /dev/null &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
echo "Not-due login run, under Xvfb:"
(unset WAYLAND_DISPLAY QT_QPA_PLATFORM; export DISPLAY=":$(head -n 1 "$work/display")"; report)
