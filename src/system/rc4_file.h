// Streaming a file through the RC4 cipher in constant memory, for the file members.
#pragma once

#include <cstdint>
#include <string>

#include "system/rc4.h"

namespace narwick::rc4 {

// Opens `source` and then `destination` for reading and writing, each created when absent,
// writes source byte k XOR keystream byte k at destination offset k for every byte of the
// source, cuts the destination to the source's length, and closes the source and then the
// destination. Both files are closed on every path. The same path on both sides enciphers
// in place. Faults raise RuntimeError (the files stay as far as the work got).
// Returns the number of bytes enciphered.
std::uint64_t CipherFile(Cipher& cipher, const std::string& source, const std::string& destination);

// Size of the one buffer the streaming uses: data is read, enciphered in place and written a
// block at a time.
inline constexpr std::size_t kFileBlockSize = 256 * 1024;

}  // namespace narwick::rc4
