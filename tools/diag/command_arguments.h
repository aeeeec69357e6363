// A command's own arguments, parsed with CLI11 against what the usage table
// says: positionals in order, then options and flags. Numbers are decimal or
// 0x hex, as everywhere in the tool.
#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "session.h"

namespace lumbrel::diag {

class CommandArguments {
 public:
  explicit CommandArguments(const std::string& command);

  // A required positional number, at most `max`.
  CommandArguments& Number(const std::string& name, std::uint32_t& value, std::uint32_t max = UINT32_MAX);
  // A required positional adapter class: a number, or a class name as
  // ParseClassName takes it ("scsi-port", "qzv").
  CommandArguments& ClassCode(const std::string& name, std::uint32_t& value);
  // A required positional text, such as a file name.
  CommandArguments& Text(const std::string& name, std::string& value);
  // "--name N": `value` keeps its default when the option is absent.
  CommandArguments& NumberOption(const std::string& name, std::uint32_t& value, std::uint32_t max = UINT32_MAX);
  // "--name": true when given.
  CommandArguments& Flag(const std::string& name, bool& value);

  // Parses the words after the command name; the usage error when they do
  // not fit, none when every value is filled in.
  std::optional<CommandOutput> Parse(const std::vector<std::string>& args);

 private:
  struct Conversion {
    const std::string* text;
    std::uint32_t* value;
    std::uint32_t max;
    bool className;  // a class name stands for its code too
  };

  CLI::App app_;
  std::string command_;
  std::deque<std::string> texts_;  // stable addresses for CLI11 to fill
  std::vector<Conversion> conversions_;
};

}  // namespace lumbrel::diag
