// Progress events of clsLZCompression's codec runs, shared by its string and file members.
#pragma once

#include <cstdint>

namespace narwick {

class clsLZCompression;

// Percent of `total` as the host computes it: a Double quotient handed over as a Single.
struct LzProgress {
  clsLZCompression* owner;
  double total;
  void operator()(std::uint64_t done) const;
};

}  // namespace narwick
