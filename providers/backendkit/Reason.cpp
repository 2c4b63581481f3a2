#include "backendkit/Reason.h"

#include <cstring>

namespace duskwarden::provider {

namespace {

// The length of the valid UTF-8 character at `s` (`left` bytes there), or 0.
std::size_t characterLength(const unsigned char* s, std::size_t left) {
  std::size_t length = 0;
  unsigned int lowest = 0;
  if (s[0] < 0x80) return 1;
  if ((s[0] & 0xe0) == 0xc0) length = 2, lowest = 0x80;
  else if ((s[0] & 0xf0) == 0xe0) length = 3, lowest = 0x800;
  else if ((s[0] & 0xf8) == 0xf0) length = 4, lowest = 0x10000;
  else return 0;
  if (length > left) return 0;
  unsigned int code = s[0] & (0x7f >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((s[i] & 0xc0) != 0x80) return 0;
    code = (code << 6) | (s[i] & 0x3f);
  }
  const bool surrogate = code >= 0xd800 && code <= 0xdfff;
  return code < lowest || code > 0x10ffff || surrogate ? 0 : length;
}

}  // namespace

void ReasonBox::set(int code, std::string message) {
  std::lock_guard lock(mutex_);
  reason_.code = code;
  reason_.message = std::move(message);
}

Reason ReasonBox::get() const {
  std::lock_guard lock(mutex_);
  return reason_;
}

void copyReasonMessage(const std::string& message, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return;
  const auto* in = reinterpret_cast<const unsigned char*>(message.data());
  std::size_t read = 0, written = 0;
  while (read < message.size()) {
    const std::size_t length = characterLength(in + read, message.size() - read);
    const std::size_t need = length == 0 ? 1 : length;
    if (written + need > size - 1) break;  // a whole character or none
    if (length == 0) {
      out[written] = '?';
    } else if (length == 1 && (in[read] < 0x20 || in[read] == 0x7f)) {
      out[written] = ' ';
    } else {
      std::memcpy(out + written, in + read, length);
    }
    written += need;
    read += length == 0 ? 1 : length;
  }
  out[written] = '\0';
}

}  // namespace duskwarden::provider
