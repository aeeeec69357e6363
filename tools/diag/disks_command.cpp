// The disk configuration commands: the report of every drive
// (GetAllDiskConfigInfo), the RAID level of a member drive, the drive
// letters that lie on a drive, and how far a drive has come into service.
#include <cstring>

#include "command_arguments.h"
#include "drive_names.h"
#include "result_meanings.h"
#include "session.h"
#include "text_output.h"
#include "usage.h"

namespace lumbrel::diag {
namespace {

constexpr std::uint32_t kNoRaidLevel = 65535;

std::string Address(const DriveName& drive) {
  return "port " + std::to_string(drive.port) + ", bus " + std::to_string(drive.bus) + ", target " +
         std::to_string(drive.target);
}

nlohmann::ordered_json DiskJson(const DiskConfigRecord& record) {
  // Copies: the packed records' integers are not aligned.
  const std::uint32_t adapterNumber = record.adapterNumber;
  const std::uint32_t bus = record.bus;
  const std::uint32_t target = record.target;
  const std::uint32_t vendorNumber = record.vendorNumber;
  const std::uint32_t driveLetters = record.driveLetters;
  const std::uint32_t raidLevel = record.raidLevel;
  nlohmann::ordered_json json;
  json["adapterNumber"] = adapterNumber;
  json["bus"] = bus;
  json["target"] = target;
  json["revisionCode"] = JsonText(FieldText(record.revisionCode, sizeof record.revisionCode));
  json["vendorNumber"] = vendorNumber;
  json["description"] = JsonText(FieldText(record.description, sizeof record.description));
  json["serialNumber"] = JsonText(FieldText(record.serialNumber, sizeof record.serialNumber));
  json["vendorProduct"] = JsonText(FieldText(record.vendorProduct, sizeof record.vendorProduct));
  json["driveLetters"] = driveLetters;
  json["raidLevel"] = raidLevel;
  return json;
}

}  // namespace

CommandOutput Session::Disks(const std::vector<std::string>& args) {
  std::uint32_t capacity = UINT32_MAX;
  CommandArguments parser("disks");
  parser.NumberOption("capacity", capacity, 0, kMaxDiskRecords);
  if (auto error = parser.Parse(args)) return *error;
  DiskReport report;
  const auto asked = capacity == UINT32_MAX ? std::nullopt : std::optional<std::uint32_t>(capacity);
  if (const auto error = ReadDiskReport(library_.exports(), asked, report)) return CommandError("disks", *error);

  CommandOutput output;
  output.json["command"] = "disks";
  output.json["result"] = report.result;
  output.json["disks"] = nlohmann::ordered_json::array();
  Table table({"adapter", "bus", "target", "vendor and product", "revision", "vendor", "serial", "letters", "RAID"});
  for (const DiskConfigRecord& record : report.records) {
    auto json = DiskJson(record);
    table.Add({json["adapterNumber"].dump(), json["bus"].dump(), json["target"].dump(),
               DisplayText(FieldText(record.vendorProduct, sizeof record.vendorProduct)),
               DisplayText(FieldText(record.revisionCode, sizeof record.revisionCode)),
               VendorText(json["vendorNumber"].get<std::uint32_t>()),
               DisplayText(FieldText(record.serialNumber, sizeof record.serialNumber)),
               MaskLettersText(json["driveLetters"].get<std::uint32_t>()),
               RaidLevelText(json["raidLevel"].get<std::uint32_t>())});
    output.json["disks"].push_back(std::move(json));
  }
  output.text = "Disks: " + std::to_string(report.records.size()) + " (room for " + std::to_string(report.capacity) +
                ")" + (report.result != 0 ? ", result " + ResultText(report.result) : "") + "\n" +
                (report.records.empty() ? "" : table.Render("  "));
  return output;
}

CommandOutput Session::RaidLevel(const std::vector<std::string>& args) {
  DriveName drive;
  CommandArguments parser("raid-level");
  parser.Drive(drive, DriveForm::PortDrive);
  if (auto error = parser.Parse(args)) return *error;
  const auto get = library_.exports().GetRaidLevel;
  if (get == nullptr) return CommandError("raid-level", "this LUMBREL library does not export GetRaidLevel");
  std::uint32_t level = kNoRaidLevel;
  const std::uint32_t result = get(drive.port, drive.bus, drive.target, &level);

  CommandOutput output;
  output.json["command"] = "raid-level";
  output.json["result"] = result;
  output.json["level"] = level;
  output.text = "RAID level of " + Address(drive) + ": " + RaidLevelText(level) +
                (result != 0 ? ", result " + ResultText(result) : "") + "\n";
  return output;
}

CommandOutput Session::Letters(const std::vector<std::string>& args) {
  DriveName drive;
  CommandArguments parser("letters");
  parser.Drive(drive, DriveForm::PortDrive);
  if (auto error = parser.Parse(args)) return *error;
  const auto get = library_.exports().GetAllDriveLetters;
  if (get == nullptr) return CommandError("letters", "this LUMBREL library does not export GetAllDriveLetters");
  // The export's value is the mask itself: there is no result to report.
  const std::uint32_t mask = get(drive.port, drive.bus, drive.target);

  CommandOutput output;
  output.json["command"] = "letters";
  output.json["result"] = 0;
  output.json["mask"] = mask;
  output.json["letters"] = MaskLetters(mask);
  output.text = "Drive letters of " + Address(drive) + ": " + MaskLettersText(mask) + "\n";
  return output;
}

CommandOutput Session::Readiness(const std::vector<std::string>& args) {
  DriveName drive;
  CommandArguments parser("readiness");
  parser.Drive(drive, DriveForm::ClassDrive);
  if (auto error = parser.Parse(args)) return *error;
  const auto get = library_.exports().GetDriveReadiness;
  if (get == nullptr) return CommandError("readiness", "this LUMBREL library does not export GetDriveReadiness");
  if (auto error = ClassAndOrdinal("readiness", drive)) return *error;
  const std::uint32_t adapterClass = drive.classCode, ordinal = drive.ordinal, bus = drive.bus, target = drive.target;
  std::uint32_t readiness = 0;
  const std::uint32_t result = get(adapterClass, ordinal, bus, target, &readiness);

  CommandOutput output;
  output.json["command"] = "readiness";
  output.json["result"] = result;
  output.json["readiness"] = readiness;
  output.text = "Readiness of class " + ClassText(adapterClass) + ", ordinal " + std::to_string(ordinal) + ", bus " +
                std::to_string(bus) + ", target " + std::to_string(target) + ": " + ReadinessText(readiness) +
                (result != 0 ? ", result " + ResultText(result) : "") + "\n";
  return output;
}

}  // namespace lumbrel::diag
