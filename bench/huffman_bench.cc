// HE3 codec throughput beside zlib's Huffman-only mode (deflate and inflate of its
// Z_HUFFMAN_ONLY stream) and the plain model, all in one run on the corpus the LZ benchmark
// uses (files on this machine: text, source, binary; random and repetitive data).
//   huffman_bench [--quick]
// Prints one line per (data set, coder) with MB/s of uncompressed data and the size ratio,
// then the ratios the targets are stated in.
#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench_corpus.h"
#include "compress/huffman/he3_reference.h"
#include "compress/huffman/huffman_codec.h"
#include "bench_timing.h"

namespace {

using namespace narwick::bench;
namespace fs = std::filesystem;

double Mbs(std::size_t bytes, double seconds) { return static_cast<double>(bytes) / 1e6 / seconds; }

struct Row {
  double enc = 0;
  double dec = 0;
  double ratio = 0;
};

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "round trip failed: %s\n", what);
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const int reps = quick ? 1 : 5;

  const std::vector<std::pair<std::string, Bytes>> sets = CorpusSets();

  std::printf("%-11s %10s  %-14s %10s %10s %8s\n", "set", "bytes", "coder", "enc MB/s", "dec MB/s", "ratio");
  std::map<std::string, std::map<std::string, Row>> table;
  for (const auto& [name, data] : sets) {
    const std::size_t n = data.size();
    auto& rows = table[name];

    // Narwick HE3.
    Bytes block;
    const double t_enc = narwick::bench::BestSeconds(reps, [&] { block = narwick::huffman::Encode(data); });
    narwick::huffman::DecodeResult back;
    const double t_dec = narwick::bench::BestSeconds(reps, [&] { back = narwick::huffman::Decode(block); });
    Check(back.status == narwick::huffman::DecodeStatus::kOk && back.bytes == data, "narwick");
    rows["narwick"] = {Mbs(n, t_enc), Mbs(n, t_dec), static_cast<double>(block.size()) / static_cast<double>(n)};

    // zlib, Huffman-only deflate (raw stream, level 1 to skip nothing the mode does not use).
    Bytes z(deflateBound(nullptr, n) + 1024);
    std::size_t z_size = 0;
    const double t_zenc = narwick::bench::BestSeconds(reps, [&] {
      z_stream s{};
      deflateInit2(&s, 1, Z_DEFLATED, -15, 9, Z_HUFFMAN_ONLY);
      s.next_in = const_cast<Bytef*>(data.data());
      s.avail_in = static_cast<uInt>(n);
      s.next_out = z.data();
      s.avail_out = static_cast<uInt>(z.size());
      deflate(&s, Z_FINISH);
      z_size = s.total_out;
      deflateEnd(&s);
    });
    Bytes zback(n);
    const double t_zdec = narwick::bench::BestSeconds(reps, [&] {
      z_stream s{};
      inflateInit2(&s, -15);
      s.next_in = z.data();
      s.avail_in = static_cast<uInt>(z_size);
      s.next_out = zback.data();
      s.avail_out = static_cast<uInt>(n);
      inflate(&s, Z_FINISH);
      inflateEnd(&s);
    });
    Check(zback == data, "zlib");
    rows["zlib-huffman"] = {Mbs(n, t_zenc), Mbs(n, t_zdec), static_cast<double>(z_size) / static_cast<double>(n)};

    // The plain model (one run: it is slow and only sets the baseline).
    narwick::huffman::reference::Outcome model_block;
    const double t_menc = narwick::bench::BestSeconds(1, [&] { model_block = narwick::huffman::reference::Encode(data); });
    narwick::huffman::reference::Outcome model_back;
    const double t_mdec = narwick::bench::BestSeconds(1, [&] { model_back = narwick::huffman::reference::Decode(model_block.bytes); });
    Check(model_block.bytes == block && model_back.bytes == data, "model");
    rows["plain model"] = {Mbs(n, t_menc), Mbs(n, t_mdec), static_cast<double>(block.size()) / static_cast<double>(n)};

    for (const auto& coder : {"narwick", "zlib-huffman", "plain model"}) {
      const Row& r = rows[coder];
      std::printf("%-11s %10zu  %-14s %10.1f %10.1f %8.3f\n", name.c_str(), n, coder, r.enc, r.dec, r.ratio);
    }
  }
  const auto& total = table["all"];
  std::printf("\nall data: encode %.2fx zlib Huffman-only deflate (target 2x), %.2fx the plain model\n",
              total.at("narwick").enc / total.at("zlib-huffman").enc,
              total.at("narwick").enc / total.at("plain model").enc);
  std::printf("all data: decode %.2fx zlib inflate (target 1.5x), %.2fx the plain model\n",
              total.at("narwick").dec / total.at("zlib-huffman").dec,
              total.at("narwick").dec / total.at("plain model").dec);
  return 0;
}
