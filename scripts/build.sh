#!/usr/bin/env bash
# Configures and builds one build tree, warnings as errors (developers and CI;
# a plain cmake build, as a user or packager runs it, only warns).
# Usage: scripts/build.sh [DIR] [extra cmake args...]
# DW_TARGETS="a b" builds only those targets (the run command builds just the application).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
shift || true
cmake -S "$root" -B "$dir" -G Ninja -DDUSKWARDEN_WERROR=ON "$@" >/dev/null
targets=()
if [ -n "${DW_TARGETS:-}" ]; then read -r -a targets <<<"$DW_TARGETS"; fi
cmake --build "$dir" -j "$(nproc)" ${targets:+--target "${targets[@]}"}
