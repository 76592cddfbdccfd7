// Fixed texts of clsHuffmanCompression: its two run-time errors and its ErrorMessage texts.
#pragma once

namespace narwick::huffman {

// DecodeByte's own errors, both numbered vbObjectError (-2147221504).
inline constexpr char16_t kIdentificationSource[] = u"HuffmanDecode()";
inline constexpr char16_t kIdentificationDescription[] =
    u"The data either was not compressed with HE3 or is corrupt (identification string not found)";
inline constexpr char16_t kChecksumSource[] = u"clsHuffman.Decode()";
inline constexpr char16_t kChecksumDescription[] =
    u"The data might be corrupted (checksum did not match expected value)";

// File members. Each text is followed by the path or the fault's description; the two
// failure texts end with a single quote that closes no opening quote.
inline constexpr char16_t kCompressSourceMissing[] = u"The file to be compressed could not be found at '";
inline constexpr char16_t kDecompressSourceMissing[] = u"The file to be compressed could not be found in '";
inline constexpr char16_t kClosingQuote[] = u"'";
inline constexpr char16_t kCompressFailed[] = u"There was an error while trying to compress the file: ";
inline constexpr char16_t kDecompressFailed[] = u"There was an error while trying to decompress the file: ";
// "exisiting" is spelled as hosts have always received it.
inline constexpr char16_t kTargetLocked[] =
    u"The file could not be decompressed because the exisiting file could not be removed."
    u"\r\n\r\n"
    u"The most likely cause is that another person still has this file open and is currently "
    u"using the file.  Make sure all other programs using this file are also closed."
    u"\r\n\r\n"
    u"The file is located at: '";

}  // namespace narwick::huffman
