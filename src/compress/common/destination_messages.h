// The destination checks' ErrorMessage texts, word for word as hosts expect them.
#pragma once

#include "narwick/frame/types.h"

namespace narwick::compress {

inline String NoSpaceMessage(const String& drive) {
  return u"There is not enough disk space on drive '" + drive + u"' to perform this operation.";
}

// Two spaces after "exist." and no closing full stop, as the original has it.
inline String NoFolderMessage(const String& folder) {
  return u"The folder '" + folder +
         u"' does not exist.  Make sure the folder exists before backing up or restoring a file";
}

inline constexpr char16_t kReadOnlyFolderMessage[] =
    u"You do not have the proper permission to create a new file in this location.";
inline constexpr char16_t kProbeFailedMessage[] =
    u"You do not have permission to create a new file in this location.";

inline constexpr char16_t kProbeFileName[] = u"test.tmp";
inline constexpr char16_t kProbeText[] = u"Hello World";

}  // namespace narwick::compress
