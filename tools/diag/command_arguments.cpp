#include "command_arguments.h"

#include <cerrno>
#include <cstdlib>

#include "lumbrel.h"
#include "text_output.h"
#include "usage.h"

namespace lumbrel::diag {
namespace {

std::string Range(std::uint32_t min, std::uint32_t max) {
  return std::to_string(min) + " to " + std::to_string(max);
}

std::vector<std::string> SplitColons(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t colon = text.find(':', start);
    parts.push_back(text.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
    if (colon == std::string::npos) return parts;
    start = colon + 1;
  }
}

// How many words the export's own form of an address takes.
std::size_t ExportWords(DriveForm form) { return form == DriveForm::ClassDrive ? 4 : 3; }

}  // namespace

std::optional<std::string> ParseBounded(const std::string& name, const std::string& text, std::uint32_t min,
                                        std::uint32_t max, std::uint32_t& value) {
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const std::string digits = hex ? text.substr(2) : text;
  bool valid = !digits.empty() && digits.size() <= 20;
  for (char c : digits) {
    const bool digit = c >= '0' && c <= '9';
    const bool hexDigit = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    valid = valid && (digit || (hex && hexDigit));
  }
  if (!valid) {
    return name + " \"" + DisplayText(text) + "\" is not a number: decimal or 0x hex, " + Range(min, max);
  }
  errno = 0;
  const unsigned long long number = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
  if (errno != 0 || number < min || number > max) {
    return name + " " + DisplayText(text) + " is out of range: " + Range(min, max);
  }
  value = static_cast<std::uint32_t>(number);
  return std::nullopt;
}

std::optional<std::string> ParseClass(const std::string& text, std::uint32_t& value) {
  if (const auto code = ParseClassName(text)) {
    value = *code;
    return std::nullopt;
  }
  if (ParseBounded("CLASS", text, 0, LUMBREL_CLASS_QZV, value)) {
    return "CLASS \"" + DisplayText(text) +
           "\" is no adapter class: 0 to 6, or base, megaraid, dac960, hhba5100, scsi-port, ide, qzv";
  }
  return std::nullopt;
}

CommandArguments::CommandArguments(std::string command) : command_(std::move(command)) {}

CommandArguments& CommandArguments::Number(const std::string& name, std::uint32_t& value, std::uint32_t min,
                                           std::uint32_t max) {
  slots_.push_back({Kind::Number, name, &value, nullptr, nullptr, nullptr, DriveForm::ClassDrive, min, max});
  return *this;
}

CommandArguments& CommandArguments::Text(const std::string& name, std::string& value) {
  slots_.push_back({Kind::Text, name, nullptr, &value, nullptr, nullptr});
  return *this;
}

CommandArguments& CommandArguments::Drive(DriveName& drive, DriveForm form, std::uint32_t maxTarget) {
  slots_.push_back({Kind::Drive, "", nullptr, nullptr, nullptr, &drive, form, 0, maxTarget});
  return *this;
}

CommandArguments& CommandArguments::NumberOption(const std::string& name, std::uint32_t& value, std::uint32_t min,
                                                 std::uint32_t max) {
  slots_.push_back({Kind::NumberOption, name, &value, nullptr, nullptr, nullptr, DriveForm::ClassDrive, min, max});
  return *this;
}

CommandArguments& CommandArguments::Flag(const std::string& name, bool& value) {
  slots_.push_back({Kind::Flag, name, nullptr, nullptr, &value, nullptr});
  return *this;
}

CommandOutput CommandArguments::Error(const std::string& message) const {
  return CommandError(command_, message + "; " + UsageError(command_));
}

std::optional<CommandOutput> CommandArguments::FillDrive(const Slot& slot, const std::vector<std::string>& words) {
  DriveName& drive = *slot.drive;
  std::vector<std::string> names;
  drive.byPort = words.size() == 1 || slot.form == DriveForm::PortDrive;
  if (drive.byPort) {
    names = {"PORT", "BUS", "TARGET"};
  } else {
    names = {"CLASS", "ORDINAL", "BUS", "TARGET"};
    if (const auto error = ParseClass(words[0], drive.classCode)) return Error(*error);
  }
  if (slot.form == DriveForm::ClassBus) names.pop_back();
  const std::vector<std::string> parts = words.size() == 1 ? SplitColons(words[0]) : words;
  if (parts.size() != names.size()) {
    std::string form;
    for (const auto& name : names) form += (form.empty() ? "" : ":") + name;
    return Error("\"" + DisplayText(words[0]) + "\" is no address of the form " + form);
  }
  for (std::size_t i = drive.byPort ? 0 : 1; i < names.size(); ++i) {
    std::uint32_t* field = names[i] == "PORT"      ? &drive.port
                           : names[i] == "ORDINAL" ? &drive.ordinal
                           : names[i] == "BUS"     ? &drive.bus
                                                   : &drive.target;
    const std::uint32_t max = names[i] == "TARGET" ? slot.max : kMaxAddressByte;
    if (const auto error = ParseBounded(names[i], parts[i], 0, max, *field)) {
      return Error(*error + (names[i] == "TARGET" && max < kEveryTarget ? " (255, every target, is for flash only)"
                                                                          : ""));
    }
  }
  return std::nullopt;
}

std::optional<CommandOutput> CommandArguments::Parse(const std::vector<std::string>& args) {
  std::vector<std::string> positionals;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word.size() < 3 || word.compare(0, 2, "--") != 0) {
      positionals.push_back(word);
      continue;
    }
    const std::size_t equals = word.find('=');
    const std::string name = word.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    Slot* option = nullptr;
    for (Slot& slot : slots_) {
      if ((slot.kind == Kind::Flag || slot.kind == Kind::NumberOption) && slot.name == name) option = &slot;
    }
    if (option == nullptr) return Error("unknown option --" + DisplayText(name));
    if (option->kind == Kind::Flag) {
      if (equals != std::string::npos) return Error("--" + name + " takes no value");
      *option->flag = true;
      continue;
    }
    std::string value;
    if (equals != std::string::npos) {
      value = word.substr(equals + 1);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return Error("--" + name + " needs a value");
    }
    if (const auto error = ParseBounded("--" + name, value, option->min, option->max, *option->number)) {
      return Error(*error);
    }
  }

  std::size_t next = 0;
  for (const Slot& slot : slots_) {
    if (slot.kind == Kind::Flag || slot.kind == Kind::NumberOption) continue;
    std::string name = slot.name;
    if (slot.kind == Kind::Drive) name = slot.form == DriveForm::ClassBus ? "PORT:BUS" : "PORT:BUS:TARGET";
    if (next >= positionals.size()) return Error(name + " missing");
    if (slot.kind == Kind::Text) {
      *slot.text = positionals[next++];
    } else if (slot.kind == Kind::Number) {
      if (const auto error = ParseBounded(slot.name, positionals[next++], slot.min, slot.max, *slot.number)) {
        return Error(*error);
      }
    } else {
      const bool colon = positionals[next].find(':') != std::string::npos;
      const std::size_t count = colon ? 1 : ExportWords(slot.form);
      if (next + count > positionals.size()) {
        static const char* const kClassNames[] = {"CLASS", "ORDINAL", "BUS", "TARGET"};
        static const char* const kPortNames[] = {"PORT", "BUS", "TARGET"};
        const std::size_t given = positionals.size() - next;
        return Error(std::string(slot.form == DriveForm::PortDrive ? kPortNames[given] : kClassNames[given]) +
                     " missing");
      }
      const std::vector<std::string> words(positionals.begin() + static_cast<std::ptrdiff_t>(next),
                                           positionals.begin() + static_cast<std::ptrdiff_t>(next + count));
      next += count;
      if (auto error = FillDrive(slot, words)) return error;
    }
  }
  if (next < positionals.size()) return Error("unexpected argument \"" + DisplayText(positionals[next]) + "\"");
  return std::nullopt;
}

}  // namespace lumbrel::diag
