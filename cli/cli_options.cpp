#include "cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <sstream>

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

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CLI::App app{
      "直接批量修改文件的后缀名：把来源文件夹中的文件复制到目标文件夹，"
      "并换上新的后缀名。",
      "batchext-cli"};
  CliOptions options;
  std::string source;
  std::string target;
  app.add_option("SOURCE", source, "来源文件夹");
  app.add_option("TARGET", target,
                 "目标文件夹（默认为来源文件夹后面直接加上 \"(2)\"）");
  app.add_option("-f,--from", options.from_ext,
                 "只转换这个后缀名的文件，\"*\" 表示全部文件")
      ->capture_default_str();
  app.add_option("-t,--to", options.to_ext, "转换后的后缀名")
      ->capture_default_str();
  app.add_flag("-r,--recursive", options.recursive,
               "包括全部子文件夹，在目标文件夹中按原结构存放");
  app.add_flag("-s,--strip", options.strip,
               "去掉多余的后缀名：abc.abc.txt.txt -> abc.txt");
  app.add_flag("-v,--verbose", options.verbose,
               "在标准输出上列出每个转换了的文件：来源 -> 目标");
  app.add_flag("-q,--quiet", options.quiet, "不显示进度");
  app.add_flag("-n,--dry-run", options.dry_run,
               "预览：逐个列出“来源 -> 目标：结果”和统计，不写入任何文件");
  app.add_option(
         "-j,--jobs", options.jobs,
         "同时复制的文件数；1 表示逐个复制（默认为可用处理器核数的两倍，"
         "最多 " +
             std::to_string(DefaultJobsCap()) + " 个）")
      ->check(CLI::Range(1, 256));
  app.add_flag("-u,--undo", options.undo,
               "撤销本用户最近一次尚未撤销的运行：删除它新建的文件和文件夹，"
               "从回收站放回它替换的文件；运行之后被修改过的文件保持不变");
  app.set_help_flag("-h,--help", "显示本帮助后退出");
  app.set_version_flag("-V,--version", "batchext 1.00", "显示版本后退出");

  // CLI11 wants the arguments after the program name, last first.
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  if (!reversed.empty()) reversed.pop_back();
  ParsedCommandLine parsed;
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    // Through the console's text calls, like everything else printed.
    std::ostringstream out;
    std::ostringstream err;
    parsed.exit_code = app.exit(error, out, err) == 0 ? 0 : 2;
    WriteText(stdout, out.str());
    WriteText(stderr, err.str());
    ShowsQuotingTrap(arguments);
    return parsed;
  }
  if (ShowsQuotingTrap(arguments)) {
    parsed.exit_code = 2;
    return parsed;
  }
  if (options.undo) {
    if (!source.empty() || !target.empty()) {
      WriteText(stderr, "batchext-cli: --undo 不接受文件夹参数\n");
      parsed.exit_code = 2;
      return parsed;
    }
    parsed.options = options;
    return parsed;
  }
  if (source.empty()) {
    WriteText(
        stderr,
        "batchext-cli: 需要来源文件夹\n运行 batchext-cli --help 查看用法。\n");
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
