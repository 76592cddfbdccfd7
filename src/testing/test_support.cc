#include "testing/test_support.h"

#include <cstdlib>
#include <random>

#include "narwick/frame/convert.h"
#include "narwick/frame/object.h"
#include "narwick/frame/safe_array.h"

namespace narwick {

void PrintTo(const String& s, std::ostream* os) { *os << '"' << ToUtf8(s) << '"'; }

void PrintTo(const Variant& v, std::ostream* os) {
  switch (v.VarType()) {
    case VbVarType::vbEmpty: *os << "Empty"; return;
    case VbVarType::vbNull: *os << "Null"; return;
    case VbVarType::vbString: *os << "String \"" << ToUtf8(v.Str()) << '"'; return;
    case VbVarType::vbObject: *os << "Object " << (v.Obj().IsNothing() ? "Nothing" : v.Obj().ClassName()); return;
    case VbVarType::vbError: *os << "Error " << v.Int(); return;
    case VbVarType::vbInteger: *os << "Integer " << v.Int(); return;
    case VbVarType::vbLong: *os << "Long " << v.Int(); return;
    case VbVarType::vbByte: *os << "Byte " << v.Int(); return;
    case VbVarType::vbBoolean: *os << "Boolean " << v.Int(); return;
    case VbVarType::vbCurrency: *os << "Currency " << v.Int() << "/10000"; return;
    case VbVarType::vbSingle: *os << "Single " << v.Real(); return;
    case VbVarType::vbDouble: *os << "Double " << v.Real(); return;
    case VbVarType::vbDate: *os << "Date " << v.Real(); return;
    default:
      if (v.IsArray()) {
        const SafeArray& a = v.Array();
        *os << "Array(" << (a.Dims() ? a.LBound() : 0) << " To " << (a.Dims() ? a.UBound() : -1) << ") {";
        for (const auto& e : a.elements()) {
          PrintTo(e, os);
          *os << "; ";
        }
        *os << "}";
        return;
      }
      *os << "kind " << static_cast<int>(v.VarType());
  }
}

namespace testing {

TempFolder::TempFolder() {
  std::random_device rd;
  path_ = std::filesystem::temp_directory_path() / ("narwick-test-" + std::to_string(rd()) + std::to_string(rd()));
  std::filesystem::create_directories(path_);
}

TempFolder::~TempFolder() {
  std::error_code ec;
  // Restore the bits that a test may have taken away, so removal succeeds.
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ec);
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(path_, ec);
}

String TempFolder::File(const std::string& name) const { return FromUtf8((path_ / name).string()); }

std::filesystem::path TestDataDir() {
  if (const char* dir = std::getenv("NARWICK_TESTDATA")) return dir;
  return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "testdata";
}

}  // namespace testing
}  // namespace narwick
