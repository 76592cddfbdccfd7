// LZ codec throughput beside zlib (levels 1 and 6), lz4 and the plain reference
// transcription, all in one run on a corpus built from files on this machine.
//   lz_bench [--quick]
// Prints one line per (data set, coder) with MB/s and the compressed size ratio, then the
// ratios the targets are stated in.
#include <lz4.h>
#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench_corpus.h"
#include "bench_sink.h"
#include "compress/lz/lz_codec.h"
#include "compress/lz/lz_reference_test_model.h"
#include "compress/lz/lz_split_encoder.h"
#include "bench_timing.h"

namespace {

using namespace narwick::bench;
namespace fs = std::filesystem;

struct NoProgress {
  void operator()(std::uint64_t) {}
};

struct Row {
  double comp_mbs = 0;
  double decomp_mbs = 0;
  double ratio = 0;  // compressed / original
};

double Mbs(std::size_t bytes, double seconds) { return static_cast<double>(bytes) / 1e6 / seconds; }

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const int reps = quick ? 1 : 3;

  const std::vector<std::pair<std::string, Bytes>> sets = CorpusSets();

  std::printf("%-11s %10s  %-12s %10s %10s %8s\n", "set", "bytes", "coder", "comp MB/s", "dec MB/s", "ratio");
  std::map<std::string, std::map<std::string, Row>> table;
  auto codec = std::make_unique<narwick::lz::Codec>();
  auto model = std::make_unique<narwick::lz::reference::Model>();

  for (const auto& [name, data] : sets) {
    const std::size_t n = data.size();
    // Narwick LZ.
    Bytes room(n + n / 8 + 64, 1);
    BufferSink sink{&room};
    NoProgress progress;
    const double t_enc = narwick::bench::BestSeconds(reps, [&] {
      sink.used = 0;
      narwick::lz::MemorySource source(data);
      codec->Encode(source, sink, progress);
    });
    const Bytes body = sink.Bytes();
    const double t_dec = narwick::bench::BestSeconds(reps, [&] {
      sink.used = 0;
      narwick::lz::MemorySource source(body);
      codec->Decode(source, n, sink, progress);
    });
    if (sink.Bytes() != data) {
      std::fprintf(stderr, "round trip failed on %s\n", name.c_str());
      return 1;
    }
    table[name]["narwick-lz"] = {Mbs(n, t_enc), Mbs(n, t_dec), double(body.size()) / double(n)};

    // The same coder split over the machine's threads: elapsed time, as its CPU time is the
    // threads' sum; zlib level 1 is timed the same way below for the comparison.
    narwick::lz::SplitReport report;
    const double t_split = narwick::bench::BestSeconds(
        reps,
        [&] {
          sink.used = 0;
          narwick::lz::EncodeBuffer(*codec, data, sink, progress, {}, &report);
        },
        WallSeconds);
    const Bytes split_body = sink.Bytes();
    if (split_body != body) {
      std::fprintf(stderr, "split and one-thread coding differ on %s\n", name.c_str());
      return 1;
    }
    table[name]["narwick-split"] = {Mbs(n, t_split), 0, double(split_body.size()) / double(n)};
    std::printf("%-11s %10zu  split into %zu parts, %zu coded again\n", name.c_str(), n, report.parts, report.redone);

    // Reference transcription, best of as many runs as the others, and a check that it agrees.
    narwick::lz::reference::EncodeResult ref;
    const double t_ref = narwick::bench::BestSeconds(reps, [&] { ref = model->Encode(data.data(), n); });
    if (ref.body != body) {
      std::fprintf(stderr, "reference and library differ on %s\n", name.c_str());
      return 1;
    }
    table[name]["reference"] = {Mbs(n, t_ref), 0, double(ref.body.size()) / double(n)};

    // zlib levels 1 and 6 (raw compress/uncompress API).
    for (int level : {1, 6}) {
      uLongf bound = compressBound(static_cast<uLong>(n));
      Bytes z(bound);
      uLongf zsize = bound;
      const double t_z = narwick::bench::BestSeconds(reps, [&] {
        zsize = bound;
        compress2(z.data(), &zsize, data.data(), static_cast<uLong>(n), level);
      });
      Bytes back(n);
      const double t_uz = narwick::bench::BestSeconds(reps, [&] {
        uLongf out = static_cast<uLongf>(n);
        uncompress(back.data(), &out, z.data(), zsize);
      });
      table[name][level == 1 ? "zlib-1" : "zlib-6"] = {Mbs(n, t_z), Mbs(n, t_uz), double(zsize) / double(n)};
      if (level == 1) {
        const double t_wall = narwick::bench::BestSeconds(
            reps,
            [&] {
              zsize = bound;
              compress2(z.data(), &zsize, data.data(), static_cast<uLong>(n), level);
            },
            WallSeconds);
        table[name]["zlib-1-wall"] = {Mbs(n, t_wall), 0, double(zsize) / double(n)};
      }
    }

    // lz4 default.
    const int bound = LZ4_compressBound(static_cast<int>(n));
    Bytes l(static_cast<std::size_t>(bound));
    int lsize = 0;
    const double t_l = narwick::bench::BestSeconds(reps, [&] {
      lsize = LZ4_compress_default(reinterpret_cast<const char*>(data.data()), reinterpret_cast<char*>(l.data()),
                                   static_cast<int>(n), bound);
    });
    Bytes lback(n);
    const double t_ul = narwick::bench::BestSeconds(reps, [&] {
      LZ4_decompress_safe(reinterpret_cast<const char*>(l.data()), reinterpret_cast<char*>(lback.data()), lsize,
                          static_cast<int>(n));
    });
    table[name]["lz4"] = {Mbs(n, t_l), Mbs(n, t_ul), double(lsize) / double(n)};

    for (const char* coder : {"narwick-lz", "narwick-split", "reference", "zlib-1", "zlib-1-wall", "zlib-6", "lz4"}) {
      const Row& row = table[name][coder];
      std::printf("%-11s %10zu  %-12s %10.1f %10.1f %8.3f\n", name.c_str(), n, coder, row.comp_mbs,
                  row.decomp_mbs, row.ratio);
    }
  }

  std::printf("\nratios (narwick-lz over the other coder, higher is better for narwick):\n");
  std::printf("%-11s %14s %14s %16s %18s %18s\n", "set", "comp/zlib-1", "comp/reference", "decomp/inflate-6",
              "split/zlib-1 wall", "split/reference");
  for (const auto& [name, data] : sets) {
    auto& t = table[name];
    std::printf("%-11s %14.2f %14.2f %16.2f %18.2f %18.2f\n", name.c_str(),
                t["narwick-lz"].comp_mbs / t["zlib-1"].comp_mbs, t["narwick-lz"].comp_mbs / t["reference"].comp_mbs,
                t["narwick-lz"].decomp_mbs / t["zlib-6"].decomp_mbs,
                t["narwick-split"].comp_mbs / t["zlib-1-wall"].comp_mbs,
                t["narwick-split"].comp_mbs / t["reference"].comp_mbs);
  }
  return 0;
}
