// The class table: fixed identities of the type library and its classes, and creation by ProgID.
#include "narwick/frame/class_table.h"

#include <array>
#include <map>
#include <string>

#include "narwick/frame/collection.h"
#include "narwick/frame/error.h"
#include "narwick/frame/error_numbers.h"
#include "member_table.h"

namespace narwick {

namespace {

constexpr TypeLibraryInfo kTypeLibrary{
    "Narwick", 2, 0, u"Corvane\u00AE Utilities Control 5.0", "5.0.0.457",
    "{57A8F9A9-FF30-4FC6-AEC0-12C7C0616B99}"};

// GUIDs are fixed forever: hosts and registrations refer to them.
constexpr std::array<ClassRecord, 13> kClasses{{
    {"clsDictionary", "Narwick.clsDictionary", "{BCABF25F-75CB-4421-84EA-C51D8D512E70}", "{5758E63A-CE44-4FE7-B2D9-5686A638CCB8}", ""},
    {"clsEncryption", "Narwick.clsEncryption", "{BB9F4F6D-2EB5-4C31-AA22-D0420B3747CB}", "{D196F697-8DEC-42B3-B4B4-445AD29F0177}", ""},
    {"clsRegistry", "Narwick.clsRegistry", "{E1E56F84-CA3E-4E61-B9FD-C6C420A31C1D}", "{6EE1D7C5-ADA7-469E-B101-97F76A6F57D9}", ""},
    {"clsLZCompression", "Narwick.clsLZCompression", "{76869F56-9F5E-4231-AB0F-A15B2E58C933}", "{C676BE53-B238-4EF0-8ED7-68629F6B695D}", "{E6F82441-9D7A-409F-9733-5ABE092E6E1E}"},
    {"clsOS", "Narwick.clsOS", "{847FF413-12D0-4703-922A-9B62C20B54A5}", "{1EE88351-EDCD-4E2E-A54B-8E5AA7AE7DD7}", ""},
    {"clsFormFade", "Narwick.clsFormFade", "{94ABEF01-DB10-4DD2-99AD-87BBFF7BF09B}", "{9DDB51EB-4988-4630-936E-044D92AE9FF9}", ""},
    {"clsSortingArrays", "Narwick.clsSortingArrays", "{535B74F4-6393-49FF-B926-7BDFB95FD005}", "{A90B9A4E-3A50-49FA-95EC-C774A6CDAFC5}", ""},
    {"clsOrderedLinkedList", "Narwick.clsOrderedLinkedList", "{87AA3EE7-3C50-4255-9E17-16F43185A19A}", "{02B6C5B9-64B8-4BA8-9AEC-EA5845043B05}", ""},
    {"clsBinaryTree", "Narwick.clsBinaryTree", "{2841BC10-500D-4194-B38D-E1CC9FE20602}", "{5CD32C16-853C-4787-97AA-72B905E2BCA5}", ""},
    {"clsQueue", "Narwick.clsQueue", "{F1D1A7CA-5030-4A1B-8D0C-3F154C7C58E0}", "{DE62C8FC-FABB-49A8-AADC-2C7EC09530FB}", ""},
    {"clsHuffmanCompression", "Narwick.clsHuffmanCompression", "{6A147459-ED72-4D4D-B296-F2A20D6C54B1}", "{5822B28E-7034-4E6E-9CF4-4BA648D8184F}", "{C56A0000-D070-4408-83D4-B863D6489875}"},
    {"clsManageTypeCase", "Narwick.clsManageTypeCase", "{C27F9F61-6159-444A-9831-07DE52329E2B}", "{E431CE78-88AC-41FF-9F8A-71D3930632B8}", ""},
    {"clsNetConnect", "Narwick.clsNetConnect", "{2EC77B88-F943-4BAA-A150-6F72F2956729}", "{EDDF6236-C501-48C9-96DB-F7065698344B}", ""},}};

std::string Fold(std::string_view name) {
  std::string folded(name);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

// Factories by folded ProgID. Filled at load time by each class's registration.
std::map<std::string, frame::Factory>& Factories() {
  static std::map<std::string, frame::Factory> factories;
  return factories;
}

[[maybe_unused]] const bool kCollectionRegistered = [] {
  Factories()["vba.collection"] = []() -> std::shared_ptr<frame::AutomationObject> {
    return std::make_shared<Collection>();
  };
  return true;
}();

}  // namespace

const TypeLibraryInfo& TypeLibrary() { return kTypeLibrary; }

std::span<const ClassRecord> ClassTable() { return kClasses; }

bool IsClassAvailable(std::string_view progid) { return Factories().contains(Fold(progid)); }

Object CreateObject(std::string_view progid) {
  auto it = Factories().find(Fold(progid));
  if (it == Factories().end()) Raise(err::kCantCreateObject);
  return Object(it->second());
}

namespace frame {

bool RegisterFactory(std::string_view class_name, Factory factory) {
  for (const auto& record : kClasses) {
    if (record.name == class_name) {
      Factories()[Fold(record.progid)] = factory;
      return true;
    }
  }
  return false;
}

}  // namespace frame

}  // namespace narwick
