// RuntimeError: a numbered Automation run-time error with its source and description.
#pragma once

#include <exception>
#include <string>

#include "narwick/frame/types.h"

namespace narwick {

class RuntimeError : public std::exception {
 public:
  RuntimeError(Long number, String source, String description);

  Long number() const { return number_; }
  const String& source() const { return source_; }
  const String& description() const { return description_; }
  // "<description> (<number>)" in UTF-8, for logs and uncaught reports.
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  Long number_;
  String source_;
  String description_;
  std::string what_;
};

// The library's project name, the source of run-time errors raised inside its classes.
inline constexpr char16_t kDefaultErrorSource[] = u"Narwick";

// Raises run-time error `number` with its standard description (see error_numbers.h).
[[noreturn]] void Raise(Long number, StringView source = kDefaultErrorSource);
// Raises an error of the class's own, with the given text.
[[noreturn]] void Raise(Long number, StringView source, StringView description);

}  // namespace narwick
