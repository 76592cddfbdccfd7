// Variant: the tagged Automation value that crosses every class boundary.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "narwick/frame/types.h"

namespace narwick {

class Object;
class SafeArray;
namespace frame {
class AutomationObject;
}

// A Variant holds one value of an Automation kind. Copies are deep for strings and arrays
// (VB assigns arrays by value) and shallow for objects (a counted reference).
//
// operator== is identity of kind and value (for tests and containers); Automation comparison
// with its conversions lives in convert.h (Compare, Equal, TextEqual).
class Variant {
 public:
  Variant() = default;  // Empty
  Variant(Integer v) : type_(VbVarType::vbInteger), payload_(std::int64_t{v}) {}
  Variant(int v) : type_(VbVarType::vbLong), payload_(std::int64_t{v}) {}
  Variant(Byte v) : type_(VbVarType::vbByte), payload_(std::int64_t{v}) {}
  Variant(float v) : type_(VbVarType::vbSingle), payload_(double{v}) {}
  Variant(double v) : type_(VbVarType::vbDouble), payload_(v) {}
  Variant(bool v) : type_(VbVarType::vbBoolean), payload_(std::int64_t{v ? -1 : 0}) {}
  Variant(VariantBool v) : type_(VbVarType::vbBoolean), payload_(std::int64_t{v.raw()}) {}
  Variant(Currency v) : type_(VbVarType::vbCurrency), payload_(v.scaled) {}
  Variant(Date v) : type_(VbVarType::vbDate), payload_(v.serial) {}
  Variant(ErrorCode v) : type_(VbVarType::vbError), payload_(std::int64_t{v.scode}) {}
  Variant(String v) : type_(VbVarType::vbString), payload_(std::move(v)) {}
  Variant(StringView v) : Variant(String(v)) {}
  Variant(const char16_t* v) : Variant(String(v)) {}
  Variant(const char* utf8);  // UTF-8 text, for convenience in C++ hosts
  Variant(const Object& v);   // Nothing stays an Object-kind Variant holding Nothing
  Variant(SafeArray v);

  static Variant Null() {
    Variant v;
    v.type_ = VbVarType::vbNull;
    return v;
  }
  static Variant FromLong(Long v) { return Variant(static_cast<int>(v)); }

  // The kind; arrays report vbArray plus their element kind, as VarType does.
  VbVarType VarType() const { return type_ == VbVarType::vbArray ? ArrayVarType() : type_; }
  bool IsEmpty() const { return type_ == VbVarType::vbEmpty; }
  bool IsNull() const { return type_ == VbVarType::vbNull; }
  bool IsMissing() const {
    return type_ == VbVarType::vbError && std::get<std::int64_t>(payload_) == kParamNotFound;
  }
  bool IsArray() const { return type_ == VbVarType::vbArray; }
  bool IsObject() const { return type_ == VbVarType::vbObject; }
  bool IsString() const { return type_ == VbVarType::vbString; }
  // Byte, Integer, Long, Single, Double, Currency, Date, Boolean: kinds with a numeric value.
  bool HoldsNumber() const;

  // Raw payloads. Each requires the matching kind (checked: a wrong kind raises 13).
  // Integer kinds (Integer, Long, Byte, Boolean, Error, Currency's scaled value) share Int().
  std::int64_t Int() const {
    if (const auto* v = std::get_if<std::int64_t>(&payload_)) return *v;
    RaiseTypeMismatch();
  }
  double Real() const {  // Single, Double, Date
    if (const auto* v = std::get_if<double>(&payload_)) return *v;
    RaiseTypeMismatch();
  }
  const String& Str() const;
  String& Str();
  Object Obj() const;
  const std::shared_ptr<frame::AutomationObject>& ObjPtr() const;
  const SafeArray& Array() const;
  SafeArray& Array();

  friend bool operator==(const Variant& a, const Variant& b);

 private:
  VbVarType ArrayVarType() const;
  [[noreturn]] static void RaiseTypeMismatch();

  // Arrays are held behind a pointer to keep Variant small; the box copies deeply.
  class ArrayBox {
   public:
    explicit ArrayBox(std::unique_ptr<SafeArray> a);
    ArrayBox(const ArrayBox& other);
    ArrayBox(ArrayBox&&) noexcept;
    ArrayBox& operator=(const ArrayBox& other);
    ArrayBox& operator=(ArrayBox&&) noexcept;
    ~ArrayBox();
    SafeArray& get() const { return *array_; }

   private:
    std::unique_ptr<SafeArray> array_;
  };

  VbVarType type_ = VbVarType::vbEmpty;
  std::variant<std::monostate, std::int64_t, double, String,
               std::shared_ptr<frame::AutomationObject>, ArrayBox>
      payload_;
};

// The value of an optional argument the caller left out (Error kind, DISP_E_PARAMNOTFOUND).
inline const Variant Missing{ErrorCode{kParamNotFound}};

// UTF-8 <-> 16-bit text, for hosts and the command-line tool. Any bytes round-trip: those
// that are not UTF-8 become the lone surrogates U+DC80..U+DCFF and back.
String FromUtf8(std::string_view utf8);
std::string ToUtf8(StringView text);

}  // namespace narwick
