#include "base/decimal/Decimal.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

// The C library's own conversions, run in the "C" locale. std::to_chars and
// std::from_chars would do the same, but their code and tables are pages of
// libstdc++ the program maps for nothing else.

namespace duskwarden::decimal {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool isPlainDecimal(std::string_view text) {
  const auto dot = text.find('.');
  const auto whole = text.substr(0, dot);
  const auto fraction = dot == std::string_view::npos ? std::string_view{} : text.substr(dot + 1);
  if (whole.empty() && fraction.empty()) return false;
  if (dot != std::string_view::npos && fraction.empty()) return false;
  for (char c : whole)
    if (!isDigit(c)) return false;
  for (char c : fraction)
    if (!isDigit(c)) return false;
  return true;
}

locale_t cLocale() {
  static const locale_t c = ::newlocale(LC_ALL_MASK, "C", nullptr);
  return c;
}

// printf's "%.*f" in the "C" locale; empty when it does not fit.
std::string printed(double value, int digits) {
  if (!cLocale()) return {};
  char text[400];  // the longest double in fixed notation is 309 digits
  const locale_t previous = ::uselocale(cLocale());  // this thread's only
  const int length = std::snprintf(text, sizeof text, "%.*f", digits, value);
  ::uselocale(previous);
  return length >= 0 && static_cast<std::size_t>(length) < sizeof text ? std::string(text, length) : std::string();
}

template <class T>
T readBack(const char* text, char** end) {
  if constexpr (sizeof(T) == sizeof(float)) {
    return ::strtof_l(text, end, cLocale());
  } else {
    return ::strtod_l(text, end, cLocale());
  }
}

// The fewest digits after the point that read back as `value`. Beyond the
// integers T holds exactly (2^53 for a double), that is every digit of the
// value as held, where std::to_chars would round to zeros.
template <class T>
std::string shortestOf(T value) {
  if (!std::isfinite(value)) return printed(value, 0);
  for (int digits = 0;; ++digits) {
    std::string text = printed(value, digits);
    if (text.empty() || readBack<T>(text.c_str(), nullptr) == value) return text;
  }
}

}  // namespace

template <class T>
std::optional<T> parse(std::string_view text) {
  if (!isPlainDecimal(text) || !cLocale()) return std::nullopt;
  const std::string terminated(text);
  char* end = nullptr;
  errno = 0;
  const T value = readBack<T>(terminated.c_str(), &end);
  if (errno == ERANGE || end != terminated.c_str() + terminated.size()) return std::nullopt;
  return value;
}

template std::optional<float> parse<float>(std::string_view);
template std::optional<double> parse<double>(std::string_view);

std::string shortest(double value) { return shortestOf(value); }
std::string shortest(float value) { return shortestOf(value); }

std::string fixed(double value, int digits) { return printed(value, digits); }

}  // namespace duskwarden::decimal
