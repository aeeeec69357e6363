// A command's own arguments, checked against what the usage table says:
// positionals in order, options and flags anywhere among them. Every number
// is decimal or 0x hex and is checked against its range before the command
// calls the library, so that no value wraps around to name another drive.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "session.h"

namespace lumbrel::diag {

// The largest adapter, ordinal, bus, target and cage number: the exports
// keep the low 8 bits of each.
constexpr std::uint32_t kMaxAddressByte = 255;
// Target 255 means every target, where a command says so.
constexpr std::uint32_t kEveryTarget = 255;

// A drive (or, with no target, a bus) as the user names it: PORT:BUS:TARGET,
// or in the form the export takes, CLASS ORDINAL BUS TARGET or PORT BUS TARGET.
struct DriveName {
  bool byPort = false;            // PORT:BUS:TARGET, or the PORT BUS TARGET form
  std::uint32_t port = 0;         // when byPort
  std::uint32_t classCode = 0;    // when not byPort
  std::uint32_t ordinal = 0;      // when not byPort
  std::uint32_t bus = 0;
  std::uint32_t target = 0;       // unused for a bus
};

// The shape of the export's own form of the address.
enum class DriveForm {
  ClassDrive,  // CLASS ORDINAL BUS TARGET, or PORT:BUS:TARGET
  ClassBus,    // CLASS ORDINAL BUS, or PORT:BUS
  PortDrive,   // PORT BUS TARGET, or PORT:BUS:TARGET
};

class CommandArguments {
 public:
  explicit CommandArguments(std::string command);

  // A required positional number, `min` to `max`.
  CommandArguments& Number(const std::string& name, std::uint32_t& value, std::uint32_t min = 0,
                           std::uint32_t max = UINT32_MAX);
  // A required positional text, such as a file name.
  CommandArguments& Text(const std::string& name, std::string& value);
  // A required drive or bus address in either of its forms; `maxTarget` is
  // 255 where target 255 means every target.
  CommandArguments& Drive(DriveName& drive, DriveForm form, std::uint32_t maxTarget = kEveryTarget - 1);
  // "--name N" (or --name=N): `value` keeps its default when absent.
  CommandArguments& NumberOption(const std::string& name, std::uint32_t& value, std::uint32_t min = 0,
                                 std::uint32_t max = UINT32_MAX);
  // "--name": true when given.
  CommandArguments& Flag(const std::string& name, bool& value);

  // Parses the words after the command name; the error when they do not
  // fit, none when every value is filled in.
  std::optional<CommandOutput> Parse(const std::vector<std::string>& args);

 private:
  enum class Kind { Number, Text, Drive, NumberOption, Flag };
  struct Slot {
    Kind kind;
    std::string name;
    std::uint32_t* number = nullptr;
    std::string* text = nullptr;
    bool* flag = nullptr;
    DriveName* drive = nullptr;
    DriveForm form = DriveForm::ClassDrive;
    std::uint32_t min = 0;
    std::uint32_t max = UINT32_MAX;
  };

  CommandOutput Error(const std::string& message) const;
  std::optional<CommandOutput> FillDrive(const Slot& slot, const std::vector<std::string>& words);

  std::string command_;
  std::vector<Slot> slots_;
};

// Parses a number as the user writes it: decimal or 0x hex, no sign; the
// error names the argument, the value and the range.
std::optional<std::string> ParseBounded(const std::string& name, const std::string& text, std::uint32_t min,
                                        std::uint32_t max, std::uint32_t& value);

// An adapter class: 0 to 6 or a class name ("scsi-port", "qzv").
std::optional<std::string> ParseClass(const std::string& text, std::uint32_t& value);

}  // namespace lumbrel::diag
