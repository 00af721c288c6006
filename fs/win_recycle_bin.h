#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace batchext {

// What the Recycle Bin keeps beside a deleted entry ($R...) in its record
// ($I...), which Explorer lists and restores from.
struct RecycleRecord {
  std::uint64_t size = 0;
  // When it was deleted, in 100 ns units since 1601 (UTC), as FILETIME.
  std::uint64_t deleted = 0;
  std::wstring path;
};

// The record as Windows 10 and later write it: version 2, size, time, the
// path's length with its terminator, the path.
std::string EncodeRecycleRecord(const RecycleRecord& record);

// Version 2 records and the fixed-size version 1 of earlier systems; none
// for anything else.
std::optional<RecycleRecord> DecodeRecycleRecord(std::string_view bytes);

// The record's name for the entry `kept` ("...\$Rxxxxxx.ext").
std::wstring RecordNameOf(std::wstring_view kept);

}  // namespace batchext
