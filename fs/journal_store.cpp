#include "fs/journal_store.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <random>
#include <system_error>
#include <vector>

#include "fs/native_path.h"

namespace batchext {
namespace {

constexpr char kPrefix[] = "run-";
constexpr char kOpen[] = ".journal";
constexpr char kTakenBack[] = ".undone";

// Names sort by start time, whatever the suffix.
std::vector<std::filesystem::path> Journals(const std::string& folder) {
  std::vector<std::filesystem::path> journals;
  std::error_code error;
  for (const auto& entry :
       std::filesystem::directory_iterator(ToNativePath(folder), error)) {
    const std::string name = FromNativePath(entry.path().filename());
    if (name.starts_with(kPrefix) &&
        (name.ends_with(kOpen) || name.ends_with(kTakenBack))) {
      journals.push_back(entry.path());
    }
  }
  std::sort(journals.begin(), journals.end(), [](const auto& a, const auto& b) {
    return a.filename() < b.filename();
  });
  return journals;
}

std::string NewName() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  char name[64];
  std::snprintf(
      name, sizeof name, "%s%020lld-%08x%s", kPrefix,
      static_cast<long long>(
          std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()),
      static_cast<unsigned>(std::random_device{}()), kOpen);
  return name;
}

}  // namespace

JournalFile::JournalFile(std::string path, std::ofstream out)
    : path_(std::move(path)), out_(std::move(out)) {}

std::unique_ptr<JournalFile> JournalFile::Create(const std::string& folder,
                                                 std::string& error) {
  const std::filesystem::path native = ToNativePath(folder);
  std::error_code failure;
  if (!std::filesystem::is_directory(native, failure)) {
    std::filesystem::create_directories(native, failure);
    // What a run touched is nobody else's business.
    std::filesystem::permissions(native, std::filesystem::perms::owner_all,
                                 failure);
  }
  const std::filesystem::path path = native / NewName();
  std::ofstream out(path, std::ios::binary | std::ios::app);
  if (!out) {
    error = std::system_category().message(errno);
    return nullptr;
  }
  return std::unique_ptr<JournalFile>(
      new JournalFile(FromNativePath(path), std::move(out)));
}

bool JournalFile::Append(std::string_view text) {
  out_.write(text.data(), static_cast<std::streamsize>(text.size()));
  out_.flush();
  if (!out_ && error_.empty()) {
    error_ = std::system_category().message(errno == 0 ? EIO : errno);
  }
  return static_cast<bool>(out_);
}

void JournalFile::Remove() {
  out_.close();
  std::error_code ignored;
  std::filesystem::remove(ToNativePath(path_), ignored);
}

std::string NewestJournal(const std::string& folder) {
  const auto journals = Journals(folder);
  for (auto it = journals.rbegin(); it != journals.rend(); ++it) {
    if (it->extension() == kOpen) return FromNativePath(*it);
  }
  return {};
}

bool ReadJournal(const std::string& path, std::string& text,
                 std::string& error) {
  std::ifstream in(ToNativePath(path), std::ios::binary);
  if (!in) {
    error = std::system_category().message(errno);
    return false;
  }
  text.assign(std::istreambuf_iterator<char>(in), {});
  return true;
}

bool MarkTakenBack(const std::string& path, std::string& error) {
  std::filesystem::path done = ToNativePath(path);
  done.replace_extension(kTakenBack);
  std::error_code failure;
  std::filesystem::rename(ToNativePath(path), done, failure);
  if (failure) error = failure.message();
  return !failure;
}

void PruneJournals(const std::string& folder, std::size_t kept) {
  const auto journals = Journals(folder);
  std::error_code ignored;
  for (std::size_t i = 0; i + kept < journals.size(); ++i) {
    std::filesystem::remove(journals[i], ignored);
  }
}

}  // namespace batchext
