// The type library's identity and the table of creatable classes with their fixed GUIDs.
#pragma once

#include <memory>
#include <span>
#include <string_view>

#include "narwick/frame/object.h"

namespace narwick {

struct TypeLibraryInfo {
  std::string_view name;
  int major_version;
  int minor_version;
  std::u16string_view help_string;
  std::string_view file_version;
  std::string_view guid;
};

// Narwick 2.0, "Corvane® Utilities Control 5.0", file version 5.0.0.457.
const TypeLibraryInfo& TypeLibrary();

struct ClassRecord {
  std::string_view name;       // "clsQueue"
  std::string_view progid;     // "Narwick.clsQueue"
  std::string_view clsid;      // fixed once chosen; never changes between builds
  std::string_view iid;        // the default interface _<name>
  std::string_view events_iid; // the event interface __<name>, or empty
};

// The 13 creatable classes, in type-library order.
std::span<const ClassRecord> ClassTable();
// True when the class can be created in this build (CreateObject would not raise 429).
bool IsClassAvailable(std::string_view progid);

namespace frame {
using Factory = std::shared_ptr<AutomationObject> (*)();
// Makes `class_name` creatable by its ProgID. Called once per class at load time.
bool RegisterFactory(std::string_view class_name, Factory factory);
}  // namespace frame

}  // namespace narwick
