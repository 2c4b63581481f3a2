#include "base/decimal/Decimal.h"

#include <charconv>

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

template <class T>
std::string shortestOf(T value) {
  char text[400];  // the longest double in fixed notation is 309 digits
  const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
  return error == std::errc{} ? std::string(text, end) : std::string();
}

}  // namespace

template <class T>
std::optional<T> parse(std::string_view text) {
  if (!isPlainDecimal(text)) return std::nullopt;
  T value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

template std::optional<float> parse<float>(std::string_view);
template std::optional<double> parse<double>(std::string_view);

std::string shortest(double value) { return shortestOf(value); }
std::string shortest(float value) { return shortestOf(value); }

std::string fixed(double value, int digits) {
  char text[400];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, digits);
  return error == std::errc{} ? std::string(text, end) : std::string();
}

}  // namespace duskwarden::decimal
