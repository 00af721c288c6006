#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fs/folder_path.h"

namespace batchext {

struct CliOptions {
  FolderPath source;
  // The source's twin when none was given.
  FolderPath target;
  std::string from_ext = "*";
  std::string to_ext = "txt";
  bool recursive = false;
  bool strip = false;
  bool verbose = false;
  bool quiet = false;
  bool dry_run = false;
  // Names on stdout as they are, each field ended by a NUL, for scripts.
  bool null_ended = false;
  // 0: the engine's default.
  int jobs = 0;
  // Renames the files into their new names instead of copying them.
  bool move = false;
  // Takes back the last run instead; no folders are given then.
  bool undo = false;
};

struct ParsedCommandLine {
  std::optional<CliOptions> options;
  // Set when the program should end at once (help, version, usage error).
  int exit_code = 0;
};

// Parses the arguments, printing help, version or usage errors itself.
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

}  // namespace batchext
