#include "engine/conversion_run.h"

#include <exception>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "engine/claimed_files.h"
#include "engine/name_rules.h"
#include "fs/file_copy.h"
#include "fs/file_identity.h"
#include "fs/folder_handle.h"
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

std::string DescribeFolderError(const OpenedFolder& opened) {
  switch (opened.error) {
    case FolderError::kNone:
      return {};
    case FolderError::kLink:
      return "这是一个链接，没有跟随";
    case FolderError::kNotFolder:
      return "这不是文件夹";
    case FolderError::kNameNotAllowed:
      return "文件夹名在这个系统上不能使用";
    case FolderError::kSystem:
      break;
  }
  return "系统提示：" + opened.system_error;
}

// A failure ends the folder in hand only; the walk goes on with the next.
template <typename Step>
bool Guarded(Step step) {
  try {
    return step();
  } catch (const std::exception&) {
    return false;
  }
}

// One run over a tree: an iterative depth-first walk that holds one open
// source and target folder per level, so depth costs neither stack nor
// path length.
class ConversionRun {
 public:
  ConversionRun(ConversionSettings& settings, const ShowMessage& show,
                const ConversionObserver& observer, ConversionReport& report)
      : settings_(settings),
        show_(show),
        observer_(observer),
        report_(report),
        filter_(settings.FromExt) {}

  void Run(const std::string& source_text, const std::string& target_text);

 private:
  // A folder pair whose files are done and whose subfolders are being
  // walked.
  struct Level {
    FolderHandle source;
    FolderHandle target;
    NameTable subfolders;
    std::size_t next = 0;
    // Of the paths shown for this level, which deeper levels extend.
    std::size_t source_length = 0;
    std::size_t target_length = 0;
    // The target folder lies in the source tree: no file there is replaced.
    bool protect = false;
  };

  bool OpenRoots(FolderHandle& source, FolderHandle& target);
  bool EnterSubfolder(Level& parent, const std::string& name);
  // Lists the folder, converts its files and, when subfolders are included,
  // queues them.
  void Enter(FolderHandle source, FolderHandle target, bool protect);
  // False when the walk of this folder has to end.
  bool ConvertFiles(const FolderHandle& source, const FolderHandle& target,
                    const NameTable& names, bool protect);
  bool ConvertFile(const FolderHandle& source, const FolderHandle& target,
                   std::string_view name, const CopyOptions& options);
  void SourceFailure(const std::string& reason);
  void TargetFailure(const std::string& reason);
  bool StopRequested();

  ConversionSettings& settings_;
  const ShowMessage& show_;
  const ConversionObserver& observer_;
  ConversionReport& report_;
  const ExtensionFilter filter_;
  std::vector<Level> levels_;
  // The folders in hand, as shown to the observer.
  std::string source_path_;
  std::string target_path_;
  std::optional<FileIdentity> source_root_;
  std::optional<FileIdentity> target_root_;
  // Decided once at the roots, so that no folder below has to climb.
  bool target_in_source_ = false;
  bool source_in_target_ = false;
  // Every file this run wrote or found to be its own source: a second file
  // mapping to one of them must not overwrite it.
  ClaimedFiles claimed_;
};

void ConversionRun::Run(const std::string& source_text,
                        const std::string& target_text) {
  source_path_ = TypedFolderPath(source_text);
  target_path_ = TypedFolderPath(target_text);
  if (source_path_.empty() || target_path_.empty()) return;
  source_path_ = AddTrailingSlash(source_path_);
  target_path_ = AddTrailingSlash(target_path_);
  RaiseOpenFileLimit();
  FolderHandle source;
  FolderHandle target;
  if (!Guarded([&] { return OpenRoots(source, target); })) return;
  // An in-place run counts as the source tree.
  Enter(std::move(source), std::move(target), source_root_ == target_root_);
  while (!levels_.empty() && !report_.stopped) {
    Level& level = levels_.back();
    if (level.next == level.subfolders.size()) {
      levels_.pop_back();
      continue;
    }
    const std::string name(level.subfolders[level.next++]);
    source_path_.resize(level.source_length);
    source_path_.append(name).push_back(PreferredSeparator());
    target_path_.resize(level.target_length);
    target_path_.append(name).push_back(PreferredSeparator());
    Guarded([&] { return EnterSubfolder(level, name); });
  }
  levels_.clear();
}

bool ConversionRun::OpenRoots(FolderHandle& source, FolderHandle& target) {
  CreateFolderPath(target_path_);
  OpenedFolder opened_target = OpenFolder(target_path_);
  if (!opened_target.folder.valid()) {
    TargetFailure(DescribeFolderError(opened_target));
    return false;
  }
  if (observer_.on_folder) observer_.on_folder(source_path_, target_path_);
  OpenedFolder opened_source = OpenFolder(source_path_);
  if (!opened_source.folder.valid()) {
    SourceFailure(DescribeFolderError(opened_source));
    return false;
  }
  source = std::move(opened_source.folder);
  target = std::move(opened_target.folder);
  source_root_ = IdentityOf(source);
  target_root_ = IdentityOf(target);
  target_in_source_ = source_root_ && LiesInside(target, *source_root_);
  source_in_target_ = target_root_ && LiesInside(source, *target_root_);
  return true;
}

bool ConversionRun::EnterSubfolder(Level& parent, const std::string& name) {
  OpenedFolder source = OpenSubfolder(parent.source, name);
  if (!source.folder.valid()) {
    SourceFailure(DescribeFolderError(source));
    return false;
  }
  // Entering the run's own target folder would copy the copies again.
  if (target_in_source_ && IdentityOf(source.folder) == target_root_) {
    return false;
  }
  OpenedFolder target = MakeSubfolder(parent.target, name);
  if (!target.folder.valid()) {
    TargetFailure(DescribeFolderError(target));
    return false;
  }
  const bool protect =
      parent.protect ||
      (source_in_target_ && IdentityOf(target.folder) == source_root_);
  if (observer_.on_folder) observer_.on_folder(source_path_, target_path_);
  // Invalidates `parent`.
  Enter(std::move(source.folder), std::move(target.folder), protect);
  return true;
}

void ConversionRun::Enter(FolderHandle source, FolderHandle target,
                          bool protect) {
  Guarded([&] {
    FolderListing listing = ListFolder(source);
    if (!listing.error.empty()) {
      SourceFailure("系统提示：" + listing.error);
      return false;
    }
    if (!ConvertFiles(source, target, listing.files, protect) ||
        !settings_.IncludeSubfolders || listing.subfolders.empty()) {
      return false;
    }
    levels_.push_back(Level{std::move(source), std::move(target),
                            std::move(listing.subfolders), 0,
                            source_path_.size(), target_path_.size(), protect});
    return true;
  });
}

bool ConversionRun::ConvertFiles(const FolderHandle& source,
                                 const FolderHandle& target,
                                 const NameTable& names, bool protect) {
  CopyOptions options{
      !protect,
      [this](const FileIdentity& id) { return claimed_.Contains(id); },
      {}};
  if (observer_.stop_requested) {
    options.stop_requested = [this] { return StopRequested(); };
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string_view name = names[i];
    if (StopRequested()) return false;
    if (!filter_.Matches(name)) continue;
    if (!ConvertFile(source, target, name, options)) return false;
  }
  return true;
}

bool ConversionRun::ConvertFile(const FolderHandle& source,
                                const FolderHandle& target,
                                std::string_view name,
                                const CopyOptions& options) {
  std::string base = BaseName(name);
  if (settings_.StripSurplusExtensions) base = StripSurplusExtensions(base);
  const std::string new_name = TargetFileName(base, settings_.ToExt);
  const CopyResult result = CopyFileAt(source, name, target, new_name, options);
  // A copy cut short by a stop neither succeeded nor failed.
  if (result.status == CopyStatus::kStopped) return false;
  FileOutcome outcome{source_path_ + std::string(name),
                      target_path_ + new_name,
                      result.Succeeded(),
                      {}};
  if (outcome.converted) {
    claimed_.Insert(result.destination);
  } else {
    outcome.reason = DescribeFailure(result);
  }
  if (observer_.on_file) observer_.on_file(outcome);
  return Increment(outcome.converted ? settings_.SuccessCount
                                     : settings_.FailCount);
}

void ConversionRun::SourceFailure(const std::string& reason) {
  report_.folder_failures.push_back({source_path_, reason, false});
  if (observer_.on_folder_failure) {
    observer_.on_folder_failure(report_.folder_failures.back());
  }
}

void ConversionRun::TargetFailure(const std::string& reason) {
  show_(kTargetUnwritableText, kTargetUnwritableTitle, MessageStyle::kError);
  report_.folder_failures.push_back({target_path_, reason, true});
  if (observer_.on_folder_failure) {
    observer_.on_folder_failure(report_.folder_failures.back());
  }
}

bool ConversionRun::StopRequested() {
  if (!report_.stopped && observer_.stop_requested &&
      observer_.stop_requested()) {
    report_.stopped = true;
  }
  return report_.stopped;
}

std::string Summary(const ConversionSettings& settings) {
  return "成功修改了" + std::to_string(settings.SuccessCount) +
         "个文件的后缀名，失败" + std::to_string(settings.FailCount) + "个文件";
}

}  // namespace

ConversionReport StartConversion(ConversionSettings& settings,
                                 const std::string& from_text,
                                 const std::string& to_text,
                                 const ShowMessage& show,
                                 const ConversionObserver& observer) {
  ConversionReport report;
  const auto refuse = [&](const char* text, const char* title,
                          MessageStyle style) {
    show(text, title, style);
    report.refused = true;
    return report;
  };
  try {
    // Blanks alone name no folder, least of all the root.
    if (TypedFolderPath(settings.FromFolder).empty() ||
        TypedFolderPath(settings.TargetFolder).empty()) {
      return refuse(kChooseFoldersText, kChooseFoldersTitle,
                    MessageStyle::kError);
    }
    settings.FromExt = std::string(TrimSpaces(from_text));
    settings.ToExt = std::string(TrimSpaces(to_text));
    if (settings.FromExt.empty()) settings.FromExt = "*";
    if (settings.ToExt.empty()) {
      return refuse(kNoToExtText, kIncompleteTitle, MessageStyle::kWarning);
    }
    if (settings.ToExt == settings.FromExt) {
      return refuse(kSameExtText, kBadRequestTitle, MessageStyle::kWarning);
    }
    // Such a suffix could write outside the target folder.
    if (!IsValidFileNamePart(settings.ToExt)) {
      return refuse(kBadToExtText, kBadRequestTitle, MessageStyle::kWarning);
    }
    settings.SuccessCount = 0;
    settings.FailCount = 0;
    report = ConvertFolder(settings, settings.FromFolder, settings.TargetFolder,
                           show, observer);
    show(Summary(settings), kResultTitle, MessageStyle::kInformation);
  } catch (const std::exception& error) {
    report.error = error.what();
    show(kFailedPrefix + report.error, kFailedTitle, MessageStyle::kWarning);
  }
  report.succeeded = settings.SuccessCount;
  report.failed = settings.FailCount;
  return report;
}

ConversionReport ConvertFolder(ConversionSettings& settings,
                               const std::string& source,
                               const std::string& target,
                               const ShowMessage& show,
                               const ConversionObserver& observer) {
  ConversionReport report;
  ConversionRun(settings, show, observer, report).Run(source, target);
  report.succeeded = settings.SuccessCount;
  report.failed = settings.FailCount;
  return report;
}

}  // namespace batchext
