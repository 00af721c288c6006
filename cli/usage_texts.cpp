#include "cli/usage_texts.h"

#include <cstdint>

#include "cli/shown_path.h"

namespace batchext {
namespace {

// Columns a text takes in a terminal: CJK characters take two.
std::size_t Columns(const std::string& text) {
  std::size_t columns = 0;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80   ? 1
                               : lead < 0xe0 ? 2
                               : lead < 0xf0 ? 3
                                             : 4;
    columns += length >= 3 ? 2 : 1;
    i += length;
  }
  return columns;
}

constexpr std::size_t kNameColumn = 22;

std::string Row(const std::string& name, const std::string& description) {
  std::string row = "  " + name;
  const std::size_t used = 2 + Columns(name);
  row += used < kNameColumn ? std::string(kNameColumn - used, ' ') : "  ";
  return row + description + "\n";
}

std::string OptionName(const CLI::Option& option) {
  std::string names;
  for (const std::string& name : option.get_snames()) {
    names += (names.empty() ? "-" : ", -") + name;
  }
  for (const std::string& name : option.get_lnames()) {
    names += (names.empty() ? "--" : ", --") + name;
  }
  const std::string value = option.get_option_text();
  return value.empty() ? names : names + " " + value;
}

}  // namespace

std::string UsageFormatter::make_help(const CLI::App* app, std::string name,
                                      CLI::AppFormatMode) const {
  std::string usage = "用法: " + name + " [选项]";
  std::string arguments;
  std::string options;
  // Every run needs the first; only taking a run back needs none.
  bool first = true;
  for (const CLI::Option* option : app->get_options()) {
    if (option->get_positional()) {
      const std::string shown = option->get_option_text();
      usage += first ? " " + shown : " [" + shown + "]";
      first = false;
      arguments += Row(shown, option->get_description());
    } else {
      options += Row(OptionName(*option), option->get_description());
    }
  }
  usage += "\n  或: " + name + " --undo";
  return app->get_description() + "\n\n" + usage + "\n\n参数:\n" + arguments +
         "\n选项:\n" + options;
}

std::string UsageErrorText(const CLI::ParseError& error, const CLI::App& app) {
  if (dynamic_cast<const CLI::RequiredError*>(&error)) {
    return "缺少来源文件夹";
  }
  if (dynamic_cast<const CLI::ExtrasError*>(&error)) {
    const std::vector<std::string> extras = app.remaining();
    std::string shown;
    for (const std::string& extra : extras) {
      shown += (shown.empty() ? "" : " ") + ShownPath(extra);
    }
    const bool option = !extras.empty() && extras.front().size() > 1 &&
                        extras.front().front() == '-';
    return (option ? "没有这个选项：" : "多余的参数：") + shown;
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
    // CLI11 names the option first: "--to: 1 required TEXT missing".
    const std::string what = error.what();
    return "选项缺少值：" + what.substr(0, what.find(':'));
  }
  return "无法识别的命令行";
}

std::string UsageErrorLines(const std::string& what) {
  return "batchext-cli: " + what +
         "\n用 batchext-cli --help 查看全部选项和参数。\n";
}

}  // namespace batchext
