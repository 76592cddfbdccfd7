// Whole-file compression and restoration through clsLZCompression and clsHuffmanCompression,
// each beside its in-memory codec (best of three), a plain copy of the file, zlib (gzip
// levels 1 and 6, streamed) and lz4 (4 MiB blocks) on the same file, in one run. Each file
// job runs three times in a child process, so that its peak RSS is its own; the best CPU
// time (all threads) and the best wall time are kept, and the file jobs' throughput is
// given as a share of the in-memory codec's.
//   file_bench [--size MB] [--large] [--shares]
// --large adds a 512 MB input for the RSS figure; --shares prints only the file jobs' shares
// of their codecs (for comparing two builds of the file layer in alternating runs).
#include <lz4.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "compress/huffman/huffman_codec.h"
#include "compress/lz/lz_codec.h"
#include "compress/lz/lz_split_encoder.h"
#include "narwick/compress/huffman_compression.h"
#include "narwick/compress/lz_compression.h"
#include "narwick/frame/variant.h"
#include "bench_sink.h"
#include "bench_timing.h"

namespace {

using narwick::bench::BufferSink;

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// A mixed corpus of the machine's text, headers and a binary, cycled to `size` bytes.
Bytes Corpus(std::size_t size) {
  Bytes seed;
  const auto take = [&](const fs::path& root, std::size_t cap) {
    std::error_code ec;
    std::vector<fs::path> files;
    for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
         it != end; it.increment(ec)) {
      if (ec) break;
      if (it->is_regular_file(ec) && !it->is_symlink(ec)) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    std::size_t got = 0;
    for (const auto& f : files) {
      if (got >= cap) break;
      std::ifstream in(f, std::ios::binary);
      Bytes b{std::istreambuf_iterator<char>(in), {}};
      b.resize(std::min(b.size(), cap - got));
      seed.insert(seed.end(), b.begin(), b.end());
      got += b.size();
    }
  };
  take("/usr/share/common-licenses", 1 << 20);
  take("/usr/include", 6 << 20);
  {
    std::ifstream in("/usr/bin/cmake", std::ios::binary);
    Bytes b{std::istreambuf_iterator<char>(in), {}};
    b.resize(std::min<std::size_t>(b.size(), 3 << 20));
    seed.insert(seed.end(), b.begin(), b.end());
  }
  if (seed.empty()) seed.assign(1 << 20, 'x');
  Bytes out(size);
  for (std::size_t i = 0; i < size; i += seed.size()) {
    std::memcpy(out.data() + i, seed.data(), std::min(seed.size(), size - i));
  }
  return out;
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
}

struct JobResult {
  double cpu_seconds = 0;
  double wall_seconds = 0;
  long peak_rss_kb = 0;
  bool ok = false;
};

// Runs `job` in a child, `reps` times; the best CPU and wall times, the largest peak RSS.
// The child times the job itself, from the call to its return (CPU time of all its threads),
// as the codecs are timed: forking and tearing down a process took 3.5 to 8 ms here, which
// is the benchmark's cost, not the job's. The output of the run before is removed, and what
// earlier runs wrote is flushed to disk, before the clock starts: freeing a 64 MB file costs
// 6 to 12 ms here, and the kernel writing back earlier outputs beside the job took one of
// the two processors from it at random (rounds at half speed). Neither is the job's work.
JobResult InChild(const std::function<bool()>& job, const fs::path& out, int reps = 3) {
  JobResult best;
  best.cpu_seconds = best.wall_seconds = 1e300;
  best.ok = true;
  for (int rep = 0; rep < reps; ++rep) {
    std::error_code ignored;
    fs::remove(out, ignored);
    ::sync();
    int fds[2];
    if (pipe(fds) != 0) return {};
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
      close(fds[0]);
      const double start[2] = {narwick::bench::WallSeconds(), narwick::bench::ProcessSeconds()};
      const bool ok = job();
      const double spent[2] = {narwick::bench::WallSeconds() - start[0], narwick::bench::ProcessSeconds() - start[1]};
      _exit(ok && write(fds[1], spent, sizeof spent) == sizeof spent ? 0 : 1);
    }
    close(fds[1]);
    double spent[2] = {0, 0};
    const bool reported = read(fds[0], spent, sizeof spent) == sizeof spent;
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    best.wall_seconds = std::min(best.wall_seconds, spent[0]);
    best.cpu_seconds = std::min(best.cpu_seconds, spent[1]);
    best.peak_rss_kb = std::max(best.peak_rss_kb, usage.ru_maxrss);
    best.ok = best.ok && reported && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  return best;
}

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Runs `timed` in a child (so that the parent's memory stays small) and returns the seconds
// it reports.
double SecondsInChild(const std::function<double()>& timed) {
  ::sync();  // as for the file jobs: no writeback of earlier outputs beside it
  int fds[2];
  if (pipe(fds) != 0) return 0;
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const double seconds = timed();
    _exit(write(fds[1], &seconds, sizeof seconds) == sizeof seconds ? 0 : 1);
  }
  close(fds[1]);
  double seconds = 0;
  if (read(fds[0], &seconds, sizeof seconds) != sizeof seconds) seconds = 0;
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return seconds;
}

// The least any file job pays: the file read and written once through a 256 KiB buffer.
bool PlainCopy(const fs::path& in, const fs::path& out) {
  std::FILE* src = std::fopen(in.c_str(), "rb");
  std::FILE* dst = std::fopen(out.c_str(), "wb");
  if (src == nullptr || dst == nullptr) return false;
  std::vector<char> buf(1 << 18);
  std::size_t n;
  bool ok = true;
  while ((n = std::fread(buf.data(), 1, buf.size(), src)) > 0) ok = ok && std::fwrite(buf.data(), 1, n, dst) == n;
  std::fclose(src);
  return std::fclose(dst) == 0 && ok;
}

bool Gzip(const fs::path& in, const fs::path& out, int level) {
  std::ifstream src(in, std::ios::binary);
  gzFile gz = gzopen(out.c_str(), level == 1 ? "wb1" : "wb6");
  if (gz == nullptr) return false;
  std::vector<char> buf(1 << 18);
  while (src) {
    src.read(buf.data(), static_cast<std::streamsize>(buf.size()));
    if (src.gcount() > 0 && gzwrite(gz, buf.data(), static_cast<unsigned>(src.gcount())) == 0) return false;
  }
  return gzclose(gz) == Z_OK;
}

bool Gunzip(const fs::path& in, const fs::path& out) {
  gzFile gz = gzopen(in.c_str(), "rb");
  if (gz == nullptr) return false;
  std::ofstream dst(out, std::ios::binary);
  std::vector<char> buf(1 << 18);
  int n;
  while ((n = gzread(gz, buf.data(), static_cast<unsigned>(buf.size()))) > 0) dst.write(buf.data(), n);
  gzclose(gz);
  return n == 0;
}

bool Lz4File(const fs::path& in, const fs::path& out) {
  std::ifstream src(in, std::ios::binary);
  std::ofstream dst(out, std::ios::binary);
  const int block = 4 << 20;
  std::vector<char> buf(block), packed(static_cast<std::size_t>(LZ4_compressBound(block)));
  while (src) {
    src.read(buf.data(), block);
    const int n = static_cast<int>(src.gcount());
    if (n <= 0) break;
    const int m = LZ4_compress_default(buf.data(), packed.data(), n, static_cast<int>(packed.size()));
    dst.write(reinterpret_cast<const char*>(&m), 4).write(reinterpret_cast<const char*>(&n), 4).write(packed.data(), m);
  }
  return true;
}

bool Unlz4File(const fs::path& in, const fs::path& out) {
  std::ifstream src(in, std::ios::binary);
  std::ofstream dst(out, std::ios::binary);
  std::vector<char> packed, buf;
  int m = 0, n = 0;
  while (src.read(reinterpret_cast<char*>(&m), 4) && src.read(reinterpret_cast<char*>(&n), 4)) {
    packed.resize(static_cast<std::size_t>(m));
    buf.resize(static_cast<std::size_t>(n));
    src.read(packed.data(), m);
    if (LZ4_decompress_safe(packed.data(), buf.data(), m, n) != n) return false;
    dst.write(buf.data(), n);
  }
  return true;
}

struct NoProgress {
  void operator()(std::uint64_t) {}
};

// The block as one window, for the codec's streaming decoder.
class WholeBlock final : public narwick::huffman::BlockSource {
 public:
  explicit WholeBlock(std::span<const std::uint8_t> block) : block_(block) {}
  std::uint64_t Size() const override { return block_.size(); }
  Window First() override { return {block_, 0, true}; }
  Window From(std::uint64_t) override { return {block_, 0, true}; }

 private:
  std::span<const std::uint8_t> block_;
};

// One room that was touched before the clock starts.
struct WarmSink final : narwick::huffman::DecodeSink {
  explicit WarmSink(std::span<std::uint8_t> r) : room(r) {}
  std::span<std::uint8_t> Start(std::uint64_t) override { return room; }
  std::span<std::uint8_t> Take(std::span<const std::uint8_t>) override { return {}; }
  void Finish(std::span<const std::uint8_t>) override {}
  std::span<std::uint8_t> room;
};

// Runs `job` as InChild does and prints its line.
void Row(const char* what, std::size_t bytes, const std::function<bool()>& job, const fs::path& out, int reps = 3) {
  const JobResult r = InChild(job, out, reps);
  std::error_code ec;
  const auto out_size = fs::file_size(out, ec);
  std::printf("%-26s %9.1f MB/s  wall %9.1f MB/s  peak RSS %7.1f MB  output %10llu%s\n", what,
              static_cast<double>(bytes) / 1e6 / r.cpu_seconds, static_cast<double>(bytes) / 1e6 / r.wall_seconds,
              static_cast<double>(r.peak_rss_kb) / 1024.0,
              static_cast<unsigned long long>(out_size), r.ok ? "" : "  FAILED");
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t mb = 64;
  bool large = false;
  bool shares_only = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) mb = std::strtoul(argv[++i], nullptr, 10);
    if (std::strcmp(argv[i], "--large") == 0) large = true;
    if (std::strcmp(argv[i], "--shares") == 0) shares_only = true;
  }
  const fs::path dir = fs::temp_directory_path() / ("narwick-file-bench-" + std::to_string(getpid()));
  fs::create_directories(dir);
  Bytes data = Corpus(mb << 20);
  const std::size_t size = data.size();
  const fs::path input = dir / "corpus.bin";
  WriteFile(input, data);
  std::printf("corpus: %zu bytes in %s\n", size, input.c_str());

  // The in-memory codecs on the same bytes, best of three.
  if (!shares_only) {
    auto codec = std::make_unique<narwick::lz::Codec>();
    // Output buffers are touched once first, so page faults are not charged to the codec.
    Bytes room(data.size() + data.size() / 8 + 64, 0);
    BufferSink sink{&room};
    NoProgress progress;
    const double enc = narwick::bench::BestSeconds(3, [&] {
      sink.used = 0;
      narwick::lz::MemorySource source(data);
      codec->Encode(source, sink, progress);
    });
    const Bytes body = sink.Bytes();
    const double dec = narwick::bench::BestSeconds(3, [&] {
      sink.used = 0;
      narwick::lz::MemorySource body_source(body);
      codec->Decode(body_source, data.size(), sink, progress);
    });
    const double split = narwick::bench::BestSeconds(
        3,
        [&] {
          sink.used = 0;
          narwick::lz::EncodeBuffer(*codec, data, sink, progress);
        },
        narwick::bench::WallSeconds);
    std::printf("%-26s %9.1f MB/s\n%-26s %9.1f MB/s (elapsed)\n%-26s %9.1f MB/s\n", "lz in memory, compress",
                static_cast<double>(data.size()) / 1e6 / enc, "lz in memory, split",
                static_cast<double>(data.size()) / 1e6 / split, "lz in memory, decompress",
                static_cast<double>(data.size()) / 1e6 / dec);
  }

  // The Huffman codec in memory, twice: as the byte-array members call it (a fresh result
  // each time, whose first-touch page faults are part of the figure), and streamed into
  // output that was touched before, which is the codec's own speed and what the file
  // members are measured against.
  if (!shares_only) {
    double t0 = narwick::bench::ProcessSeconds();
    Bytes block = narwick::huffman::Encode(data);
    const double enc = narwick::bench::ProcessSeconds() - t0;
    t0 = narwick::bench::ProcessSeconds();
    auto back = narwick::huffman::Decode(block);
    const double dec = narwick::bench::ProcessSeconds() - t0;
    std::printf("%-26s %9.1f MB/s\n%-26s %9.1f MB/s%s\n", "huffman Encode (fresh out)",
                static_cast<double>(data.size()) / 1e6 / enc, "huffman Decode (fresh out)",
                static_cast<double>(data.size()) / 1e6 / dec, back.bytes == data ? "" : "  MISMATCH");

    Bytes warm(block.size() + 64, 1);
    std::size_t at = 0;
    const double warm_enc = narwick::bench::BestSeconds(3, [&] {
      narwick::huffman::Encoder encoder(data.size(), {});
      encoder.Count(data);
      const Bytes head = encoder.Head();
      at = head.size();
      at += encoder.EncodeBody(data, warm.data() + at);
      at += encoder.FinishBody(warm.data() + at);
      std::memcpy(warm.data(), head.data(), head.size());
    });
    WholeBlock source(std::span(warm.data(), at));
    Bytes restored(data.size(), 1);
    narwick::huffman::DecodeStatus status{};
    const double warm_dec = narwick::bench::BestSeconds(3, [&] {
      WarmSink sink{std::span(restored)};
      status = narwick::huffman::Decode(source, static_cast<std::int64_t>(at), sink);
    });
    const bool same = status == narwick::huffman::DecodeStatus::kOk && at == block.size() &&
                      std::equal(block.begin(), block.end(), warm.begin()) && restored == data;
    std::printf("%-26s %9.1f MB/s\n%-26s %9.1f MB/s%s\n", "huffman codec, warm out",
                static_cast<double>(data.size()) / 1e6 / warm_enc, "huffman decode, warm out",
                static_cast<double>(data.size()) / 1e6 / warm_dec, same ? "" : "  MISMATCH");
  }

  // The children must not inherit the corpus: their peak RSS is to be their own.
  Bytes().swap(data);

  auto lz_job = [](const fs::path& in, const fs::path& out, bool compress) {
    return [=] {
      auto lz = std::make_shared<narwick::clsLZCompression>();
      narwick::String a = narwick::FromUtf8(in.string()), b = narwick::FromUtf8(out.string());
      return static_cast<bool>(compress ? lz->LZFileCompress(a, b) : lz->LZFileDecompress(a, b));
    };
  };
  const int reps = shares_only ? 1 : 3;
  Row("clsLZCompression compress", size, lz_job(input, dir / "c.qvx", true), dir / "c.qvx", reps);
  Row("clsLZCompression restore", size, lz_job(dir / "c.qvx", dir / "c.out", false), dir / "c.out", reps);
  auto huffman_job = [](const fs::path& in, const fs::path& out, bool compress) {
    return [=] {
      auto huffman = std::make_shared<narwick::clsHuffmanCompression>();
      narwick::String a = narwick::FromUtf8(in.string()), b = narwick::FromUtf8(out.string());
      return static_cast<bool>(compress ? huffman->CompressFile(a, b) : huffman->DecompressFile(a, b));
    };
  };
  Row("clsHuffmanCompression comp", size, huffman_job(input, dir / "h.he3", true), dir / "h.he3", reps);
  Row("clsHuffmanCompression rest", size, huffman_job(dir / "h.he3", dir / "h.out", false), dir / "h.out", reps);
  if (!shares_only) {
    Row("plain copy (256 KiB I/O)", size, [&] { return PlainCopy(input, dir / "copy.bin"); }, dir / "copy.bin");
    Row("gzip -1 (zlib)", size, [&] { return Gzip(input, dir / "g1.gz", 1); }, dir / "g1.gz");
    Row("gzip -6 (zlib)", size, [&] { return Gzip(input, dir / "g6.gz", 6); }, dir / "g6.gz");
    Row("gunzip of -6", size, [&] { return Gunzip(dir / "g6.gz", dir / "g6.out"); }, dir / "g6.out");
    Row("lz4 (4 MiB blocks)", size, [&] { return Lz4File(input, dir / "l.lz4"); }, dir / "l.lz4");
    Row("unlz4", size, [&] { return Unlz4File(dir / "l.lz4", dir / "l.out"); }, dir / "l.out");
  }
  // The share of the in-memory codec's throughput that each file job reaches. This machine's
  // speed drifts over seconds, so each of five rounds times the codec (in a child, on the
  // bytes of the same files, output touched beforehand) right before the file job, and the
  // median of the rounds' ratios is reported.
  const fs::path lz_body = dir / "c.qvx";
  const fs::path he3_block = dir / "h.he3";
  const auto lz_codec = [&](bool compress) {
    return [=] {
      const Bytes file = ReadFile(compress ? input : lz_body);
      auto codec = std::make_unique<narwick::lz::Codec>();
      NoProgress progress;
      Bytes out(size + (size >> 3) + 64, 1);
      BufferSink sink{&out};
      if (compress) {
        // On the machine's threads, like the file member: elapsed time.
        const double t0 = narwick::bench::WallSeconds();
        narwick::lz::EncodeBuffer(*codec, file, sink, progress);
        return narwick::bench::WallSeconds() - t0;
      }
      const double t0 = narwick::bench::ProcessSeconds();
      narwick::lz::MemorySource source(std::span<const std::uint8_t>(file).subspan(narwick::lz::kHeaderSize));
      codec->Decode(source, size, sink, progress);
      return narwick::bench::ProcessSeconds() - t0;
    };
  };
  const auto he3_codec = [&](bool compress) {
    return [=] {
      const Bytes file = ReadFile(compress ? input : he3_block);
      Bytes out(size + (size >> 2) + 64, 1);
      const double t0 = narwick::bench::ProcessSeconds();
      if (compress) {
        narwick::huffman::Encoder encoder(file.size(), {});
        encoder.Count(file);
        const Bytes head = encoder.Head();
        std::size_t at = head.size();
        at += encoder.EncodeBody(file, out.data() + at);
        encoder.FinishBody(out.data() + at);
      } else {
        WholeBlock source(file);
        WarmSink sink{std::span(out)};
        narwick::huffman::Decode(source, static_cast<std::int64_t>(file.size()), sink);
      }
      return narwick::bench::ProcessSeconds() - t0;
    };
  };
  std::printf("\nfile job over in-memory codec (throughput, median of 5 rounds; 1.00 = as fast, target at least 0.85):\n");
  std::printf("%-26s %8s %8s\n", "", "wall", "CPU");
  std::printf("(LZ compress runs on the machine's threads in memory and in the file: its in-memory time is\n"
              " elapsed time, and its wall column is the one to read)\n");
  const auto share = [](const char* what, const std::function<double()>& codec, const std::function<bool()>& job,
                        const fs::path& out) {
    std::vector<double> wall, cpu;
    for (int round = 0; round < 5; ++round) {
      const double memory_seconds = SecondsInChild(codec);
      const JobResult file = InChild(job, out, 1);
      wall.push_back(memory_seconds / file.wall_seconds);
      cpu.push_back(memory_seconds / file.cpu_seconds);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("%-26s %8.2f %8.2f   (wall %.2f to %.2f)\n", what, wall[2], cpu[2], wall.front(), wall.back());
  };
  share("LZ compress", lz_codec(true), lz_job(input, dir / "r.qvx", true), dir / "r.qvx");
  share("LZ restore", lz_codec(false), lz_job(lz_body, dir / "r.out", false), dir / "r.out");
  share("Huffman compress", he3_codec(true), huffman_job(input, dir / "r.he3", true), dir / "r.he3");
  share("Huffman restore", he3_codec(false), huffman_job(he3_block, dir / "r.hout", false), dir / "r.hout");
  for (const auto& [name, restored] : {std::pair{"LZ", dir / "c.out"}, std::pair{"Huffman", dir / "h.out"}}) {
    std::ifstream a(input, std::ios::binary), b(restored, std::ios::binary);
    const bool same = std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b), {});
    std::printf("%s round trip: %s\n", name, same ? "identical" : "DIFFERENT");
  }
  if (large) {
    const fs::path big = dir / "big.bin";
    {
      std::ifstream in(input, std::ios::binary);
      std::vector<char> chunk(1 << 20);
      std::ofstream out(big, std::ios::binary);
      for (int i = 0; i < 8; ++i) {
        in.clear();
        in.seekg(0);
        while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
          out.write(chunk.data(), in.gcount());
        }
      }
    }
    Row("clsLZCompression 8x size", size * 8, lz_job(big, dir / "big.qvx", true), dir / "big.qvx", 1);
    Row("restore 8x size", size * 8, lz_job(dir / "big.qvx", dir / "big.out", false), dir / "big.out", 1);
    Row("clsHuffman comp 8x size", size * 8, huffman_job(big, dir / "big.he3", true), dir / "big.he3", 1);
    Row("clsHuffman rest 8x size", size * 8, huffman_job(dir / "big.he3", dir / "big.hout", false), dir / "big.hout", 1);
  }
  fs::remove_all(dir);
  return 0;
}
