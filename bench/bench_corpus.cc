#include "bench_corpus.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

namespace narwick::bench {

namespace fs = std::filesystem;

void AppendFile(Bytes& out, const fs::path& path, std::size_t cap) {
  std::ifstream in(path, std::ios::binary);
  Bytes bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const std::size_t take = std::min(bytes.size(), cap - out.size());
  out.insert(out.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(take));
}

Bytes Gather(const fs::path& root, const std::vector<std::string>& extensions, std::size_t cap) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
       it != end; it.increment(ec)) {
    if (ec) break;
    if (!it->is_regular_file(ec) || it->is_symlink(ec)) continue;
    const auto ext = it->path().extension().string();
    if (extensions.empty() || std::find(extensions.begin(), extensions.end(), ext) != extensions.end()) {
      files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end());
  Bytes out;
  for (const auto& f : files) {
    if (out.size() >= cap) break;
    AppendFile(out, f, cap);
  }
  return out;
}

Bytes LargestBinary(std::size_t cap) {
  const std::vector<fs::path> candidates = {"/usr/bin/cmake", "/usr/bin/g++-12", "/usr/bin/gdb",
                                            "/usr/bin/python3.11", "/usr/bin/perl", "/usr/bin/bash"};
  Bytes out;
  for (const auto& c : candidates) {
    std::error_code ec;
    if (fs::is_regular_file(c, ec)) {
      AppendFile(out, c, cap);
      if (out.size() >= cap) break;
    }
  }
  return out;
}

Bytes RandomBytes(std::size_t size) {
  std::mt19937_64 rng(42);
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

Bytes Repetitive(std::size_t size) {
  std::mt19937_64 rng(7);
  static const char* kLines[] = {"INFO  request served in 3 ms\n", "WARN  cache miss for key ",
                                 "0000000000000000", "                                ",
                                 "ERROR connection reset by peer\n"};
  Bytes out;
  while (out.size() < size) {
    const char* line = kLines[rng() % std::size(kLines)];
    out.insert(out.end(), line, line + std::strlen(line));
    if (rng() % 5 == 0) out.insert(out.end(), 200 + rng() % 600, static_cast<std::uint8_t>('='));
  }
  out.resize(size);
  return out;
}

std::vector<std::pair<std::string, Bytes>> CorpusSets() {
  constexpr std::size_t kMb = 1 << 20;
  std::vector<std::pair<std::string, Bytes>> sets;
  sets.emplace_back("text", Gather("/usr/share/common-licenses", {}, 2 * kMb));
  {
    Bytes doc = Gather("/usr/share/doc", {".txt", ""}, 1 * kMb);
    sets.back().second.insert(sets.back().second.end(), doc.begin(), doc.end());
  }
  sets.emplace_back("source", Gather("/usr/include", {".h"}, 3 * kMb));
  sets.emplace_back("binary", LargestBinary(2 * kMb));
  sets.emplace_back("random", RandomBytes(1 * kMb));
  sets.emplace_back("repetitive", Repetitive(1 * kMb));
  Bytes all;
  for (const auto& [name, data] : sets) all.insert(all.end(), data.begin(), data.end());
  sets.emplace_back("all", all);
  return sets;
}

}  // namespace narwick::bench
