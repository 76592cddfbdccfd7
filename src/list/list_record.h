// One node as a 196-byte record of the list file (layout in list_file_format.h).
#pragma once

#include <cstdint>
#include <span>

#include "list/list_file_format.h"
#include "list/ordered_list_store.h"
#include "narwick/frame/types.h"

namespace narwick::list {

using RecordBytes = std::span<std::uint8_t, format::kRecordSize>;
using ConstRecordBytes = std::span<const std::uint8_t, format::kRecordSize>;

enum class EncodeStatus {
  kOk,
  kTooLong,       // the index and items need more than 196 bytes
  kNoRecordForm,  // an item holds an object or an array
};

// Writes the record of a node into `out`, the filler as zeros.
EncodeStatus EncodeRecord(Long index, const Items& items, RecordBytes out);

// Reads a record. False when a type code is unknown or a value runs past the record's end;
// `index` and `items` are then unspecified.
bool DecodeRecord(ConstRecordBytes in, Long& index, Items& items);

}  // namespace narwick::list
