#!/usr/bin/env bash
# Sets up, builds and runs Duskwarden. Without a desktop session (no DISPLAY
# and no WAYLAND_DISPLAY) it runs the headless demo instead and says so.
# Arguments go to duskwarden itself (--help and --version need no display).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" run
# Only the application and its provider; the tests are built by scripts/test.sh.
DW_TARGETS="duskwarden duskwarden-nightlight duskwarden-nightlight-sim" "$root/scripts/build.sh" "$root/build"

if [ $# -gt 0 ] || [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  # A tray program belongs to the desktop's user. Started through sudo, it
  # runs as the user who called sudo, in that user's session.
  if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
    session=()
    runtime=/run/user/$(id -u "$SUDO_USER")  # the user's session has one; without it the program picks its own
    if [ -d "$runtime" ]; then session+=(XDG_RUNTIME_DIR="$runtime"); fi
    for name in DISPLAY WAYLAND_DISPLAY XAUTHORITY LANG LANGUAGE; do
      if [ -n "${!name:-}" ]; then session+=("$name=${!name}"); fi
    done
    echo "run.sh: running duskwarden as $SUDO_USER, not as root" >&2
    # runuser (util-linux, always there) sets HOME, USER and LOGNAME itself.
    exec runuser -u "$SUDO_USER" -- env "${session[@]}" "$root/build/bin/duskwarden" "$@"
  fi
  exec "$root/build/bin/duskwarden" "$@"
fi

cat <<MSG

Duskwarden is a tray utility: it needs a desktop session (an X11 or Wayland
display with a system tray), and this shell has none (DISPLAY and
WAYLAND_DISPLAY are both unset).

Running the headless demo instead (scripts/demo.sh): a private X server with a
tray, Duskwarden on its X11 gamma backend, driven by simulated clicks. The
screenshots land in $PWD/demo-output.
To run the real thing, start ./scripts/run.sh from a terminal in your desktop.

MSG
exec "$root/scripts/demo.sh" "$PWD/demo-output"
