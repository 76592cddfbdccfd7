// A short tour of Narwick from C++, entirely late-bound: every object is created by its ProgID
// and driven by member name, as an Automation host would. `make demo` runs it.
#include <narwick/narwick.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using narwick::ByRef;
using narwick::CreateObject;
using narwick::Object;
using narwick::Variant;

std::string Text(const Variant& v) { return narwick::ToUtf8(narwick::CStr(v)); }

bool Available(const char* progid) {
  if (narwick::IsClassAvailable(progid)) return true;
  std::printf("  (%s is not available in this build)\n", progid);
  return false;
}

void ListTour() {
  std::printf("\n== Narwick.clsOrderedLinkedList: a twelve-column list kept in index order\n");
  if (!Available("Narwick.clsOrderedLinkedList")) return;
  Object list = CreateObject("Narwick.clsOrderedLinkedList");
  list.Call("AddNewNode", {30, u"Oslo", u"Norway", 709037});
  list.Call("AddNewNode", {10, u"Lima", u"Peru", 10151200});
  list.Call("AddNewNode", {20, u"Kyiv", u"Ukraine", 2952301});
  std::printf("  NodeCount = %s, LBoundNodeIndex = %s, UBoundNodeIndex = %s\n",
              Text(list.Call("NodeCount")).c_str(), Text(list.Call("LBoundNodeIndex")).c_str(),
              Text(list.Call("UBoundNodeIndex")).c_str());
  std::printf("  walking with the cursor:\n");
  list.Call("MoveFirst");
  while (!narwick::CBool(list.Call("IsTailNode"))) {
    Variant item1 = 1, item2 = 2, item3 = 3;
    std::printf("    %-3s %-6s %-8s %s\n", Text(list.Call("getCurrentListIndex")).c_str(),
                Text(list.Call("getCurrentListItem", {ByRef(item1)})).c_str(),
                Text(list.Call("getCurrentListItem", {ByRef(item2)})).c_str(),
                Text(list.Call("getCurrentListItem", {ByRef(item3)})).c_str());
    list.Call("MoveNext");
  }
  Variant index = 20, item = 1;
  list.Call("editItem", {ByRef(index), u"Kiev/Kyiv", ByRef(item)});
  std::printf("  after editItem(20, 1): getListItem(20, 1) = %s\n",
              Text(list.Call("getListItem", {ByRef(index), ByRef(item)})).c_str());
}

void LzTour() {
  std::printf("\n== Narwick.clsLZCompression: the QVXLZ1 string container, with progress events\n");
  if (!Available("Narwick.clsLZCompression")) return;
  Object lz = CreateObject("Narwick.clsLZCompression");
  int events = 0;
  lz.Advise([&](narwick::EventCall& e) {
    if (e.name == "FileProgress" && events++ < 8) std::printf("    FileProgress %s%%\n", Text(e.args[0]).c_str());
  });
  std::u16string text;
  for (int i = 0; i < 400; ++i) text += u"the quick brown fox jumps over the lazy dog. ";
  Variant packed = lz.Call("CompressString", {text});
  Variant restored = lz.Call("DecompressString", {packed});
  std::printf("  %zu characters -> %zu characters; restored %s\n", text.size(),
              narwick::CStr(packed).size(), narwick::CStr(restored) == text ? "exactly" : "WRONG");
}

void HuffmanTour() {
  std::printf("\n== Narwick.clsHuffmanCompression: the HE3 block\n");
  if (!Available("Narwick.clsHuffmanCompression")) return;
  Object he3 = CreateObject("Narwick.clsHuffmanCompression");
  std::vector<std::string> progress;
  he3.Advise([&](narwick::EventCall& e) {
    if (e.name == "FileProgress") progress.push_back(Text(e.args[0]));
  });
  std::u16string text;
  for (int i = 0; i < 300; ++i) text += u"abracadabra, a Huffman coder likes skewed letters. ";
  Variant encoded = he3.Call("EncodeString", {text});
  Variant decoded = he3.Call("DecodeString", {encoded});
  std::printf("  %zu characters -> %zu; restored %s\n", text.size(), narwick::CStr(encoded).size(),
              narwick::CStr(decoded) == text ? "exactly" : "WRONG");
  std::string shown;
  for (const auto& p : progress) shown += " " + p;
  std::printf("  FileProgress events (encode, then decode):%s\n", shown.c_str());
}

void CaseTour() {
  std::printf("\n== Narwick.clsManageTypeCase: names and addresses in normal case\n");
  if (!Available("Narwick.clsManageTypeCase")) return;
  Object tc = CreateObject("Narwick.clsManageTypeCase");
  for (const char16_t* line : {u"JOHN SMITH PO BOX 12 OTTAWA ON K1A 0B1", u"1200 N MAIN ST NW APT 3 SPRINGFIELD IL"}) {
    std::printf("  %-42s -> %s\n", narwick::ToUtf8(line).c_str(), Text(tc.Call("modifyCase", {line})).c_str());
  }
}

void CollectionsTour() {
  std::printf("\n== Narwick.clsDictionary and Narwick.clsQueue\n");
  if (Available("Narwick.clsDictionary")) {
    Object dict = CreateObject("Narwick.clsDictionary");
    dict.Call("Add", {u"b", 2});
    dict.Call("Add", {u"a", 1});
    std::printf("  dictionary Count = %s, Exists(\"a\") = %s\n", Text(dict.Call("Count")).c_str(),
                Text(dict.Call("Exists", {u"a"})).c_str());
  }
  if (Available("Narwick.clsQueue")) {
    Object queue = CreateObject("Narwick.clsQueue");
    std::printf("  queue created, Size = %s\n", Text(queue.Get("Size")).c_str());
  }
}

}  // namespace

int main() {
  const auto& lib = narwick::TypeLibrary();
  std::printf("Narwick %s, type library %s %d.%d: %s\n", std::string(lib.file_version).c_str(),
              std::string(lib.name).c_str(), lib.major_version, lib.minor_version,
              narwick::ToUtf8(lib.help_string).c_str());
  try {
    ListTour();
    LzTour();
    HuffmanTour();
    CaseTour();
    CollectionsTour();
  } catch (const narwick::RuntimeError& e) {
    std::printf("run-time error %d: %s\n", e.number(), narwick::ToUtf8(e.description()).c_str());
    return 1;
  }
  return 0;
}
