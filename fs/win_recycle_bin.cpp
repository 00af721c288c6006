#include "fs/win_recycle_bin.h"

#include <cstring>

namespace batchext {
namespace {

constexpr std::size_t kHeaderSize = 24;
// Version 1 holds the path in a field of 260 characters.
constexpr std::size_t kVersion1PathChars = 260;

template <typename T>
void Append(std::string& bytes, T value) {
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  }
}

template <typename T>
T Read(std::string_view bytes, std::size_t offset) {
  T value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    value |= static_cast<T>(static_cast<unsigned char>(bytes[offset + i]))
             << (8 * i);
  }
  return value;
}

// Up to the terminator or the end of the field.
std::wstring ReadPath(std::string_view bytes, std::size_t offset,
                      std::size_t chars) {
  std::wstring path;
  for (std::size_t i = 0; i < chars; ++i) {
    const auto c = Read<std::uint16_t>(bytes, offset + 2 * i);
    if (c == 0) break;
    path.push_back(static_cast<wchar_t>(c));
  }
  return path;
}

}  // namespace

std::string EncodeRecycleRecord(const RecycleRecord& record) {
  std::string bytes;
  Append<std::uint64_t>(bytes, 2);
  Append<std::uint64_t>(bytes, record.size);
  Append<std::uint64_t>(bytes, record.deleted);
  Append<std::uint32_t>(bytes,
                        static_cast<std::uint32_t>(record.path.size() + 1));
  for (const wchar_t c : record.path) {
    Append<std::uint16_t>(bytes, static_cast<std::uint16_t>(c));
  }
  Append<std::uint16_t>(bytes, 0);
  return bytes;
}

std::optional<RecycleRecord> DecodeRecycleRecord(std::string_view bytes) {
  if (bytes.size() < kHeaderSize) return std::nullopt;
  RecycleRecord record;
  record.size = Read<std::uint64_t>(bytes, 8);
  record.deleted = Read<std::uint64_t>(bytes, 16);
  switch (Read<std::uint64_t>(bytes, 0)) {
    case 1:
      if (bytes.size() < kHeaderSize + 2 * kVersion1PathChars) break;
      record.path = ReadPath(bytes, kHeaderSize, kVersion1PathChars);
      return record;
    case 2: {
      if (bytes.size() < kHeaderSize + 4) break;
      const std::size_t chars = Read<std::uint32_t>(bytes, kHeaderSize);
      if (chars == 0 || (bytes.size() - kHeaderSize - 4) / 2 < chars) break;
      record.path = ReadPath(bytes, kHeaderSize + 4, chars);
      return record;
    }
    default:
      break;
  }
  return std::nullopt;
}

std::wstring RecordNameOf(std::wstring_view kept) {
  std::wstring record(kept);
  const auto slash = record.find_last_of(L"\\/");
  const std::size_t name = slash == std::wstring::npos ? 0 : slash + 1;
  if (record.compare(name, 2, L"$R") == 0) record[name + 1] = L'I';
  return record;
}

}  // namespace batchext
