#!/usr/bin/env bash
# Start-up and keystroke latency of the menu on Wayland (headless sway,
# wayland_latency) beside X11 (Xvfb, menu_latency), from one build, on the
# same lists of this machine's file paths as bench/performance.sh makes
# (bench/make_list.sh paths):
# 10,000, 100,000 and 1,000,000 lines, the query "libx11" typed and erased.
#
#   bench/wayland_performance.sh        (as root: sway runs as another user)
#
# RUNS (default 11) runs per figure; BUILD (default build) a build with the
# tests, whose harness drives sway.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${RUNS:-11}
build=${BUILD:-build}
export LC_ALL=${LC_ALL:-C.UTF-8}
cmake --build "$build" --target ravlin ravlin-wayland menu_latency wayland_latency >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bench/make_list.sh paths 1000000 "$work/1000000"
head -n 100000 "$work/1000000" >"$work/100000"
head -n 10000 "$work/1000000" >"$work/10000"

echo "# $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores; $runs runs per figure; load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== X11 (Xvfb, menu_latency)"
"$build/menu_latency" --runs "$runs" --modes - --no-peers "$build/ravlin" "$work/10000" "$work/100000" "$work/1000000"
echo "== Wayland (headless sway, wayland_latency)"
"$build/wayland_latency" --runs "$runs" "$work/10000" "$work/100000" "$work/1000000"
echo "# load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
