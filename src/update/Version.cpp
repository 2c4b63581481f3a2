#include "update/Version.h"

#include <cctype>
#include <vector>

namespace duskwarden {

namespace {

bool isSeparator(char c) { return c == '.' || c == '-' || c == '+' || c == '_' || c == '~'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

struct Part {
  bool numeric;
  std::string_view text;  // digits without leading zeros, or letters
};

std::vector<Part> split(std::string_view v) {
  std::vector<Part> parts;
  std::size_t i = 0;
  while (i < v.size()) {
    if (isDigit(v[i])) {
      std::size_t start = i;
      while (i < v.size() && isDigit(v[i])) ++i;
      std::string_view digits = v.substr(start, i - start);
      while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
      parts.push_back({true, digits});
    } else if (isLetter(v[i])) {
      std::size_t start = i;
      while (i < v.size() && isLetter(v[i])) ++i;
      parts.push_back({false, v.substr(start, i - start)});
    } else {
      ++i;  // separators and stray characters only divide parts
    }
  }
  return parts;
}

// Digit strings without leading zeros: the longer is the larger, so numbers of
// any length compare without overflow.
int compareNumbers(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  int c = a.compare(b);
  return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

int compareLetters(std::string_view a, std::string_view b) {
  for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
    int ca = std::tolower(static_cast<unsigned char>(a[i]));
    int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int compareParts(const Part& a, const Part& b) {
  if (a.numeric && b.numeric) return compareNumbers(a.text, b.text);
  if (!a.numeric && !b.numeric) return compareLetters(a.text, b.text);
  return a.numeric ? 1 : -1;  // a pre-release tag ranks below any number
}

// What a version that has run out of parts is compared as: zero against a
// number (1.0 == 1.0.0), and above a letter run (2.0 > 2.0b1).
int compareWithEnd(const Part& p) {
  if (!p.numeric) return -1;
  return p.text == "0" ? 0 : 1;
}

}  // namespace

bool isPlausibleVersion(std::string_view version) {
  if (version.empty() || version.size() > kMaxVersionLength) return false;
  if (!isDigit(version.front()) || isSeparator(version.back())) return false;
  for (std::size_t i = 0; i < version.size(); ++i) {
    char c = version[i];
    if (isSeparator(c)) {
      if (isSeparator(version[i - 1])) return false;
    } else if (!isDigit(c) && !isLetter(c)) {
      return false;
    }
  }
  return true;
}

int compareVersions(std::string_view a, std::string_view b) {
  const auto pa = split(a);
  const auto pb = split(b);
  const std::size_t n = pa.size() > pb.size() ? pa.size() : pb.size();
  for (std::size_t i = 0; i < n; ++i) {
    int c;
    if (i >= pa.size()) c = -compareWithEnd(pb[i]);
    else if (i >= pb.size()) c = compareWithEnd(pa[i]);
    else c = compareParts(pa[i], pb[i]);
    if (c != 0) return c;
  }
  return 0;
}

}  // namespace duskwarden
