#pragma once
// Why night light is not on, or why the last request could not be carried
// out, as a backend knows it: what the table's get_reason answers. Written
// from the backend's own thread and the caller's queue alike.

#include <cstddef>
#include <mutex>
#include <string>

#include "duskwarden/nightlight.h"

namespace duskwarden::provider {

struct Reason {
  int code = DW_NIGHTLIGHT_REASON_NONE;
  std::string message;
};

class ReasonBox {
 public:
  void set(int code, std::string message);
  void clear() { set(DW_NIGHTLIGHT_REASON_NONE, {}); }
  Reason get() const;

 private:
  mutable std::mutex mutex_;
  Reason reason_;
};

// `message` as get_reason hands it out: one line of printable text (control
// characters become spaces, bytes that are not UTF-8 become '?'), cut at a
// character boundary so that it fits `size` bytes with its NUL.
void copyReasonMessage(const std::string& message, char* out, std::size_t size);

}  // namespace duskwarden::provider
