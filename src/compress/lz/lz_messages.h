// clsLZCompression's ErrorMessage texts, word for word as hosts expect them.
#pragma once

#include "narwick/frame/types.h"

namespace narwick::lz {

inline constexpr char16_t kLineBreak[] = u"\r\n";

// The same text for compression and decompression.
inline String MissingInputMessage(const String& input_path) {
  return u"The file to be compressed could not be found in '" + input_path + u"'";
}

// The closing quote without an opening one is the original's.
inline String CompressFaultMessage(const String& description) {
  return u"There was an error while trying to compress the file: " + description + u"'";
}
inline String DecompressFaultMessage(const String& description) {
  return u"There was an error while trying to decompress the file: " + description + u"'";
}

inline String CompressTargetLockedMessage(const String& output_path) {
  return String(u"The file could not be compressed because the file you are trying to backup to "
                u"already exists and cannot be deleted.") +
         kLineBreak + kLineBreak + u"The file that needs to be replaced is: '" + output_path + u"'" +
         kLineBreak + kLineBreak +
         u"Make sure everyone else is not using the data file and that all programs using the file "
         u"are closed.";
}
inline String DecompressTargetLockedMessage(const String& output_path) {
  return String(u"The file could not be uncompressed because the file you are trying to restore to "
                u"already exists and cannot be deleted.") +
         kLineBreak + kLineBreak + u"The file that needs to be replaced is: '" + output_path + u"'" +
         kLineBreak + kLineBreak +
         u"Make sure everyone else is not using the data file and that all programs using the file "
         u"are closed.";
}

}  // namespace narwick::lz
