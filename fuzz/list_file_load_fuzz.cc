// Fuzz target: getLinkedListFromFile on hostile record files. Any input ends in True or False,
// never a crash or an unbounded allocation; the node store stays consistent; and every node
// loaded encodes to a record that decodes back to the same record bytes.
//
// Input: the file's bytes, as they are (wrong type codes, lengths past the record, truncated
// records, lengths that are not a multiple of 196).
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "list/list_record.h"
#include "list/ordered_list_peer.h"
#include "list/ordered_list_store.h"
#include "narwick/list/ordered_linked_list.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "list_file_load: %s\n", what);
    std::abort();
  }
}

const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    auto f = std::filesystem::temp_directory_path() / ("list_file_load_fuzz_" + std::to_string(::getpid()));
    std::filesystem::create_directories(f);
    std::atexit([] { std::filesystem::remove_all(Folder()); });
    return f;
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace narwick;
  const auto input = Folder() / "input.lst";
  {
    std::ofstream out(input, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  clsOrderedLinkedList list;
  list.getLinkedListFromFile(FromUtf8(input.string()));
  Check(OrderedLinkedListPeer::Store(list).CheckInvariants().empty(), "store inconsistent after load");
  Check(list.NodeCount() <= static_cast<Long>(size / 196), "more nodes than whole records");

  // What was decoded fits its record again: each node encodes, and its record decodes to a
  // node that encodes to the same bytes.
  for (list::ListNode* node : OrderedLinkedListPeer::Store(list).Nodes()) {
    std::array<std::uint8_t, list::format::kRecordSize> once{}, twice{};
    Check(list::EncodeRecord(node->index, node->items, once) == list::EncodeStatus::kOk, "a loaded node has no record");
    Long index = 0;
    list::Items items;
    Check(list::DecodeRecord(once, index, items), "an encoded record does not decode");
    Check(index == node->index, "index changed in the round trip");
    Check(list::EncodeRecord(index, items, twice) == list::EncodeStatus::kOk, "a decoded node has no record");
    Check(once == twice, "record round trip changed the bytes");
  }
  return 0;
}
