/*
 * The night-light provider library: the one boundary between Duskwarden and
 * the desktop's blue-light reduction.
 *
 * The library exports one C entry point, dw_nightlight_get_ops(), returning a
 * table of operations. Callers check abi_version and struct_size before use
 * and refuse a table they do not know:
 *  - version 4 (this header): the struct of version 3. The library waits for
 *    the desktop: create answers a client also while no backend is usable
 *    yet, backend_name names the backend in use now, and a backend that
 *    comes later (or replaces a lesser one) reaches each client through its
 *    status callback;
 *  - version 3: the whole struct, get_reason included;
 *  - version 2: the same struct without get_reason (struct_size at least
 *    DW_NIGHTLIGHT_OPS_V2_SIZE). Still usable; such a library gives no
 *    reasons;
 *  - version 1: the same struct without set_log, backend_name and
 *    get_reason (struct_size at least DW_NIGHTLIGHT_OPS_V1_SIZE). Still
 *    usable; such a library cannot report its failures to the caller, nor
 *    name its backend.
 *
 * Contract of the operations (every call on one client comes from a single
 * thread at a time, the caller's serial queue):
 *  - supports_night_light: non-zero when a backend is usable on this machine now.
 *  - create: a new client, or NULL on failure. While no backend is usable
 *    but one may still come (its service on the session bus, its
 *    compositor's socket), the client has none: get_status and get_strength
 *    fail and the setters do nothing until the status callback says that one
 *    has come. NULL when none is usable and none can come.
 *  - destroy: stops callbacks (none runs after it returns, unless destroy is
 *    called from within the callback itself) and frees the client.
 *  - set_status_callback: the callback is called after every change of the
 *    night-light state that the backend can see, and when the backend in use
 *    changes, for as long as the client lives, from a thread of the
 *    provider's own. The client takes a new backend up at its next call. Never polled, with one
 *    exception: no event tells of another X client's gamma write, so while
 *    on the X11 backend reads its ramps back on a slow interval.
 *  - get_status: fills the caller's zero-filled 32-byte record; byte 1 non-zero
 *    means night light is on now. Returns non-zero on success; on failure the
 *    record is not to be used.
 *  - get_strength: writes the current strength (0.0 least warm .. 1.0 warmest)
 *    into *strength. Returns non-zero on success; may write nothing on failure.
 *  - set_enabled: turns night light on (non-zero) or off. Fire and forget.
 *  - set_strength: applies the strength; commit non-zero also stores it as the
 *    setting. Fire and forget. Values outside 0..1 are clamped by the backend.
 *  - set_log (version 2): library-wide, not per client, because detection
 *    runs before any client exists. Installs the function that receives the
 *    library's messages: every failed request, named with what failed
 *    ("RANDR SetCrtcGamma on CRTC 63: BadValue"), at DW_NIGHTLIGHT_LOG_ERROR;
 *    why a backend was or was not chosen, at DW_NIGHTLIGHT_LOG_INFO. Messages
 *    are complete lines without a trailing newline, valid only during the
 *    call. It may be called from any of the library's threads, also while
 *    set_log replaces it; NULL uninstalls it. Call it before anything else.
 *    While none is installed, errors go to standard error, so that a failure
 *    is never silent; informational messages are dropped.
 *  - backend_name (version 2): library-wide. The name of the backend that
 *    detection chose ("kde", "gnome", "wlroots", "x11", "sim": the names the
 *    environment variable below takes), or NULL when none is usable. From
 *    version 4 it may change later (see create): read it after get_status
 *    to name the backend that status came from. The string is static: valid
 *    for as long as the library is loaded.
 *  - get_reason (version 3): returns one of the DW_NIGHTLIGHT_REASON_ codes
 *    below and, when `message` is non-NULL and `size` > 0, writes a
 *    NUL-terminated, single-line, printable explanation in English (at most
 *    size-1 bytes, cut at a UTF-8 character boundary), e.g. "kwinrc's
 *    [NightColor] Active is locked ([$i])". The
 *    backend sets a reason when set_enabled or set_strength cannot be
 *    carried out, or when it sees night light held off by something it cannot
 *    override; it clears it when a later request is carried out or night
 *    light is seen on. A reason is about the present state, not a history.
 *    A request that does not finish within its deadline (a few seconds)
 *    returns, leaving the reason TIMEOUT, so that no call holds the caller's
 *    queue for longer.
 *
 * Environment: DUSKWARDEN_NIGHTLIGHT_BACKEND=kde|gnome|wlroots|x11|sim forces
 * a backend (anything else, or unset, means automatic detection: KWin's Night
 * Color object on the session bus, then GNOME's colour service there, then
 * the Wayland compositor at WAYLAND_DISPLAY when it offers wlroots gamma
 * control, then an X11 display with RandR gamma that is not Xwayland, whose
 * ramps reach no screen). The simulator is never picked
 * automatically. The choice is made once per process and shared
 * by supports_night_light and create; it is made again only when an
 * environment variable it rests on (the one above, DISPLAY, WAYLAND_DISPLAY,
 * XDG_SESSION_TYPE, DBUS_SESSION_BUS_ADDRESS, XDG_RUNTIME_DIR) has changed
 * since. While no backend is usable, or one ranked above the chosen one may
 * still come, the library watches for it without polling (its service's
 * name getting an owner that answers, the compositor's socket appearing)
 * and switches to it when it does; a forced backend is waited for the same
 * way, and no other replaces it.
 */
#ifndef DUSKWARDEN_NIGHTLIGHT_H
#define DUSKWARDEN_NIGHTLIGHT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define DW_NIGHTLIGHT_ABI_VERSION 4u
#define DW_NIGHTLIGHT_STATUS_SIZE 32
#define DW_NIGHTLIGHT_ENTRY_POINT "dw_nightlight_get_ops"

/* Levels of set_log's messages, as syslog numbers them. */
#define DW_NIGHTLIGHT_LOG_ERROR 3
#define DW_NIGHTLIGHT_LOG_INFO 6

/* Why night light is not on now, or why this client's last request could not be
 * carried out, as far as the backend knows (version 3). */
#define DW_NIGHTLIGHT_REASON_NONE 0      /* none known */
#define DW_NIGHTLIGHT_REASON_INHIBITED 1 /* another program inhibits night light (KDE's inhibit) */
#define DW_NIGHTLIGHT_REASON_HELD 2      /* another program holds the screen's gamma (wlroots "failed") */
#define DW_NIGHTLIGHT_REASON_LOCKED 3    /* the setting is locked against change ([$i] in KConfig, read-only key) */
#define DW_NIGHTLIGHT_REASON_BUSY 4      /* another writer holds the settings' lock */
#define DW_NIGHTLIGHT_REASON_FAILED 5    /* the request failed; the message says why (a file that cannot be read or written, a symlink loop, ...) */
#define DW_NIGHTLIGHT_REASON_TIMEOUT 6   /* the request did not finish within its deadline */

typedef struct dw_nightlight_client dw_nightlight_client;
typedef void (*dw_nightlight_status_callback)(void *user_data);
typedef void (*dw_nightlight_log_callback)(void *user_data, int level, const char *message);

typedef struct dw_nightlight_ops {
  uint32_t abi_version; /* DW_NIGHTLIGHT_ABI_VERSION */
  uint32_t struct_size; /* sizeof(dw_nightlight_ops) */
  int (*supports_night_light)(void);
  dw_nightlight_client *(*create)(void);
  void (*destroy)(dw_nightlight_client *client);
  void (*set_status_callback)(dw_nightlight_client *client, dw_nightlight_status_callback callback,
                              void *user_data);
  int (*get_status)(dw_nightlight_client *client, uint8_t status[DW_NIGHTLIGHT_STATUS_SIZE]);
  int (*get_strength)(dw_nightlight_client *client, float *strength);
  void (*set_enabled)(dw_nightlight_client *client, int enabled);
  void (*set_strength)(dw_nightlight_client *client, float strength, int commit);
  /* Version 2 and later. */
  void (*set_log)(dw_nightlight_log_callback callback, void *user_data);
  const char *(*backend_name)(void);
  /* Version 3 and later. */
  int (*get_reason)(dw_nightlight_client *client, char *message, size_t size);
} dw_nightlight_ops;

/* A version 1 table ends where set_log begins, a version 2 table where get_reason begins. */
#define DW_NIGHTLIGHT_OPS_V1_SIZE offsetof(dw_nightlight_ops, set_log)
#define DW_NIGHTLIGHT_OPS_V2_SIZE offsetof(dw_nightlight_ops, get_reason)

typedef const dw_nightlight_ops *(*dw_nightlight_get_ops_fn)(void);

/* The library's one exported symbol. */
const dw_nightlight_ops *dw_nightlight_get_ops(void);

#ifdef __cplusplus
}
#endif

#endif
