// RC4 throughput: the core on memory beside OpenSSL's RC4 on the same data, and the file
// member DecryptFile on a 256 MB file, all in one run.
//   rc4_bench [--quick] [--folder DIR]
// --quick uses 32 MB instead of 256 MB. The file goes to DIR (default: the temp folder) and
// is removed at the end. Each case runs several times, interleaved, and the best time counts.
// Times are the thread's CPU time (user and system, so the file member's reads and writes in
// the kernel count), which a neighbour's load on a shared machine disturbs far less than
// wall-clock time; the wall-clock best is printed beside it.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "narwick/frame/variant.h"
#include "narwick/system/encryption.h"
#include "system/rc4.h"
#include "bench_timing.h"

#if __has_include(<openssl/rc4.h>)
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/opensslconf.h>
#if !defined(OPENSSL_NO_RC4) && !defined(OPENSSL_NO_DEPRECATED_3_0)
#include <openssl/rc4.h>
#define NARWICK_BENCH_OPENSSL 1
#endif
#endif

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr char kKey[] = "bench key 0123456789";

struct Case {
  const char* name;
  std::function<void()> run;
  double best = 1e30;       // thread CPU seconds
  double best_wall = 1e30;  // wall-clock seconds

  void Time() {
    const auto wall_start = Clock::now();
    const double cpu_start = narwick::bench::ThreadSeconds();
    run();
    best = std::min(best, narwick::bench::ThreadSeconds() - cpu_start);
    best_wall = std::min(best_wall, std::chrono::duration<double>(Clock::now() - wall_start).count());
  }
};

void Report(const Case& c, std::size_t bytes) {
  const double mb = static_cast<double>(bytes) / 1e6;
  std::printf("%-34s %8.1f MB/s CPU  %8.1f MB/s wall\n", c.name, mb / c.best, mb / c.best_wall);
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t size = 256u << 20;
  fs::path folder = fs::temp_directory_path();
  for (int k = 1; k < argc; ++k) {
    if (std::strcmp(argv[k], "--quick") == 0) size = 32u << 20;
    if (std::strcmp(argv[k], "--folder") == 0 && k + 1 < argc) folder = argv[++k];
  }

  // Fixed-seed data; RC4 speed does not depend on the data, only its length.
  Bytes data(size);
  std::mt19937_64 rng(20261205);
  for (std::size_t k = 0; k + 8 <= size; k += 8) {
    const std::uint64_t word = rng();
    std::memcpy(&data[k], &word, 8);
  }
  const Bytes key(kKey, kKey + sizeof kKey - 1);
  Bytes out(size);

  const fs::path source = folder / ("narwick-rc4-bench-" + std::to_string(::getpid()) + ".in");
  const fs::path destination = folder / ("narwick-rc4-bench-" + std::to_string(::getpid()) + ".out");
  {
    std::ofstream file(source, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(size));
    if (!file) {
      std::fprintf(stderr, "rc4_bench: cannot write %s\n", source.c_str());
      return 1;
    }
  }
  narwick::clsEncryption enc;
  enc.encryptKey(narwick::FromUtf8(kKey));
  const narwick::String source_name = narwick::FromUtf8(source.string());
  const narwick::String destination_name = narwick::FromUtf8(destination.string());

  std::vector<Case> cases;
  cases.push_back({"core Cipher::Apply (memory)", [&] {
                     narwick::rc4::Cipher cipher(key);
                     cipher.Apply(data.data(), out.data(), size);
                   }});
#ifdef NARWICK_BENCH_OPENSSL
  cases.push_back({"OpenSSL RC4 (memory)", [&] {
                     RC4_KEY theirs;
                     RC4_set_key(&theirs, static_cast<int>(key.size()), key.data());
                     RC4(&theirs, size, data.data(), out.data());
                   }});
#endif
  cases.push_back({"clsEncryption.DecryptFile (file)", [&] {
                     if (enc.DecryptFile(source_name, destination_name)) {
                       std::fprintf(stderr, "rc4_bench: DecryptFile failed\n");
                       std::exit(1);
                     }
                   }});

  // Warm-up: page in the buffers and the destination file once.
  for (auto& c : cases) c.run();
  for (int round = 0; round < 7; ++round) {
    for (auto& c : cases) c.Time();
  }

  // The file's content must be the cipher of the data, as the memory run computed it.
  {
    narwick::rc4::Cipher cipher(key);
    cipher.Apply(data.data(), out.data(), size);
    std::ifstream file(destination, std::ios::binary);
    Bytes written(size);
    file.read(reinterpret_cast<char*>(written.data()), static_cast<std::streamsize>(size));
    if (written != out) {
      std::fprintf(stderr, "rc4_bench: the file's cipher differs from the memory cipher\n");
      return 1;
    }
  }
  fs::remove(source);
  fs::remove(destination);

  std::printf("rc4_bench: %zu MB, key of %zu bytes\n", size >> 20, key.size());
  for (const auto& c : cases) Report(c, size);
  const double core = cases.front().best;
  const double file = cases.back().best;
#ifdef NARWICK_BENCH_OPENSSL
  const double openssl = cases[1].best;
  std::printf("core / OpenSSL speed: %.2f (target >= 0.90; CPU time)\n", openssl / core);
#else
  std::printf("OpenSSL's RC4 not available: core / OpenSSL ratio not measured\n");
#endif
  std::printf("file / core speed:    %.2f (target >= 0.85; CPU time)\n", core / file);
  return 0;
}
