// .reg reader: any bytes end in edits or a line-numbered error, never a crash. Edits that
// parse must apply to a store, and what the store then holds must survive being written in
// both formats and read back.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include "platform/reg_file.h"
#include "platform/registry_store.h"

using namespace narwick::platform;

namespace {

std::vector<std::vector<RegKeyRecord>> Snapshot(RegistryStore& store) {
  std::vector<std::vector<RegKeyRecord>> trees;
  for (const auto& root : RootKeys()) {
    std::vector<RegKeyRecord> tree;
    if (store.ExportTree(root.handle, "", &tree) != reg::kSuccess) std::abort();
    trees.push_back(std::move(tree));
  }
  return trees;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A first byte below 0x10 (never the start of a real file) puts a header and a key line in
  // front of the rest, so that random bytes reach the value parser.
  std::vector<std::uint8_t> input(data, data + size);
  if (size > 0 && data[0] < 0x10) {
    static constexpr std::string_view kPrefixes[] = {
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\F]\r\n\"",
        "Windows Registry Editor Version 5.00\n[HKEY_USERS\\F]\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\F]\n\"v\"=hex",
        "Windows Registry Editor Version 5.00\r\n[HKEY_CURRENT_USER\\F]\r\n\"v\"=hex(2):",
    };
    std::string_view prefix = kPrefixes[data[0] % std::size(kPrefixes)];
    input.assign(prefix.begin(), prefix.end());
    input.insert(input.end(), data + 1, data + size);
  }
  RegFileParse parsed = ParseRegFile(input);
  if (parsed.error) {
    if (parsed.error->line < 1 || !parsed.edits.empty()) std::abort();
    return 0;
  }
  auto store = RegistryStore::Open(":memory:");
  if (store->ApplyEdits(parsed.edits) != reg::kSuccess) std::abort();
  const auto before = Snapshot(*store);
  for (RegFileFormat format : {RegFileFormat::kVersion5, RegFileFormat::kRegedit4}) {
    auto copy = RegistryStore::Open(":memory:");
    std::size_t i = 0;
    for (const auto& root : RootKeys()) {
      RegFileParse again = ParseRegFile(WriteRegFile(format, root, before[i++]));
      if (again.error || copy->ApplyEdits(again.edits) != reg::kSuccess) std::abort();
    }
    if (Snapshot(*copy) != before) std::abort();
  }
  return 0;
}
