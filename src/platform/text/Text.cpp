#include "platform/text/Text.h"

#include <vector>

namespace duskwarden::text {

namespace {
Lookup installed = nullptr;
}

void installLookup(Lookup lookup) { installed = lookup; }

std::string translate(const char* context, const char* source) {
  if (installed) {
    std::string translated = installed(context, source);
    if (!translated.empty()) return translated;
  }
  return source;
}

std::string arg(std::string_view pattern, std::initializer_list<std::string_view> values) {
  const std::vector<std::string_view> list(values);
  std::string out;
  out.reserve(pattern.size());
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
    if (pattern[i] == '%' && next >= '1' && next <= '9' && static_cast<std::size_t>(next - '1') < list.size()) {
      out += list[static_cast<std::size_t>(next - '1')];
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace duskwarden::text
