#include "cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <sstream>

#include "cli/shown_path.h"
#include "cli/usage_texts.h"
#include "engine/conversion_run.h"
#include "fs/console.h"
#include "fs/path_ops.h"

namespace batchext {
namespace {

// Windows reads "C:\my dir\" out as one argument, C:\my dir" out: the
// final "\" escapes the closing quote. No Windows name holds a quote.
bool ShowsQuotingTrap(const std::vector<std::string>& arguments) {
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i].find('"') != std::string::npos &&
        !IsValidFileNamePart("\"")) {
      WriteText(stderr, "batchext-cli: 参数无法识别：" + arguments[i] +
                            "\n带引号的文件夹路径以 \\ 结尾时，"
                            "后面的引号会被当作路径的一部分；"
                            "请去掉最后的 \"\\\"，例如 \"C:\\my dir\"。\n");
      return true;
    }
  }
  return false;
}

constexpr int kMostJobs = 256;

// Plain decimal digits only: "0x4", "+4" or " 4" are no count of jobs.
bool ReadJobs(const std::string& text, int& jobs) {
  if (text.size() > 3 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  jobs = std::stoi(text);
  return jobs >= 1 && jobs <= kMostJobs;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CLI::App app{
      "直接批量修改文件的后缀名：把来源文件夹中的文件复制到目标文件夹，"
      "并换上新的后缀名。",
      "batchext-cli"};
  CliOptions options;
  std::string source;
  std::string target;
  app.formatter(std::make_shared<UsageFormatter>());
  app.add_option("SOURCE", source, "要转换的文件所在的文件夹")
      ->option_text("来源文件夹");
  app.add_option("TARGET", target,
                 "存放副本的文件夹（默认为来源文件夹后面直接加上 \"(2)\"）")
      ->option_text("目标文件夹");
  app.add_option("-f,--from", options.from_ext,
                 "只转换这个后缀名的文件，\"*\" 表示全部文件（默认 \"*\"）")
      ->option_text("后缀名");
  app.add_option("-t,--to", options.to_ext, "转换后的后缀名（默认 \"txt\"）")
      ->option_text("后缀名");
  app.add_flag("-r,--recursive", options.recursive,
               "包括全部子文件夹，在目标文件夹中按原结构存放");
  app.add_flag("-s,--strip", options.strip,
               "去掉多余的后缀名：abc.abc.txt.txt -> abc.txt");
  app.add_flag("-v,--verbose", options.verbose,
               "在标准输出上列出每个转换了的文件：来源 -> 目标");
  app.add_flag("-q,--quiet", options.quiet, "不显示进度");
  app.add_flag("-n,--dry-run", options.dry_run,
               "预览：逐个列出“来源 -> 目标：结果”和统计，不写入任何文件");
  app.add_flag("-m,--move", options.move,
               "移动而不是复制：每个匹配的文件改名为新名字（原地或移入目标"
               "文件夹），来源处不再保留；同一文件系统上直接改名，"
               "跨文件系统时先完整复制再删除来源；可以用 --undo 移回");
  app.add_flag("-0,--null", options.null_ended,
               "供脚本使用：-v 和 -n 在标准输出上列出的名字原样输出，"
               "每项（来源、目标，以及预览的结果）以 NUL 字符结束；"
               "统计改到标准错误上");
  std::string jobs;
  app.add_option(
         "-j,--jobs", jobs,
         "同时复制的文件数，1 到 " + std::to_string(kMostJobs) +
             "；1 表示逐个复制（默认为可用处理器核数，至少 2 个；复制在等待"
             "磁盘时自动增加，最多 " +
             std::to_string(DefaultJobsCap()) + " 个）")
      ->option_text("数目");
  app.add_flag("-u,--undo", options.undo,
               "撤销本用户最近一次尚未撤销的运行：删除它新建的文件和文件夹，"
               "把移动的文件移回，从回收站放回它替换的文件；"
               "运行之后被修改过的文件保持不变");
  app.set_help_flag("-h,--help", "显示本帮助后退出");
  app.set_version_flag("-V,--version", "batchext 1.00", "显示版本后退出");

  // CLI11 wants the arguments after the program name, last first.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  if (!reversed.empty()) reversed.pop_back();
  ParsedCommandLine parsed;
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) {
      // Help or version, through the console's text calls like all output.
      std::ostringstream out;
      std::ostringstream err;
      app.exit(error, out, err);
      WriteText(stdout, out.str());
      return parsed;
    }
    parsed.exit_code = 2;
    if (!ShowsQuotingTrap(arguments)) {
      WriteText(stderr, UsageErrorLines(UsageErrorText(error, app)));
    }
    return parsed;
  }
  if (!jobs.empty() && !ReadJobs(jobs, options.jobs)) {
    WriteText(stderr, UsageErrorLines("-j/--jobs 的值必须是 1 到 " +
                                      std::to_string(kMostJobs) +
                                      " 之间的十进制整数：" + ShownPath(jobs)));
    parsed.exit_code = 2;
    return parsed;
  }
  if (ShowsQuotingTrap(arguments)) {
    parsed.exit_code = 2;
    return parsed;
  }
  if (options.undo) {
    if (!source.empty() || !target.empty() || options.move) {
      WriteText(stderr, UsageErrorLines(options.move
                                            ? "--undo 不能与 -m/--move 一起使用"
                                            : "--undo 不接受文件夹参数"));
      parsed.exit_code = 2;
      return parsed;
    }
    parsed.options = options;
    return parsed;
  }
  if (source.empty()) {
    WriteText(stderr, UsageErrorLines("缺少来源文件夹"));
    parsed.exit_code = 2;
    return parsed;
  }
  // What was typed is read once, here; the twin's name follows from that.
  options.source = FolderPath::Typed(source);
  options.target = FolderPath::Typed(target);
  if (options.target.empty()) options.target = options.source.Twin();
  parsed.options = options;
  return parsed;
}

}  // namespace batchext
