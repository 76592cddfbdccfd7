// The benchmark corpus: text, source, binary, random and repetitive data sets built from files
// on this machine, the same for every codec benchmark so their figures compare.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace narwick::bench {

using Bytes = std::vector<std::uint8_t>;

// Appends the file's bytes to `out`, up to `cap` bytes in all.
void AppendFile(Bytes& out, const std::filesystem::path& path, std::size_t cap);
// Regular files under `root` with one of `extensions` (all when empty), sorted for a stable
// corpus, appended until `cap` bytes.
Bytes Gather(const std::filesystem::path& root, const std::vector<std::string>& extensions, std::size_t cap);
// Large binaries from /usr/bin, up to `cap` bytes.
Bytes LargestBinary(std::size_t cap);
// Random bytes from a fixed seed.
Bytes RandomBytes(std::size_t size);
// Log-like lines with long runs, from a fixed seed.
Bytes Repetitive(std::size_t size);

// The named data sets every codec benchmark runs on: text, source, binary, random,
// repetitive, and all of them joined ("all").
std::vector<std::pair<std::string, Bytes>> CorpusSets();

}  // namespace narwick::bench
