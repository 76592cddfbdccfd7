// Replays a fuzz target without libFuzzer: every file of a corpus folder, then N random
// inputs from a fixed seed (said before they run), so CTest exercises each target on every build.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Random inputs: mostly short, some long, with runs so that decoders see plausible headers.
std::vector<std::uint8_t> RandomInput(std::mt19937_64& rng) {
  std::size_t size = rng() % 4 == 0 ? rng() % 20000 : rng() % 300;
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = (rng() % 3 == 0 && i > 0) ? bytes[i - 1] : static_cast<std::uint8_t>(rng());
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t random_runs = 0;
  std::uint64_t seed = 20261205;
  std::vector<std::filesystem::path> paths;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--random" && i + 1 < argc) {
      random_runs = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--seed" && i + 1 < argc) {
      seed = std::strtoull(argv[++i], nullptr, 10);
    } else {
      paths.emplace_back(arg);
    }
  }
  std::size_t files = 0;
  for (const auto& path : paths) {
    if (std::filesystem::is_directory(path)) {
      for (const auto& entry : std::filesystem::directory_iterator(path)) {
        if (!entry.is_regular_file()) continue;
        auto bytes = ReadFile(entry.path());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        ++files;
      }
    } else if (std::filesystem::is_regular_file(path)) {
      auto bytes = ReadFile(path);
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++files;
    }
  }
  // Said up front so that a crash can be reproduced with --seed.
  std::fprintf(stderr, "random inputs from seed %llu\n", static_cast<unsigned long long>(seed));
  std::mt19937_64 rng(seed);
  for (std::size_t run = 0; run < random_runs; ++run) {
    auto bytes = RandomInput(rng);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("replayed %zu corpus files and %zu random inputs (seed %llu)\n", files, random_runs,
              static_cast<unsigned long long>(seed));
  return 0;
}
