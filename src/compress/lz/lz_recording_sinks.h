// A byte sink and a progress reporter that keep what they are given, for the coder's tests
// and fuzz targets (no test framework needed).
#pragma once

#include <cstdint>
#include <vector>

namespace narwick::lz {

struct VectorSink {
  std::vector<std::uint8_t> bytes;
  bool Put(const std::uint8_t* data, std::size_t size) {
    bytes.insert(bytes.end(), data, data + size);
    return true;
  }
};

struct Recorder {
  std::vector<std::uint64_t> points;
  void operator()(std::uint64_t done) { points.push_back(done); }
};

}  // namespace narwick::lz
