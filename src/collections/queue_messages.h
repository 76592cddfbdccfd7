// The text of the queue's failure message box: "Error: " + number + ". " + description.
#pragma once

#include <string>

#include "narwick/frame/types.h"

namespace narwick::queue_messages {

inline constexpr char16_t kErrorPrefix[] = u"Error: ";
inline constexpr char16_t kNumberEnd[] = u". ";

// Box titles: the names of the members that report.
inline constexpr char16_t kClassInitialize[] = u"Class_Initialize";
inline constexpr char16_t kSize[] = u"Size";
inline constexpr char16_t kDeQueue[] = u"DeQueue";
inline constexpr char16_t kEnQueue[] = u"EnQueue";
inline constexpr char16_t kFront[] = u"Front";

inline String FailureText(Long number, StringView description) {
  const std::string digits = std::to_string(number);
  String text(kErrorPrefix);
  text.append(digits.begin(), digits.end());
  text += kNumberEnd;
  text += description;
  return text;
}

}  // namespace narwick::queue_messages
