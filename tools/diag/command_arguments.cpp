#include "command_arguments.h"

#include <algorithm>

#include "result_meanings.h"
#include "text_output.h"
#include "usage.h"

namespace lumbrel::diag {

CommandArguments::CommandArguments(const std::string& command) : app_(command), command_(command) {
  app_.set_help_flag();  // help requests never reach a command: the usage table answers them
  app_.allow_extras(false);
}

CommandArguments& CommandArguments::Number(const std::string& name, std::uint32_t& value, std::uint32_t max) {
  std::string& text = texts_.emplace_back();
  app_.add_option(name, text)->required();
  conversions_.push_back({&text, &value, max, false});
  return *this;
}

CommandArguments& CommandArguments::ClassCode(const std::string& name, std::uint32_t& value) {
  std::string& text = texts_.emplace_back();
  app_.add_option(name, text)->required();
  conversions_.push_back({&text, &value, UINT32_MAX, true});
  return *this;
}

CommandArguments& CommandArguments::Text(const std::string& name, std::string& value) {
  app_.add_option(name, value)->required();
  return *this;
}

CommandArguments& CommandArguments::NumberOption(const std::string& name, std::uint32_t& value, std::uint32_t max) {
  std::string& text = texts_.emplace_back();
  app_.add_option("--" + name, text);
  conversions_.push_back({&text, &value, max, false});
  return *this;
}

CommandArguments& CommandArguments::Flag(const std::string& name, bool& value) {
  app_.add_flag("--" + name, value);
  return *this;
}

std::optional<CommandOutput> CommandArguments::Parse(const std::vector<std::string>& args) {
  std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
  try {
    app_.parse(reversed);
  } catch (const CLI::ParseError&) {
    return CommandError(command_, UsageError(command_));
  }
  for (const Conversion& conversion : conversions_) {
    if (conversion.text->empty()) continue;  // an option not given
    if (conversion.className) {
      if (const auto code = ParseClassName(*conversion.text)) {
        *conversion.value = *code;
        continue;
      }
    }
    // A leading '-' is no number here, although explain takes -1.
    const auto number = (*conversion.text)[0] == '-' ? std::nullopt : ParseResultCode(*conversion.text);
    if (!number || *number > conversion.max) return CommandError(command_, UsageError(command_));
    *conversion.value = *number;
  }
  return std::nullopt;
}

}  // namespace lumbrel::diag
