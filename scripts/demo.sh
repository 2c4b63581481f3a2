#!/usr/bin/env bash
# The headless demo: a private X server with a tray host, Duskwarden on the
# X11 gamma backend, driven with xdotool the way a user would, with screenshots.
#
# Usage: scripts/demo.sh [OUTPUT_DIR]          (default: ./demo-output)
# Environment:
#   DUSKWARDEN_BUILD_DIR    build tree whose bin/duskwarden runs (default: <repo>/build)
#   DUSKWARDEN_DEMO_BACKEND x11 (default) or sim, the file-backed simulator
#
# Nothing touches your own session: HOME, XDG dirs, the X server and the
# session bus are private and removed at the end. Exit status 0 when every
# step worked, 1 when one failed (the output folder says which), 2 on bad use.
#
# The steps live in tests/e2e/demo/demo.py, on the desktop test fixture
# (tests/support/desktop) that the end-to-end tests use too.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
command -v python3 >/dev/null || { echo "demo: 'python3' is missing; run scripts/setup.sh run" >&2; exit 2; }
export PYTHONPATH="$root/tests/support${PYTHONPATH:+:$PYTHONPATH}"
exec python3 "$root/tests/e2e/demo/demo.py" "$@"
