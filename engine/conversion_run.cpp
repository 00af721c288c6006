#include "engine/conversion_run.h"

#include <exception>
#include <limits>
#include <optional>
#include <unordered_set>
#include <vector>

#include "engine/name_rules.h"
#include "fs/file_copy.h"
#include "fs/file_identity.h"
#include "fs/folder_listing.h"
#include "fs/path_ops.h"

namespace batchext {
namespace {

constexpr char kChooseFoldersText[] =
    "请务必先选择来源文件夹以及执行后存储所用的目标文件夹";
constexpr char kChooseFoldersTitle[] = "选择文件夹";
constexpr char kNoToExtText[] = "你没有指定转换后的文件的后缀名。";
constexpr char kIncompleteTitle[] = "参数设置不全";
constexpr char kBadToExtText[] = "转换后的后缀名中含有文件名中不能使用的字符。";
constexpr char kSameExtText[] = "原来的后缀名与转换的后缀名一样。";
constexpr char kBadRequestTitle[] = "参数设置错误";
constexpr char kResultTitle[] = "操作结果";
constexpr char kFailedPrefix[] = "操作失败，系统提示为：";
constexpr char kFailedTitle[] = "操作失败";
constexpr char kTargetUnwritableText[] = "无法向目标文件夹中写入修改后的文件夹";
constexpr char kTargetUnwritableTitle[] = "错误";

std::string DescribeFailure(const CopyResult& result) {
  switch (result.status) {
    case CopyStatus::kCopied:
    case CopyStatus::kSameFile:
      return {};
    case CopyStatus::kSourceMissing:
      return "来源文件已不存在";
    case CopyStatus::kSourceNotRegularFile:
      return "来源不是普通文件";
    case CopyStatus::kDestinationNotRegularFile:
      return "目标位置已有同名的文件夹或其他非普通文件";
    case CopyStatus::kDestinationReadOnly:
      return "目标文件是只读的，没有覆盖";
    case CopyStatus::kDestinationProtected:
      return "目标文件是来源文件夹中的文件，没有覆盖";
    case CopyStatus::kDestinationReserved:
      return "本次已有另一个文件转换为同一个目标文件，没有覆盖";
    case CopyStatus::kDestinationNameNotAllowed:
      return "目标文件名在这个系统上不能使用";
    case CopyStatus::kStopped:
      return "操作已取消，没有写入";
    case CopyStatus::kSystemError:
      return "系统提示：" + result.system_error;
  }
  return {};
}

// Counters are signed 32-bit; passing the top is a failure of the folder.
bool Increment(std::int32_t& counter) {
  if (counter == std::numeric_limits<std::int32_t>::max()) return false;
  ++counter;
  return true;
}

// One run over a tree. Holds what the walk must remember across folders.
class ConversionRun {
 public:
  ConversionRun(ConversionSettings& settings, const ShowMessage& show,
                const ConversionObserver& observer, const std::string& source)
      : settings_(settings),
        show_(show),
        observer_(observer),
        filter_(settings.FromExt),
        source_root_(source.empty()
                         ? std::nullopt
                         : GetFileIdentity(AddTrailingSlash(source))) {}

  void Walk(const std::string& source_path, const std::string& target_path);

 private:
  // False when the walk of this folder has to end.
  bool ConvertFile(const std::string& source, const std::string& target,
                   const std::string& name, const CopyOptions& options);
  void WalkSubfolders(const std::string& source, const std::string& target,
                      const NameList& names);
  // Existing files in a folder of the source tree are never replaced.
  bool MayReplaceIn(const std::string& target) const;
  bool StopRequested();

  ConversionSettings& settings_;
  const ShowMessage& show_;
  const ConversionObserver& observer_;
  const ExtensionFilter filter_;
  const std::optional<FileIdentity> source_root_;
  std::optional<FileIdentity> target_root_;
  // Every file this run wrote or found to be its own source: a second file
  // mapping to one of them must not overwrite it.
  std::unordered_set<FileIdentity, FileIdentityHash> claimed_;
  bool stopped_ = false;
};

void ConversionRun::Walk(const std::string& source_path,
                         const std::string& target_path) {
  if (source_path.empty() || target_path.empty() || stopped_) return;
  const std::string source = AddTrailingSlash(source_path);
  const std::string target = AddTrailingSlash(target_path);
  CreateFolderPath(target);
  if (!FolderExists(target)) {
    show_(kTargetUnwritableText, kTargetUnwritableTitle, MessageStyle::kError);
    return;
  }
  if (!target_root_) target_root_ = GetFileIdentity(target);
  try {
    if (observer_.on_folder) observer_.on_folder(source, target);
    const FolderListing listing = ListFolder(source);
    std::optional<CopyOptions> options;
    for (const std::string& name : listing.files) {
      if (StopRequested()) return;
      if (!filter_.Matches(name)) continue;
      if (!options) {
        options = CopyOptions{
            MayReplaceIn(target),
            [this](const FileIdentity& id) { return claimed_.contains(id); },
            [this] { return StopRequested(); }};
      }
      if (!ConvertFile(source, target, name, *options)) return;
    }
    if (settings_.IncludeSubfolders) {
      WalkSubfolders(source, target, listing.subfolders);
    }
  } catch (const std::exception&) {
    // A failure ends this folder only; the caller's walk goes on.
  }
}

bool ConversionRun::ConvertFile(const std::string& source,
                                const std::string& target,
                                const std::string& name,
                                const CopyOptions& options) {
  std::string base = BaseName(name);
  if (settings_.StripSurplusExtensions) base = StripSurplusExtensions(base);
  FileOutcome outcome{
      source + name, target + TargetFileName(base, settings_.ToExt), false, {}};
  const CopyResult result =
      CopyFileTo(outcome.source, outcome.destination, options);
  // A copy broken off by the stop is neither done nor failed.
  if (result.status == CopyStatus::kStopped) return true;
  outcome.converted = result.Succeeded();
  if (outcome.converted) {
    claimed_.insert(result.destination);
  } else {
    outcome.reason = DescribeFailure(result);
  }
  if (observer_.on_file) observer_.on_file(outcome);
  return Increment(outcome.converted ? settings_.SuccessCount
                                     : settings_.FailCount);
}

void ConversionRun::WalkSubfolders(const std::string& source,
                                   const std::string& target,
                                   const NameList& names) {
  for (const std::string& name : names) {
    if (stopped_) return;
    // Entering the run's own target folder would copy the copies again.
    const std::string subfolder = source + name;
    if (target_root_ && GetFileIdentity(subfolder) == target_root_) continue;
    Walk(subfolder, target + name);
  }
}

bool ConversionRun::MayReplaceIn(const std::string& target) const {
  if (!source_root_) return true;
  std::vector<FileIdentity> roots{*source_root_};
  if (target_root_) roots.push_back(*target_root_);
  // The source root is listed first, so an in-place run counts as source.
  return FindEnclosingFolder(target, roots) != 0;
}

bool ConversionRun::StopRequested() {
  if (!stopped_ && observer_.stop_requested && observer_.stop_requested()) {
    stopped_ = true;
  }
  return stopped_;
}

std::string Summary(const ConversionSettings& settings) {
  return "成功修改了" + std::to_string(settings.SuccessCount) +
         "个文件的后缀名，失败" + std::to_string(settings.FailCount) + "个文件";
}

}  // namespace

void StartConversion(ConversionSettings& settings, const std::string& from_text,
                     const std::string& to_text, const ShowMessage& show,
                     const ConversionObserver& observer) {
  try {
    if (settings.FromFolder.empty() || settings.TargetFolder.empty()) {
      show(kChooseFoldersText, kChooseFoldersTitle, MessageStyle::kError);
      return;
    }
    settings.FromExt = std::string(TrimSpaces(from_text));
    settings.ToExt = std::string(TrimSpaces(to_text));
    if (settings.FromExt.empty()) settings.FromExt = "*";
    if (settings.ToExt.empty()) {
      show(kNoToExtText, kIncompleteTitle, MessageStyle::kWarning);
      return;
    }
    if (settings.ToExt == settings.FromExt) {
      show(kSameExtText, kBadRequestTitle, MessageStyle::kWarning);
      return;
    }
    // Such a suffix could write outside the target folder.
    if (!IsValidFileNamePart(settings.ToExt)) {
      show(kBadToExtText, kBadRequestTitle, MessageStyle::kWarning);
      return;
    }
    settings.SuccessCount = 0;
    settings.FailCount = 0;
    ConvertFolder(settings, settings.FromFolder, settings.TargetFolder, show,
                  observer);
    show(Summary(settings), kResultTitle, MessageStyle::kInformation);
  } catch (const std::exception& error) {
    show(kFailedPrefix + std::string(error.what()), kFailedTitle,
         MessageStyle::kWarning);
  }
}

void ConvertFolder(ConversionSettings& settings, const std::string& source,
                   const std::string& target, const ShowMessage& show,
                   const ConversionObserver& observer) {
  ConversionRun run(settings, show, observer, source);
  run.Walk(source, target);
}

}  // namespace batchext
