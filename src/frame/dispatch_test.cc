// Late-bound dispatch through a member table: argument layout, coercion, by-reference
// write-back, optional and missing arguments, properties, events and error numbers.
#include <gtest/gtest.h>

#include <vector>

#include "frame/class_registration.h"
#include "frame/member_table.h"
#include "narwick/frame/class_table.h"
#include "narwick/frame/collection.h"
#include "narwick/frame/error_numbers.h"
#include "narwick/frame/events.h"
#include "testing/test_support.h"

namespace narwick {
namespace {

enum class Shade : Long { kLight = 1, kDark = 2 };

// A class exercising every parameter form the real classes use.
class Probe final : public frame::AutomationObject {
 public:
  const frame::ClassInfo& TypeInfo() const override {
    static const frame::ClassInfo info = frame::MemberTable<Probe>("Probe")
        .Method("Twice", &Probe::Twice, {"lngValue"})
        .Method("Bump", &Probe::Bump, {"intValue"})
        .Method("Swap", &Probe::Swap, {"varA", "varB"})
        .Method("Describe", &Probe::Describe, {frame::Opt("varItem")})
        .Method("Flags", &Probe::Flags,
                {frame::Opt("startAtZero", false), frame::Opt("startAtOne", true)})
        .Method("IsPositive", &Probe::IsPositive, {"dblValue"})
        .Method("FirstElement", &Probe::FirstElement, {"avarIn"})
        .Method("Fire", &Probe::Fire, {"sngValue"})
        .Method("Darker", &Probe::Darker, {"shade"})
        .Get<Long() const>("Total", &Probe::Total).Default()
        .Let<void(Long)>("Total", &Probe::Total, {"lngTotal"})
        .Get<Variant(const String&)>("Item", &Probe::Item, {"strKey"})
        .Let<void(const String&, const Variant&)>("Item", &Probe::Item, {"strKey", "varValue"})
        .Event("Progress", 1, {{"sngPercentage", VbVarType::vbSingle}})
        .Build();
    return info;
  }
  frame::EventSource* Events() override { return &events_; }

  Long Twice(Long lngValue) {
    if (lngValue > 1000000) Raise(err::kOverflow);
    return lngValue * 2;
  }
  void Bump(Integer& intValue) { intValue = static_cast<Integer>(intValue + 1); }
  void Swap(Variant& varA, Variant& varB) { std::swap(varA, varB); }
  String Describe(const Variant& varItem = Missing) {
    if (varItem.IsMissing()) return u"missing";
    if (varItem.IsEmpty()) return u"empty";
    return CStr(varItem);
  }
  Long Flags(VariantBool startAtZero, VariantBool startAtOne) {
    return (startAtZero ? 1 : 0) + (startAtOne ? 2 : 0);
  }
  VariantBool IsPositive(Double dblValue) { return dblValue > 0; }
  Variant FirstElement(SafeArray& avarIn) {
    Variant first = avarIn(avarIn.LBound());
    avarIn(avarIn.LBound()) = Variant(u"changed");
    return first;
  }
  Single Fire(Single sngValue) {
    Variant args[1] = {Variant(sngValue)};
    events_.Raise("Progress", 1, args);
    return CSng(args[0]);
  }
  Shade Darker(Shade shade) { return shade == Shade::kLight ? Shade::kDark : shade; }
  Long Total() const { return total_; }
  void Total(Long lngTotal) { total_ = lngTotal; }
  Variant Item(const String& strKey) { return strKey == key_ ? value_ : Variant(); }
  void Item(const String& strKey, const Variant& varValue) {
    key_ = strKey;
    value_ = varValue;
  }

 private:
  Long total_ = 0;
  String key_;
  Variant value_;
  frame::EventSource events_;
};

Object MakeProbe() { return MakeObject(std::make_shared<Probe>()); }

// One late-bound call and what it must give: `result`, or run-time error `error`.
struct CallCase {
  const char* member;
  std::vector<Arg> args;
  Variant result;
  Long error = 0;
};

TEST(DispatchTest, CallsCoerceArgumentsFillOptionalsAndCheckCounts) {
  const CallCase cases[] = {
      // Names match without regard to case; arguments take the declared type.
      {"twice", {21}, 42}, {"TWICE", {Integer{4}}, 8}, {"Twice", {u"12"}, 24},
      {"Twice", {2.5}, 4}, {"Twice", {3.5}, 8},  // 2.5 rounds to even: 2
      {"Twice", {u"twelve"}, {}, err::kTypeMismatch}, {"Twice", {1e12}, {}, err::kOverflow},
      {"Twice", {2000000}, {}, err::kOverflow},  // raised inside the member
      {"Twice", {Variant::Null()}, {}, err::kInvalidUseOfNull},
      // A missing optional differs from Empty; defaults fill left-out arguments.
      {"Describe", {}, u"missing"}, {"Describe", {Missing}, u"missing"},
      {"Describe", {Variant()}, u"empty"}, {"Describe", {5}, u"5"}, {"Flags", {}, 2},
      {"Flags", {true}, 3}, {"Flags", {Missing, false}, 0},
      // Booleans come back as -1 and 0, enumerations cross as Long.
      {"IsPositive", {3}, true}, {"IsPositive", {-3}, false}, {"Darker", {Integer{1}}, 2},
      {"Darker", {u"2"}, 2},
      {"Twice", {}, {}, err::kArgumentNotOptional},
      {"Twice", {1, 2}, {}, err::kWrongNumberOfArguments},
      {"NoSuchMember", {}, {}, err::kObjectDoesntSupportMember},
      {"FirstElement", {5}, {}, err::kTypeMismatch},
  };
  Object probe = MakeProbe();
  for (const CallCase& c : cases) {
    SCOPED_TRACE(std::string(c.member) + " with " + std::to_string(c.args.size()) + " args");
    if (c.error != 0) {
      EXPECT_RUNTIME_ERROR(probe.Call(c.member, c.args), c.error);
    } else {
      EXPECT_EQ(probe.Call(c.member, c.args), c.result);
    }
  }
  EXPECT_RUNTIME_ERROR(Object().Call("Twice", {1}), err::kObjectVariableNotSet);
}

TEST(DispatchTest, ByReferenceArgumentsReachTheCaller) {
  Object probe = MakeProbe();
  Variant n = Integer{41}, by_value = Integer{1}, text = u"7";
  probe.Call("Bump", {ByRef(n)});
  EXPECT_EQ(n, Variant(Integer{42}));
  probe.Call("Bump", {by_value});
  EXPECT_EQ(by_value, Variant(Integer{1}));
  probe.Call("Bump", {ByRef(text)});  // written back as the parameter's type
  EXPECT_EQ(text, Variant(Integer{8}));
  Variant twelve = u"12";  // a by-value parameter never reaches the caller, even by reference
  EXPECT_EQ(probe.Call("Twice", {ByRef(twelve)}), Variant(24));
  EXPECT_EQ(twelve, Variant(u"12"));

  Variant a = u"a", b = 2;
  probe.Call("Swap", {ByRef(a), ByRef(b)});
  EXPECT_EQ(a, Variant(2));
  EXPECT_EQ(b, Variant(u"a"));

  Variant arr = SafeArray::FromValues(VbVarType::vbVariant, 3, {u"x", 2});
  EXPECT_EQ(probe.Call("FirstElement", {ByRef(arr)}), Variant(u"x"));
  EXPECT_EQ(arr.Array()(3), Variant(u"changed"));
}

TEST(DispatchTest, PropertiesAndTheDefaultMember) {
  Object probe = MakeProbe(), other = MakeProbe();
  probe.Let("Total", 12);
  other.Let("Total", 2);
  EXPECT_EQ(probe.Get("total"), Variant(12));
  EXPECT_EQ(probe.Call("Total"), Variant(12));
  EXPECT_EQ(other.Get("Total"), Variant(2));
  EXPECT_EQ(CStr(Variant(probe)), u"12");
  probe.Let("Item", {u"k"}, 3.5);
  EXPECT_EQ(probe.Get("Item", {u"k"}), Variant(3.5));
  EXPECT_EQ(probe.Get("Item", {u"other"}), Variant());
  EXPECT_RUNTIME_ERROR(probe.Let("Twice", 1), err::kPropertyLetNotDefined);
  EXPECT_RUNTIME_ERROR(probe.Let("Item", 3.5), err::kWrongNumberOfArguments);  // no key
  EXPECT_RUNTIME_ERROR(probe.Set("Total", 1), err::kObjectRequired);
  // A default member that needs arguments cannot give a value on its own.
  Object collection = CreateObject("vba.collection");
  collection.Call("Add", {u"x"});
  EXPECT_EQ(collection.Call("Count"), Variant(1));
  EXPECT_RUNTIME_ERROR(CStr(Variant(collection)), err::kArgumentNotOptional);
}

TEST(DispatchTest, EventsReachSinksAndAFailingSinkNeverFailsTheOperation) {
  Object probe = MakeProbe();
  std::vector<float> seen;
  auto cookie = probe.Advise([&](EventCall& e) {
    EXPECT_EQ(e.name, "Progress");
    EXPECT_EQ(e.dispid, 1);
    seen.push_back(CSng(e.args[0]));
    e.args[0] = Variant(99.5f);
  });
  EXPECT_EQ(probe.Call("Fire", {12.5f}), Variant(99.5f));
  probe.Unadvise(cookie);
  EXPECT_EQ(probe.Call("Fire", {1.0f}), Variant(1.0f));
  EXPECT_EQ(seen, std::vector<float>{12.5f});

  probe.Advise([](EventCall&) { Raise(err::kOverflow); });
  int later = 0;
  probe.Advise([&](EventCall&) { ++later; });
  EXPECT_EQ(probe.Call("Fire", {2.0f}), Variant(2.0f));
  EXPECT_EQ(later, 1);

  // A sink may unsubscribe while it is being called; the sinks after it still hear the event.
  std::uint32_t self = 0;
  self = probe.Advise([&](EventCall&) { probe.Unadvise(self); });
  probe.Advise([&](EventCall&) { ++later; });
  probe.Call("Fire", {3.0f});
  probe.Call("Fire", {4.0f});
  EXPECT_EQ(later, 5);
}

TEST(DispatchTest, DispatchIdsAreSharedByTheKindsOfOneName) {
  const auto& info = Probe().TypeInfo();
  const auto* get = info.Find("Total", frame::MemberKind::kPropertyGet);
  const auto* let = info.Find("total", frame::MemberKind::kPropertyLet);
  ASSERT_TRUE(get != nullptr && let != nullptr);
  EXPECT_EQ(get->dispid, 0);  // the default member, for both kinds
  EXPECT_EQ(let->dispid, 0);
  const auto* item = info.Find("Item", frame::MemberKind::kPropertyGet);
  EXPECT_NE(item->dispid, 0);
  EXPECT_EQ(item->dispid, info.Find("Item", frame::MemberKind::kPropertyLet)->dispid);
  EXPECT_TRUE(get->params.empty());
  EXPECT_TRUE(info.Find("Bump", frame::MemberKind::kMethod)->params[0].by_ref);
  EXPECT_FALSE(info.Find("Twice", frame::MemberKind::kMethod)->params[0].by_ref);
  EXPECT_EQ(info.Find("Darker", frame::MemberKind::kMethod)->result, VbVarType::vbLong);
}

TEST(ClassTableTest, ThirteenClassesWithFixedIdentities) {
  auto table = ClassTable();
  ASSERT_EQ(table.size(), 13u);
  for (const auto& record : table) {
    EXPECT_EQ(record.progid, "Narwick." + std::string(record.name));
    EXPECT_EQ(record.clsid.size(), 38u);
    bool has_events = record.name == "clsLZCompression" || record.name == "clsHuffmanCompression";
    EXPECT_EQ(record.events_iid.empty(), !has_events) << record.name;
  }
  EXPECT_EQ(TypeLibrary().name, "Narwick");
  EXPECT_EQ(TypeLibrary().help_string, u"Corvane\u00AE Utilities Control 5.0");
  EXPECT_RUNTIME_ERROR(CreateObject("Narwick.clsNoSuchClass"), err::kCantCreateObject);
  EXPECT_FALSE(IsClassAvailable("Narwick.clsNoSuchClass"));
}

}  // namespace
}  // namespace narwick
