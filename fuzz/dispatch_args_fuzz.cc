// Late-bound calls with arbitrary arguments: the bytes pick a member, how many arguments, their
// kinds, values and whether they pass by reference. Every call must end in a result or a
// numbered RuntimeError; anything else (a crash, another exception) is a fault.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "frame/member_table.h"
#include "narwick/frame/collection.h"
#include "narwick/frame/object.h"
#include "narwick/frame/safe_array.h"

namespace narwick {
namespace {

// One member per parameter form the classes use.
class Target final : public frame::AutomationObject {
 public:
  const frame::ClassInfo& TypeInfo() const override {
    static const frame::ClassInfo info = frame::MemberTable<Target>("Target")
        .Method("Longs", &Target::Longs, {"a", frame::Opt("b", 7)})
        .Method("Ints", &Target::Ints, {"a", "b"})
        .Method("Bytes", &Target::Bytes, {"a"})
        .Method("Reals", &Target::Reals, {"a", frame::Opt("b")})
        .Method("Texts", &Target::Texts, {"a", frame::Opt("b")})
        .Method("Flags", &Target::Flags, {frame::Opt("a", false), frame::Opt("b", true)})
        .Method("Items", &Target::Items, {frame::Opt("a"), frame::Opt("b")})
        .Method("Arrays", &Target::Arrays, {"a"})
        .Method("Objects", &Target::Objects, {"a"})
        .Method("Self", &Target::Self, {"a"})
        .Get<Long() const>("Value", &Target::Value)
        .Let<void(Long)>("Value", &Target::Value, {"v"})
        .Build();
    return info;
  }
  Long Longs(Long& a, Long b) { return a = static_cast<Long>((std::int64_t{a} + b) & 0x7fffffff); }
  Integer Ints(Integer a, Integer& b) { return static_cast<Integer>(a ^ b); }
  Byte Bytes(Byte& a) { return a; }
  Double Reals(Single a, Double b) { return a + b; }
  String Texts(String& a, const String& b) { return a += b; }
  VariantBool Flags(VariantBool a, VariantBool b) { return a == b; }
  Variant Items(Variant& a, const Variant& b) { return a.IsMissing() ? b : a; }
  Long Arrays(SafeArray& a) { return a.Dims() == 0 ? -1 : a.LBound(); }
  VariantBool Objects(Object a) { return a.IsNothing(); }
  Long Self(Target& a) { return a.value_; }
  Long Value() const { return value_; }
  void Value(Long v) { value_ = v; }

 private:
  Long value_ = 0;
};

class Reader {
 public:
  Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  template <class T>
  T Raw() {
    T value{};
    std::size_t n = std::min(sizeof(T), size_ - std::min(pos_, size_));
    std::memcpy(&value, data_ + pos_, n);
    pos_ += n;
    return value;
  }
  bool done() const { return pos_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

Variant MakeValue(Reader& in, const Object& self) {
  switch (in.Byte() % 14) {
    case 0: return Variant();
    case 1: return Variant::Null();
    case 2: return Variant(in.Raw<Integer>());
    case 3: return Variant(static_cast<int>(in.Raw<Long>()));
    case 4: return Variant(in.Raw<float>());
    case 5: return Variant(in.Raw<double>());
    case 6: return Variant(Currency{in.Raw<std::int64_t>()});
    case 7: return Variant(Date{in.Raw<double>()});
    case 8: {
      String s;
      for (int n = in.Byte() % 12; n > 0; --n) s.push_back(static_cast<char16_t>(u" 0123456789.,-+$()&HhEe:/AaPpMm"[in.Byte() % 31]));
      return Variant(s);
    }
    case 9: return Variant(in.Byte() % 2 ? self : Object());
    case 10: return Variant(ErrorCode{in.Raw<std::int32_t>()});
    case 11: return Variant(in.Byte() % 2 == 0);
    case 12: return Variant(in.Byte());
    default: {
      Long lbound = static_cast<std::int8_t>(in.Byte());
      return Variant(SafeArray(VbVarType::vbVariant, lbound, lbound + in.Byte() % 4));
    }
  }
}

}  // namespace
}  // namespace narwick

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace narwick;
  static const char* kNames[] = {"Longs", "Ints", "Bytes", "Reals", "Texts", "Flags", "Items",
                                 "Arrays", "Objects", "Self", "Value", "Missing", "LONGS"};
  Object self = MakeObject(std::make_shared<Target>());
  Reader in(data, size);
  // A bounded number of calls per input keeps each run short; longer inputs add nothing new.
  for (int calls = 0; calls < 64 && !in.done(); ++calls) {
    const char* name = kNames[in.Byte() % 13];
    std::vector<Variant> values;
    std::vector<Arg> args;
    int count = in.Byte() % 4;
    values.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) values.push_back(MakeValue(in, self));
    for (auto& v : values) {
      if (in.Byte() % 2) {
        args.push_back(ByRef(v));
      } else {
        args.emplace_back(v);
      }
    }
    try {
      if (in.Byte() % 5 == 0) {
        self.Let(name, values.empty() ? Variant() : values.front());
      } else {
        self.Call(name, args);
      }
    } catch (const RuntimeError&) {
      // A numbered run-time error is a defined outcome.
    }
  }
  return 0;
}
