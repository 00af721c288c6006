#pragma once

#include <cstdio>
#include <string>

#include "cli/cli_options.h"
#include "cli/progress_line.h"
#include "engine/conversion_run.h"
#include "ui/form/run_presenter.h"

namespace batchext {

// Words a run on the standard streams as it goes: copies (when verbose) and
// a preview's predictions on stdout, failures on stderr, the summary last on
// stdout and every other box on stderr, as "TITLE: TEXT".
class CliPresenter {
 public:
  explicit CliPresenter(const CliOptions& options);
  CliPresenter(const CliPresenter&) = delete;
  CliPresenter& operator=(const CliPresenter&) = delete;

  // Both valid as long as this object.
  ConversionObserver Observer();
  RunMessages Messages();

 private:
  void OnFolder(const ChainedPath::Ptr& source);
  void OnFile(const FileOutcome& outcome);
  void OnFolderFailure(const FolderFailure& failure);
  void PrintBox(std::FILE* stream, const std::string& title,
                const std::string& text);

  // A file's fields on stdout: shown for a person, or NUL-ended.
  void PrintFile(const FileOutcome& outcome, const std::string& outcome_text);

  const bool verbose_;
  const bool preview_;
  const bool move_;
  const bool null_ended_;
  ProgressLine progress_;
  long long files_handled_ = 0;
  long long total_ = 0;
  ChainedPath::Ptr folder_;
};

}  // namespace batchext
