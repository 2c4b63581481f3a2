// The least a periodic look can cost on this machine, for the benchmark's
// X11 rows: one thread that wakes every INTERVAL milliseconds, either doing
// nothing ("wake": a poll() timeout) or taking the smallest look there is
// ("look": a SYNC Await on SERVERTIME and one RANDR GetCrtcGamma, held in the
// server and sent again on each reply, as Duskwarden's event thread does).
//
//   x11-floor wake|look INTERVAL_MS
//
// The thread is named "floor"; its CPU time is read from /proc by bench.py.
#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/sync.h>
#include <poll.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/uio.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

static xcb_extension_t randr = {"RANDR", 0}, sync_ext = {"SYNC", 0};
static unsigned long server_time;
static uint32_t crtc;
static int interval_ms, look;

static unsigned send_request(xcb_connection_t* c, xcb_extension_t* e, uint8_t minor, int reply, const void* body,
                             size_t size) {
  uint8_t request[4 + 28] = {0};
  memcpy(request + 4, body, size);
  struct iovec parts[3] = {{0}, {0}, {request, 4 + size}};
  xcb_protocol_request_t what = {1, e, minor, reply ? 0 : 1};
  return xcb_send_request(c, reply ? XCB_REQUEST_CHECKED : 0, parts + 2, &what);
}

static void* run(void* unused) {
  (void)unused;
  pthread_setname_np(pthread_self(), "floor");
  if (!look)
    for (;;) poll(NULL, 0, interval_ms);
  xcb_connection_t* c = xcb_connect(NULL, NULL);
  const uint32_t version[2] = {1, 2};
  free(xcb_wait_for_reply(c, send_request(c, &randr, X_RRQueryVersion, 1, version, sizeof version), NULL));
  for (;;) {
    // WAITCONDITION: SERVERTIME, relative, interval; PositiveComparison; no event.
    const uint32_t await[7] = {(uint32_t)server_time, XSyncRelative, 0, (uint32_t)interval_ms,
                               XSyncPositiveComparison, 0x7fffffff, 0xffffffffu};
    send_request(c, &sync_ext, 7 /* X_SyncAwait */, 0, await, sizeof await);
    const unsigned sequence = send_request(c, &randr, X_RRGetCrtcGamma, 1, &crtc, sizeof crtc);
    xcb_flush(c);
    void* reply = NULL;
    xcb_generic_error_t* error = NULL;
    struct pollfd fd = {xcb_get_file_descriptor(c), POLLIN, 0};
    while (!xcb_poll_for_reply(c, sequence, &reply, &error))
      if (poll(&fd, 1, -1) < 0 || xcb_connection_has_error(c)) exit(1);
    free(reply);
    free(error);
  }
}

int main(int argc, char** argv) {
  if (argc != 3 || (strcmp(argv[1], "wake") != 0 && strcmp(argv[1], "look") != 0) || atoi(argv[2]) <= 0) {
    fprintf(stderr, "usage: x11-floor wake|look INTERVAL_MS\n");
    return 2;
  }
  look = strcmp(argv[1], "look") == 0;
  interval_ms = atoi(argv[2]);
  if (look) {
    Display* d = XOpenDisplay(NULL);
    int events, errors, major, minor, count = 0;
    XRRScreenResources* resources = d ? XRRGetScreenResources(d, DefaultRootWindow(d)) : NULL;
    if (!resources || resources->ncrtc < 1 || !XSyncQueryExtension(d, &events, &errors) ||
        !XSyncInitialize(d, &major, &minor)) {
      fprintf(stderr, "x11-floor: needs an X server with RANDR and SYNC\n");
      return 1;
    }
    crtc = (uint32_t)resources->crtcs[0];
    XSyncSystemCounter* counters = XSyncListSystemCounters(d, &count);
    for (int i = 0; i < count; ++i)
      if (strcmp(counters[i].name, "SERVERTIME") == 0) server_time = counters[i].counter;
    if (server_time == 0) return 1;
  }
  pthread_t thread;
  pthread_create(&thread, NULL, run, NULL);
  pause();
}
