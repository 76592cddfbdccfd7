// Automation integer arithmetic: a result outside the type's range is run-time error 6.
#pragma once

#include <cstdint>
#include <limits>

#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/types.h"

namespace narwick::checked {

template <class T>
T Narrow(std::int64_t value) {
  if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max()) {
    Raise(err::kOverflow);
  }
  return static_cast<T>(value);
}

inline Long Add(Long a, Long b) { return Narrow<Long>(std::int64_t{a} + b); }
inline Long Sub(Long a, Long b) { return Narrow<Long>(std::int64_t{a} - b); }
inline Long Mul(Long a, Long b) { return Narrow<Long>(std::int64_t{a} * b); }
inline Integer Add(Integer a, Integer b) { return Narrow<Integer>(std::int64_t{a} + b); }
inline Integer Sub(Integer a, Integer b) { return Narrow<Integer>(std::int64_t{a} - b); }
inline Integer Mul(Integer a, Integer b) { return Narrow<Integer>(std::int64_t{a} * b); }

}  // namespace narwick::checked
