// A downstream program built against an installed Narwick: creates a class by ProgID and
// checks the type library identity, so both the headers and the library are exercised.
#include <narwick/narwick.h>

#include <cstdio>

int main() {
  narwick::Object collection = narwick::CreateObject("VBA.Collection");
  collection.Call("Add", {u"first"});
  collection.Call("Add", {u"second", u"key2"});
  narwick::Variant second = collection.Call("Item", {u"KEY2"});
  bool ok = narwick::CLng(collection.Call("Count")) == 2 && narwick::CStr(second) == u"second" &&
            narwick::TypeLibrary().name == "Narwick";
  std::printf("%s\n", ok ? "consumer ok" : "consumer FAILED");
  return ok ? 0 : 1;
}
