#!/usr/bin/env bash
# Runs every benchmark and prints one table: Duskwarden beside redshift,
# gammastep and a minimal Qt tray program, all on one private Xvfb.
#
#   bench/run.sh [--quick] [--build-dir DIR]
#
# Builds what it needs (Duskwarden in build-bench/, or in the tree --build-dir
# names) and writes bench/results/latest.md
# (bench/results/quick.md for --quick).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
source_dir="$(dirname "$here")"
build_dir="$source_dir/build-bench"
quick=()
while [[ $# -gt 0 ]]; do
  case "$1" in
    --quick) quick=(--quick); shift ;;
    --build-dir) build_dir="$2"; shift 2 ;;
    -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
    *) echo "run.sh: unknown option '$1'" >&2; exit 2 ;;
  esac
done

"$source_dir/scripts/setup.sh" test
# Always bring the measured binaries up to date: a stale one would be measured silently.
if [[ ! -f "$build_dir/build.ninja" ]]; then
  cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
ninja -C "$build_dir" duskwarden duskwarden-nightlight duskwarden-nightlight-sim >/dev/null
tray_build="$build_dir/minimal-tray"
if [[ ! -x "$tray_build/minimal-tray" ]]; then
  cmake -S "$here/minimal-tray" -B "$tray_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  ninja -C "$tray_build" >/dev/null
fi

# The X11 rows' floor: what waking, and the smallest look, cost on this machine.
cc -O2 -D_GNU_SOURCE -pthread "$here/x11-floor.c" -o "$build_dir/x11-floor" -lX11 -lXrandr -lXext -lxcb

out="$here/results/latest.md"
[[ ${#quick[@]} -gt 0 ]] && out="$here/results/quick.md"
exec python3 "$here/bench.py" --build-dir "$build_dir" --minimal-tray "$tray_build/minimal-tray" \
  --x11-floor "$build_dir/x11-floor" \
  --out "$out" "${quick[@]}"
