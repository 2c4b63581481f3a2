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
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${DUSKWARDEN_BUILD_DIR:-$root/build}
backend=${DUSKWARDEN_DEMO_BACKEND:-x11}
out=${1:-$PWD/demo-output}
bin=$build/bin/duskwarden
app_id=com.quillmoor.Duskwarden

say() { printf 'demo: %s\n' "$*"; }
die_usage() { printf 'demo: %s\n' "$*" >&2; exit 2; }

[ $# -le 1 ] || die_usage "usage: scripts/demo.sh [OUTPUT_DIR]"
case $backend in x11 | sim) ;; *) die_usage "DUSKWARDEN_DEMO_BACKEND must be x11 or sim, not '$backend'" ;; esac
[ -x "$bin" ] || die_usage "$bin is missing; build first (scripts/build.sh) or set DUSKWARDEN_BUILD_DIR"
for tool in Xvfb trayer xdotool import xrandr python3; do
  command -v "$tool" >/dev/null || die_usage "'$tool' is missing; run scripts/setup.sh"
done

mkdir -p "$out" || die_usage "cannot create the output folder $out"
out=$(cd "$out" && pwd)
rm -f "$out"/*.png "$out"/summary.txt "$out"/duskwarden.log "$out"/steps.txt

work=$(mktemp -d "${TMPDIR:-/tmp}/duskwarden-demo.XXXXXX")
pids=()      # started here, stopped in reverse order
app_pid=""
failed=""
steps=()

cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null
  done
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    # A process that ignores TERM for 3 s gets KILL, so the demo never hangs here.
    for _ in $(seq 30); do kill -0 "${pids[i]}" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "${pids[i]}" 2>/dev/null
    wait "${pids[i]}" 2>/dev/null
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

ok() { steps+=("ok   $1"); say "ok: $1"; }
fail() {
  failed=$1
  steps+=("FAIL $1")
  say "FAILED: $1"
  finish
}

# Polls a command until it succeeds; 0.1 s steps, the limit in seconds.
wait_for() {
  local limit=$1
  shift
  local tries=$((limit * 10))
  while ((tries-- > 0)); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

shot() { import -window root "$out/$1" 2>>"$work/import.log"; }

# The application's visible windows other than the tray icon (popover, menu).
other_windows() { xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | grep -vx "$icon" || true; }
has_other_window() { [ -n "$(other_windows)" ]; }
no_other_window() { [ -z "$(other_windows)" ]; }
app_gone() { ! kill -0 "$app_pid" 2>/dev/null; }

click_icon() {
  local X Y WIDTH HEIGHT WINDOW SCREEN
  eval "$(xdotool getwindowgeometry --shell "$icon")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click "$1"
}

# The top of each gamma ramp as a fraction of full scale, "red green blue", for
# the first CRTC with gamma: xrandr --verbose shows the ramps only as fitted
# exponents, which do not say plainly how much blue is left.
ramp_tops() {
  python3 - <<'EOF'
import ctypes as C
x11, xr = C.CDLL("libX11.so.6"), C.CDLL("libXrandr.so.2")
class Res(C.Structure):
    _fields_ = [("timestamp", C.c_ulong), ("configTimestamp", C.c_ulong), ("ncrtc", C.c_int),
                ("crtcs", C.POINTER(C.c_ulong)), ("noutput", C.c_int), ("outputs", C.c_void_p),
                ("nmode", C.c_int), ("modes", C.c_void_p)]
class Gamma(C.Structure):
    _fields_ = [("size", C.c_int), ("red", C.POINTER(C.c_ushort)), ("green", C.POINTER(C.c_ushort)),
                ("blue", C.POINTER(C.c_ushort))]
x11.XOpenDisplay.restype = C.c_void_p
x11.XOpenDisplay.argtypes = [C.c_char_p]
x11.XDefaultRootWindow.restype = C.c_ulong
x11.XDefaultRootWindow.argtypes = [C.c_void_p]
xr.XRRGetScreenResourcesCurrent.restype = C.POINTER(Res)
xr.XRRGetScreenResourcesCurrent.argtypes = [C.c_void_p, C.c_ulong]
xr.XRRGetCrtcGammaSize.argtypes = [C.c_void_p, C.c_ulong]
xr.XRRGetCrtcGamma.restype = C.POINTER(Gamma)
xr.XRRGetCrtcGamma.argtypes = [C.c_void_p, C.c_ulong]
dpy = x11.XOpenDisplay(None)
if not dpy:
    raise SystemExit("cannot open the display")
res = xr.XRRGetScreenResourcesCurrent(dpy, x11.XDefaultRootWindow(dpy)).contents
for i in range(res.ncrtc):
    crtc = res.crtcs[i]
    if xr.XRRGetCrtcGammaSize(dpy, crtc) > 0:
        g = xr.XRRGetCrtcGamma(dpy, crtc).contents
        top = g.size - 1
        print("%.3f %.3f %.3f" % (g.red[top] / 65535, g.green[top] / 65535, g.blue[top] / 65535))
        raise SystemExit(0)
raise SystemExit("no CRTC with gamma")
EOF
}

xrandr_gamma() { xrandr --verbose 2>/dev/null | awk '/Gamma:/ { print $2; exit }'; }
# Warm: red kept, blue clearly cut (neutral is 1 1 1).
is_warm() { ramp_tops | awk '{ exit !($1 > 0.95 && $3 < 0.9 && $3 < $2 && $2 <= $1) }'; }
sim_enabled() { "$build/bin/duskwarden-nightlight-sim" status | grep -qx 'enabled: on'; }

finish() {
  {
    printf 'backend: %s\n' "$backend"
    printf 'gamma-before: %s\n' "${gamma_before:-}"
    printf 'gamma-after-enable: %s\n' "${gamma_after:-}"
    printf 'ramp-tops-before: %s\n' "${ramps_before:-}"
    printf 'ramp-tops-after-enable: %s\n' "${ramps_after:-}"
    printf 'result: %s\n' "${failed:+failed: $failed}"
  } >"$out/summary.txt"
  [ -z "$failed" ] && sed -i 's/^result: $/result: ok/' "$out/summary.txt"
  printf '%s\n' "${steps[@]}" >"$out/steps.txt"
  echo
  echo "Duskwarden headless demo ($backend backend)"
  printf '  %s\n' "${steps[@]}"
  if [ "$backend" = x11 ] && [ -n "${ramps_after:-}" ]; then
    echo "  gamma ramp tops (red green blue) before: $ramps_before, after enabling: $ramps_after"
    echo "  xrandr --verbose Gamma before: $gamma_before, after: $gamma_after"
  fi
  echo "Screenshots and the application's log are in: $out"
  ls "$out" | sed 's/^/    /'
  if [ -n "$failed" ]; then
    echo "The demo FAILED at: $failed"
    exit 1
  fi
  echo "The demo passed."
  exit 0
}

# --- a private session -------------------------------------------------------
export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache
export XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_TYPE GSETTINGS_BACKEND QT_QPA_PLATFORMTHEME
export QT_QPA_PLATFORM=xcb

say "starting a private X server"
# -displayfd picks a free display number and writes it once the server is ready.
Xvfb -displayfd 3 -screen 0 1024x768x24 -noreset -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for 10 test -s "$work/display" || fail "start Xvfb (see its log: $(tail -1 "$work/xvfb.log"))"
export DISPLAY=:$(head -1 "$work/display")
ok "Xvfb on $DISPLAY"

# A bus of our own, so nothing reaches the real session's services.
if command -v dbus-daemon >/dev/null; then
  dbus-daemon --session --nofork --print-address=4 4>"$work/bus" 2>/dev/null &
  pids+=($!)
  wait_for 5 test -s "$work/bus" && export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/bus")
fi
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || export DBUS_SESSION_BUS_ADDRESS=disabled:

trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
  --transparent false --tint 0x2b2f3a --expand true >"$work/trayer.log" 2>&1 &
pids+=($!)
wait_for 10 xdotool search --onlyvisible --class trayer || fail "start the tray host (trayer)"
ok "tray host (trayer) running"

if [ "$backend" = x11 ]; then
  # Xvfb's ramps start as uninitialised memory: begin from neutral.
  xrandr --output screen --gamma 1:1:1 || fail "reset the gamma ramps with xrandr"
  ramps_before=$(ramp_tops) || fail "read the gamma ramps"
  gamma_before=$(xrandr_gamma)
fi

# --- Duskwarden ----------------------------------------------------------------
say "starting $bin with DUSKWARDEN_NIGHTLIGHT_BACKEND=$backend"
DUSKWARDEN_NIGHTLIGHT_BACKEND=$backend "$bin" >"$out/duskwarden.log" 2>&1 &
app_pid=$!
pids+=("$app_pid")
icon=""
find_icon() { icon=$(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | head -1) && [ -n "$icon" ]; }
wait_for 20 find_icon || fail "show the tray icon (log: $out/duskwarden.log)"
sleep 0.5 # let the tray host paint the embedded icon
shot tray.png
ok "tray icon shown (tray.png)"

click_icon 1
wait_for 5 has_other_window || fail "open the popover with a left click on the icon"
sleep 0.5
shot popover.png
ok "left click opened the popover (popover.png)"

# The popup keeps the keyboard: Tab goes to the Keep Always On switch, then to
# "Enable Night Shift"; Space presses it.
xdotool key Tab
sleep 0.2
xdotool key Tab
sleep 0.2
xdotool key space
if [ "$backend" = x11 ]; then
  wait_for 5 is_warm || fail "turn Night Shift on: the gamma ramps stayed $(ramp_tops)"
  ramps_after=$(ramp_tops)
  gamma_after=$(xrandr_gamma)
else
  wait_for 5 sim_enabled || fail "turn Night Shift on: the simulator still reports it off"
fi
# The switch must not have been flipped instead: Keep Always On writes an autostart entry.
[ -e "$XDG_CONFIG_HOME/autostart/$app_id.desktop" ] &&
  fail "press Enable Night Shift (Keep Always On was switched instead)"
sleep 0.5 # let the popover show the new state
shot enabled.png
ok "Enable Night Shift turned the night light on (enabled.png)"

xdotool key Escape
wait_for 5 no_other_window || fail "close the popover with Escape"
ok "Escape closed the popover"

click_icon 3
wait_for 5 has_other_window || fail "open the menu with a right click on the icon"
sleep 0.5
shot menu.png
ok "right click opened the menu (menu.png)"

xdotool key Escape
wait_for 5 no_other_window || fail "close the menu with Escape"
ok "Escape closed the menu"

click_icon 3
wait_for 5 has_other_window || fail "open the menu again"
sleep 0.3
# Quit is the last item: Up from no selection wraps to it.
xdotool key Up
sleep 0.2
xdotool key Return
wait_for 10 app_gone || fail "quit from the menu (Duskwarden still runs 10 s later)"
wait "$app_pid"
status=$?
[ "$status" -eq 0 ] || fail "quit cleanly (exit status $status)"
ok "Quit from the menu ended Duskwarden (exit status 0)"

finish
