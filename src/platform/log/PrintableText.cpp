#include "platform/log/PrintableText.h"

#include <cstdio>
#include <utility>

namespace duskwarden {

namespace {

bool isBidiControl(char32_t c) {
  return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool isControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// The code point starting at text[at] and its length in bytes; length 0 for
// a byte that does not start a well-formed UTF-8 sequence.
std::pair<char32_t, std::size_t> decode(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return {lead, 1};
  const std::size_t length = lead >= 0xF5 ? 0 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || at + length > text.size()) return {0, 0};
  char32_t c = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return {0, 0};
    c = (c << 6) | (byte(at + i) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  const bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
  if (overlong || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return {0, 0};
  return {c, length};
}

}  // namespace

std::string printableText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char escape[16];
  for (std::size_t at = 0; at < text.size();) {
    const auto [c, length] = decode(text, at);
    if (length == 0) {
      std::snprintf(escape, sizeof escape, "<0x%02X>", static_cast<unsigned char>(text[at]));
      out += escape;
      ++at;
      continue;
    }
    if (isControl(c) || isBidiControl(c)) {
      std::snprintf(escape, sizeof escape, "<U+%04X>", static_cast<unsigned>(c));
      out += escape;
    } else {
      out.append(text.substr(at, length));
    }
    at += length;
  }
  return out;
}

}  // namespace duskwarden
