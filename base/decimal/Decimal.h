#pragma once
// Numbers as text wherever they leave or enter the process: files, sockets,
// the environment and logs. Always a '.' and never a thousands separator,
// whatever the user's locale: printf's "%f" and strtod follow LC_NUMERIC,
// which Qt sets from the environment at start, so a German session would
// write "0,7" and refuse "0.7".
//
// Plain C++ over the C library's locale-aware conversions, shared by the
// program and the provider library, each of which compiles its own copy.

#include <optional>
#include <string>
#include <string_view>

namespace duskwarden::decimal {

// A plain decimal as people and scripts write it: digits, digits "." digits
// or "." digits ("0.7", "1", ".25"). No sign, exponent, space, comma, "inf"
// or "nan". Rounded to the nearest value of T (float or double); nothing when
// out of T's range (an overflow, or an underflow below its normal numbers).
template <class T>
std::optional<T> parse(std::string_view text);

// The shortest plain decimal that reads back as `value` ("0.7", "1", "30").
std::string shortest(double value);
std::string shortest(float value);

// `digits` after the point, as printf's "%.*f" gives in the C locale ("0.500000").
std::string fixed(double value, int digits);

}  // namespace duskwarden::decimal
