#include "x11/GammaReader.h"

#include <X11/extensions/randr.h>
#include <X11/extensions/syncconst.h>
#include <sys/uio.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "backendkit/GammaRamp.h"

namespace duskwarden::provider::x11 {

namespace {

// The protocol's own numbers (randr.h, syncconst.h); xcb's generated
// headers for these extensions are not needed for three requests.
constexpr std::uint8_t kSyncAwait = 7;  // X_SyncAwait
xcb_extension_t randrExtension{"RANDR", 0};
xcb_extension_t syncExtension{"SYNC", 0};

// One 28-byte WAITCONDITION of an Await: a trigger and an event threshold.
struct WaitCondition {
  std::uint32_t counter, valueType;
  std::int32_t waitHi;
  std::uint32_t waitLo, testType;
  std::int32_t thresholdHi;
  std::uint32_t thresholdLo;
};
static_assert(sizeof(WaitCondition) == 28);

// The largest threshold: the Await's end sends no CounterNotify event, which
// would be one more thing to read.
WaitCondition atLeast(unsigned long counter, int valueType, std::int64_t value) {
  return {static_cast<std::uint32_t>(counter), static_cast<std::uint32_t>(valueType),
          static_cast<std::int32_t>(value >> 32), static_cast<std::uint32_t>(value & 0xffffffffu),
          XSyncPositiveComparison, 0x7fffffff, 0xffffffffu};
}

// `body` follows the 4-byte request header, which xcb fills in.
unsigned sendRequest(xcb_connection_t* c, xcb_extension_t* extension, std::uint8_t minor, bool hasReply,
                     const void* body, std::size_t size) {
  std::uint8_t request[4 + 2 * sizeof(WaitCondition)] = {};
  std::memcpy(request + 4, body, size);
  iovec parts[3] = {{}, {}, {request, 4 + size}};
  const xcb_protocol_request_t what{1, extension, minor, static_cast<std::uint8_t>(hasReply ? 0 : 1)};
  return xcb_send_request(c, hasReply ? XCB_REQUEST_CHECKED : 0, parts + 2, &what);
}

std::string xError(const char* request, const xcb_generic_error_t* error) {
  return std::string(request) + ": X error " + std::to_string(error->error_code);
}

}  // namespace

std::unique_ptr<GammaReader> GammaReader::open(const std::string& display, std::string* error) {
  xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
  std::unique_ptr<GammaReader> reader(new GammaReader(c));
  if (xcb_connection_has_error(c)) {
    *error = "xcb_connect " + display + ": failed";
    return nullptr;
  }
  const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &randrExtension);
  if (randr == nullptr || !randr->present) {
    *error = "RANDR QueryExtension on the looks' connection: missing";
    return nullptr;
  }
  // Asked before the round trip below, whose reply then brings the answer along.
  xcb_prefetch_extension_data(c, &syncExtension);
  // RandR 1.2 for GetCrtcGamma; the server notes what the client knows.
  const std::uint32_t version[2] = {1, 2};
  xcb_generic_error_t* failed = nullptr;
  std::free(xcb_wait_for_reply(c, sendRequest(c, &randrExtension, X_RRQueryVersion, true, version, sizeof version),
                               &failed));
  if (failed != nullptr) {
    *error = xError("RANDR QueryVersion", failed);
    std::free(failed);
    return nullptr;
  }
  const xcb_query_extension_reply_t* sync = xcb_get_extension_data(c, &syncExtension);
  reader->canHold_ = sync != nullptr && sync->present;
  return reader;
}

GammaReader::~GammaReader() { xcb_disconnect(c_); }

int GammaReader::fd() const { return xcb_get_file_descriptor(c_); }

bool GammaReader::lost() const { return xcb_connection_has_error(c_) != 0; }

void GammaReader::send(const std::vector<GammaCrtc>& crtcs, const std::optional<LookHold>& hold) {
  for (std::size_t i = next_; i < sequences_.size(); ++i) xcb_discard_reply(c_, sequences_[i]);
  sequences_.clear();
  seen_.clear();
  failure_.clear();
  next_ = 0;
  if (crtcs.size() != crtcs_.size() ||
      !std::equal(crtcs.begin(), crtcs.end(), crtcs_.begin(),
                  [](const GammaCrtc& a, const GammaCrtc& b) { return a.crtc == b.crtc && a.size == b.size; }))
    known_.clear();
  crtcs_ = crtcs;
  heldAhead_ = hold && hold->delay.count() > 0 && canHold_;
  if (hold && canHold_) {
    const WaitCondition conditions[2] = {atLeast(hold->serverTime, XSyncRelative, hold->delay.count()),
                                         atLeast(hold->release, XSyncAbsolute, hold->releaseAt)};
    sendRequest(c_, &syncExtension, kSyncAwait, false, conditions, sizeof conditions);
  }
  for (const auto& crtc : crtcs_) {
    const std::uint32_t id = static_cast<std::uint32_t>(crtc.crtc);
    sequences_.push_back(sendRequest(c_, &randrExtension, X_RRGetCrtcGamma, true, &id, sizeof id));
  }
  xcb_flush(c_);
}

std::optional<double> GammaReader::kelvinOf(std::size_t index, const std::uint8_t* ramps, std::size_t size) {
  // Most looks find the ramps as the one before did: comparing the bytes
  // keeps a periodic look short.
  if (known_.size() != crtcs_.size()) known_.resize(crtcs_.size());
  Known& known = known_[index];
  const std::size_t bytes = size * 6;
  if (known.ramps.size() == bytes && std::memcmp(known.ramps.data(), ramps, bytes) == 0) return known.kelvin;
  const auto* entries = reinterpret_cast<const std::uint16_t*>(ramps);
  known.ramps.assign(ramps, ramps + bytes);
  known.kelvin = kelvinOfRamps({{entries, size}, {entries + size, size}, {entries + 2 * size, size}});
  return known.kelvin;
}

std::optional<GammaReader::Look> GammaReader::collect() {
  // Errors of the Await would come as events; none is expected, so they are
  // only drained: what the reads of earlier replies queued, with no read here.
  while (xcb_generic_event_t* event = xcb_poll_for_queued_event(c_)) std::free(event);
  while (pending()) {
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    if (xcb_poll_for_reply(c_, sequences_[next_], &reply, &error) == 0) return std::nullopt;
    const std::size_t index = next_++;
    const GammaCrtc crtc = crtcs_[index];
    auto request = [&crtc] { return "RANDR GetCrtcGamma on CRTC " + std::to_string(crtc.crtc); };
    if (error != nullptr && failure_.empty()) failure_ = xError(request().c_str(), error);
    std::free(error);
    // The reply: 32 bytes, then `size` red, green and blue entries of 16 bits.
    const auto* bytes = static_cast<const std::uint8_t*>(reply);
    std::uint16_t size = 0;
    std::uint32_t words = 0;  // beyond the first 32 bytes
    if (bytes != nullptr) {
      std::memcpy(&words, bytes + 4, sizeof words);
      std::memcpy(&size, bytes + 8, sizeof size);
    }
    if (bytes != nullptr && size == crtc.size && std::uint64_t{words} * 4 >= std::uint64_t{size} * 6) {
      seen_.push_back(kelvinOf(index, bytes + 32, static_cast<std::size_t>(size)));
    } else if (failure_.empty()) {
      failure_ = request() + (bytes != nullptr ? ": the CRTC changed while being read" : ": no reply");
    }
    std::free(reply);
  }
  if (sequences_.empty()) return std::nullopt;
  sequences_.clear();
  next_ = 0;
  if (lost() && failure_.empty()) failure_ = "the looks' connection was lost";
  if (!failure_.empty()) return Look{std::nullopt, failure_};
  return Look{rampStateOf(seen_), {}};
}

}  // namespace duskwarden::provider::x11
