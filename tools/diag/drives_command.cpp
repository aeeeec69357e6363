// The drives command, which lists every drive under each of its names, and
// what the drive commands learn from the same reports: the class and
// ordinal of an adapter named by its number, and what a drive holds before
// a command overwrites it.
#include <cstdio>

#include "command_arguments.h"
#include "drive_names.h"
#include "result_meanings.h"
#include "session.h"
#include "text_output.h"
#include "usage.h"

namespace lumbrel::diag {
namespace {

constexpr std::size_t kInquiryVendorLength = 8;  // the vendor part of the vendor and product field

std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string AddressText(std::uint32_t port, std::uint32_t bus, std::uint32_t target) {
  return std::to_string(port) + ":" + std::to_string(bus) + ":" + std::to_string(target);
}

// What lies on a drive, from its disk report record.
struct Holdings {
  std::string identity;  // "IBM DDRS-34560D, revision S80J, serial RD2W4271AB"
  std::uint32_t letters = 0;
  std::uint32_t raidLevel = 255;
};

Holdings HoldingsOf(const DiskConfigRecord& record) {
  Holdings holdings;
  const std::string vendorProduct = FieldText(record.vendorProduct, sizeof record.vendorProduct);
  holdings.identity = DisplayText(Trimmed(vendorProduct.substr(0, kInquiryVendorLength))) + " " +
                      DisplayText(Trimmed(vendorProduct.size() > kInquiryVendorLength
                                              ? vendorProduct.substr(kInquiryVendorLength)
                                              : std::string())) +
                      ", revision " + DisplayText(FieldText(record.revisionCode, sizeof record.revisionCode)) +
                      ", serial " + DisplayText(FieldText(record.serialNumber, sizeof record.serialNumber));
  holdings.letters = record.driveLetters;
  holdings.raidLevel = record.raidLevel;
  return holdings;
}

}  // namespace

std::optional<CommandOutput> Session::ClassAndOrdinal(const std::string& command, DriveName& drive) {
  if (!drive.byPort) return std::nullopt;
  AdapterReport report;
  if (auto error = ReadAdapterReport(library_.exports(), report)) return CommandError(command, *error);
  if (auto error = CompleteDrive(report, drive)) return CommandError(command, *error);
  return std::nullopt;
}

std::optional<CommandOutput> Session::ConfirmOverwrite(const std::string& command, DriveName& drive,
                                                       const std::string& what, bool yes, bool force) {
  const ExportTable& exports = library_.exports();
  std::string named = drive.byPort ? "" : "class " + ClassText(drive.classCode) + ", ordinal " +
                                              std::to_string(drive.ordinal) + ", bus " + std::to_string(drive.bus) +
                                              ", target " + std::to_string(drive.target);
  std::string description;
  bool unknown = true;
  AdapterReport adapters;
  const bool located = drive.byPort ||
                       (!ReadAdapterReport(exports, adapters) && !CompleteDrive(adapters, drive));
  if (!located) {
    // The library will find no adapter either: nothing can be overwritten.
    description = named + ": no such adapter in the adapter report";
    unknown = false;
  } else {
    const std::string address = AddressText(drive.port, drive.bus, drive.target);
    DiskReport disks;
    const auto error = ReadDiskReport(exports, std::nullopt, disks);
    const DiskConfigRecord* record = error ? nullptr : FindDisk(disks, drive.port, drive.bus, drive.target);
    description = "drive " + address + (named.empty() ? "" : " (" + named + ")") + ": ";
    if (record != nullptr) {
      const Holdings holdings = HoldingsOf(*record);
      unknown = false;
      description += holdings.identity + ", letters " + MaskLettersText(holdings.letters) + ", " +
                     (InArray(holdings.raidLevel) ? "member of a " + RaidLevelText(holdings.raidLevel) + " array"
                                                  : "in no array");
      std::string why;
      if (holdings.letters != 0) why = "it holds " + MaskLettersText(holdings.letters);
      if (InArray(holdings.raidLevel)) {
        why += std::string(why.empty() ? "it" : " and") + " is a member of a " + RaidLevelText(holdings.raidLevel) +
               " array, whose other drives lose their data too";
      }
      if (!why.empty() && !force) {
        return CommandError(command, description + "; " + why + "; give --force as well when that is meant");
      }
    } else if (!error && disks.result == 0) {
      description += "no drive in the disk report at that address";
      unknown = false;
    } else {
      description += "the disk report cannot tell what it holds" +
                     (error ? " (" + *error + ")" : " (result " + ResultText(disks.result) + ")");
    }
  }
  if (unknown && !force) {
    return CommandError(command, description + ": give --force as well to go on unseen");
  }
  if (!yes) {
    if (!options_.confirm) {
      return CommandError(command, description + ": " + what +
                                       ": give --yes when standard input is not a terminal");
    }
    if (!options_.confirm(description + "\n" + what + ". Go on?")) {
      return CommandError(command, "not confirmed: the drive was left alone");
    }
  }
  overwriteDescription_ = description;
  return std::nullopt;
}

CommandOutput Session::Drives(const std::vector<std::string>& args) {
  CommandArguments parser("drives");
  if (auto error = parser.Parse(args)) return *error;
  const ExportTable& exports = library_.exports();
  AdapterReport adapters;
  if (auto error = ReadAdapterReport(exports, adapters)) return CommandError("drives", *error);
  DiskReport disks;
  if (adapters.result == 0) {
    if (auto error = ReadDiskReport(exports, std::nullopt, disks)) return CommandError("drives", *error);
  }
  // The cages know their bays by target only.
  CageInfo cages[kMaxCages] = {};
  std::uint32_t cageCount = 0;
  if (exports.InitializeDiags != nullptr && exports.InitializeDiags(cages, &cageCount) == 0) {
    cagesInitialized_ = true;
  } else {
    cageCount = 0;
  }
  if (cageCount > kMaxCages) cageCount = kMaxCages;

  CommandOutput output;
  output.json["command"] = "drives";
  output.json["result"] = adapters.result != 0 ? adapters.result : disks.result;
  output.json["drives"] = nlohmann::ordered_json::array();
  Table table({"drive", "class", "ordinal", "vendor", "product", "revision", "serial", "letters", "RAID", "cage",
               "bay"});
  for (const DiskConfigRecord& record : disks.records) {
    const std::uint32_t port = record.adapterNumber, bus = record.bus, target = record.target;
    const std::uint32_t letters = record.driveLetters, level = record.raidLevel, vendorNumber = record.vendorNumber;
    const std::string vendorProduct = FieldText(record.vendorProduct, sizeof record.vendorProduct);
    const std::string vendor = Trimmed(vendorProduct.substr(0, kInquiryVendorLength));
    const std::string product =
        Trimmed(vendorProduct.size() > kInquiryVendorLength ? vendorProduct.substr(kInquiryVendorLength) : "");
    std::optional<std::uint32_t> classCode;
    for (const AdapterEntry& adapter : adapters.adapters) {
      if (adapter.number == port) classCode = adapter.classCode;
    }
    const auto ordinal = OrdinalOf(adapters, port);
    nlohmann::ordered_json json;
    json["drive"] = AddressText(port, bus, target);
    json["port"] = port;
    json["bus"] = bus;
    json["target"] = target;
    json["classCode"] = classCode ? nlohmann::ordered_json(*classCode) : nullptr;
    json["ordinal"] = ordinal ? nlohmann::ordered_json(*ordinal) : nullptr;
    json["vendor"] = JsonText(vendor);
    json["product"] = JsonText(product);
    json["vendorNumber"] = vendorNumber;
    json["revisionCode"] = JsonText(FieldText(record.revisionCode, sizeof record.revisionCode));
    json["serialNumber"] = JsonText(FieldText(record.serialNumber, sizeof record.serialNumber));
    json["letters"] = MaskLetters(letters);
    json["raidLevel"] = level;
    json["cageId"] = nullptr;
    json["bay"] = nullptr;
    for (std::uint32_t i = 0; i < cageCount; ++i) {
      for (int bay = 0; bay < cages[i].bayCount && bay < 8; ++bay) {
        if (cages[i].bays[bay].present != 0 && cages[i].bays[bay].targetId == target && json["cageId"].is_null()) {
          json["cageId"] = cages[i].cageId;
          json["bay"] = cages[i].bays[bay].bayNumber;
        }
      }
    }
    char cage[8];
    std::snprintf(cage, sizeof cage, "0x%02X", json["cageId"].is_null() ? 0u : json["cageId"].get<unsigned>());
    table.Add({json["drive"].get<std::string>(), classCode ? ClassText(*classCode) : "?",
               ordinal ? std::to_string(*ordinal) : "?", DisplayText(vendor) + " (" + std::to_string(vendorNumber) + ")",
               DisplayText(product), DisplayText(FieldText(record.revisionCode, sizeof record.revisionCode)),
               DisplayText(FieldText(record.serialNumber, sizeof record.serialNumber)), MaskLettersText(letters),
               RaidLevelText(level), json["cageId"].is_null() ? "-" : cage,
               json["bay"].is_null() ? "-" : json["bay"].dump()});
    output.json["drives"].push_back(std::move(json));
  }
  const std::uint32_t result = output.json["result"];
  output.text = "Drives: " + std::to_string(disks.records.size()) +
                (result != 0 ? ", result " + ResultText(result) : "") + "\n" +
                (disks.records.empty() ? "" : table.Render("  "));
  return output;
}

}  // namespace lumbrel::diag
