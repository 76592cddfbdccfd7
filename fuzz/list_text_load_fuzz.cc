// Fuzz target: getLinkedListFromString on hostile list texts. Any input ends in True or False,
// never a crash; the node store stays consistent; and a list loaded from a text saves to a
// text that loads back to the same text (loading leaves only plain text items).
//
// Input: byte 0 picks the options (bit 0: empty the list first, bit 1: start from a non-empty
// list); the rest is the text, one character per byte through a table that favours the
// separators, digits and signs.
#include <cstdint>
#include <cstdlib>
#include <cstdio>

#include "list/ordered_list_peer.h"
#include "list/ordered_list_store.h"
#include "narwick/list/ordered_linked_list.h"

namespace {

char16_t CharOf(std::uint8_t b) {
  static const char16_t kCommon[] = u"|~~~0123456789-+ .&Hx$(),E";
  constexpr std::size_t kCommonCount = sizeof(kCommon) / sizeof(kCommon[0]) - 1;
  if (b < 128) return kCommon[b % kCommonCount];
  return static_cast<char16_t>(b < 192 ? b : 0x100 + b);  // Latin-1 and a few beyond
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "list_text_load: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace narwick;
  if (size == 0) return 0;
  const std::uint8_t options = data[0];
  String text;
  for (std::size_t i = 1; i < size; ++i) text.push_back(CharOf(data[i]));

  clsOrderedLinkedList list;
  if (options & 2) {
    list.AddNewNode(1, Variant(u"kept"));
    list.AddNewNode(50);
  }
  list.getLinkedListFromString(text, VariantBool((options & 1) != 0));
  Check(OrderedLinkedListPeer::Store(list).CheckInvariants().empty(), "store inconsistent after load");

  if (list.NodeCount() >= 2) {
    const String saved = list.putLinkedListToString();
    clsOrderedLinkedList again;
    Check(bool(again.getLinkedListFromString(saved)), "a saved text did not load");
    Check(again.putLinkedListToString() == saved, "text round trip changed the list");
    Check(again.NodeCount() == list.NodeCount(), "node count changed in the round trip");
  }
  return 0;
}
