#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace batchext {

// The help in the words and layout of the rest of the command line. Each
// option's value is named by its option text; a positional argument's
// option text is its name.
class UsageFormatter : public CLI::FormatterBase {
 public:
  std::string make_help(const CLI::App* app, std::string name,
                        CLI::AppFormatMode mode) const override;
};

// What a person reads when the command line could not be parsed.
std::string UsageErrorText(const CLI::ParseError& error, const CLI::App& app);

// "batchext-cli: WHAT", then where the help is.
std::string UsageErrorLines(const std::string& what);

}  // namespace batchext
