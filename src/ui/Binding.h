#pragma once
// A two-way binding: reads and writes go to whoever owns the value.

#include <functional>

namespace duskwarden {

template <class T>
struct Binding {
  std::function<T()> get;
  std::function<void(T)> set;
};

template <class T>
struct ClosedRange {
  T lower;
  T upper;
};

}  // namespace duskwarden
