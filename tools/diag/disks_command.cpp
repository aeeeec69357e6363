// The disk configuration commands: the report of every drive
// (GetAllDiskConfigInfo), the RAID level of a member drive, the drive
// letters that lie on a drive, and how far a drive has come into service.
#include <cstring>

#include "command_arguments.h"
#include "result_meanings.h"
#include "session.h"
#include "text_output.h"
#include "usage.h"

namespace lumbrel::diag {
namespace {

// 16 ports of 8 buses with 16 targets hold at most 2048 drives; a record
// array far beyond that is not asked for, nor believed from the library.
constexpr std::uint32_t kMaxDiskRecords = 4096;
constexpr std::uint32_t kCapacityNotGiven = UINT32_MAX;
constexpr std::uint32_t kNoRaidLevel = 65535;

std::string Address(const char* adapterWord, std::uint32_t adapter, std::uint32_t bus, std::uint32_t target) {
  return std::string(adapterWord) + " " + std::to_string(adapter) + ", bus " + std::to_string(bus) + ", target " +
         std::to_string(target);
}

// The report's records end at the first one that is all zero.
bool IsEmpty(const DiskConfigRecord& record) {
  static const DiskConfigRecord kZero{};
  return std::memcmp(&record, &kZero, sizeof record) == 0;
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
  std::uint32_t capacity = kCapacityNotGiven;
  CommandArguments parser("disks");
  parser.NumberOption("capacity", capacity, kMaxDiskRecords);
  if (auto error = parser.Parse(args)) return *error;
  const ExportTable& exports = library_.exports();
  if (exports.CountAdapterUnits == nullptr || exports.GetAllDiskConfigInfo == nullptr) {
    return CommandError("disks", "this LUMBREL library does not export CountAdapterUnits and GetAllDiskConfigInfo");
  }
  // The report shows only adapters that are in the list: building it first
  // is the caller's part.
  std::uint32_t units = 0;
  const std::uint32_t countResult = exports.CountAdapterUnits(&units, nullptr);
  if (capacity == kCapacityNotGiven) {
    if (units > kMaxDiskRecords) return CommandError("disks", "the library reports " + std::to_string(units) + " units");
    capacity = units;
  }
  std::vector<DiskConfigRecord> records(capacity);
  DiskConfigRecord none{};  // capacity 0 still passes a valid address
  const std::uint32_t reportResult = exports.GetAllDiskConfigInfo(capacity != 0 ? records.data() : &none, capacity);
  const std::uint32_t result = countResult != 0 ? countResult : reportResult;

  CommandOutput output;
  output.json["command"] = "disks";
  output.json["result"] = result;
  output.json["disks"] = nlohmann::ordered_json::array();
  Table table({"adapter", "bus", "target", "vendor and product", "revision", "vendor", "serial", "letters", "RAID"});
  std::size_t shown = 0;
  for (const DiskConfigRecord& record : records) {
    if (IsEmpty(record)) break;
    auto json = DiskJson(record);
    table.Add({json["adapterNumber"].dump(), json["bus"].dump(), json["target"].dump(),
               DisplayText(FieldText(record.vendorProduct, sizeof record.vendorProduct)),
               DisplayText(FieldText(record.revisionCode, sizeof record.revisionCode)), json["vendorNumber"].dump(),
               DisplayText(FieldText(record.serialNumber, sizeof record.serialNumber)),
               MaskLettersText(json["driveLetters"].get<std::uint32_t>()),
               RaidLevelText(json["raidLevel"].get<std::uint32_t>())});
    output.json["disks"].push_back(std::move(json));
    ++shown;
  }
  output.text = "Disks: " + std::to_string(shown) + " (room for " + std::to_string(capacity) + ")" +
                (result != 0 ? ", result " + ResultText(result) : "") + "\n" + (shown != 0 ? table.Render("  ") : "");
  return output;
}

CommandOutput Session::RaidLevel(const std::vector<std::string>& args) {
  std::uint32_t port = 0, bus = 0, target = 0;
  CommandArguments parser("raid-level");
  parser.Number("PORT", port).Number("BUS", bus).Number("TARGET", target);
  if (auto error = parser.Parse(args)) return *error;
  const auto get = library_.exports().GetRaidLevel;
  if (get == nullptr) return CommandError("raid-level", "this LUMBREL library does not export GetRaidLevel");
  std::uint32_t level = kNoRaidLevel;
  const std::uint32_t result = get(port, bus, target, &level);

  CommandOutput output;
  output.json["command"] = "raid-level";
  output.json["result"] = result;
  output.json["level"] = level;
  output.text = "RAID level of " + Address("port", port, bus, target) + ": " + RaidLevelText(level) +
                (result != 0 ? ", result " + ResultText(result) : "") + "\n";
  return output;
}

CommandOutput Session::Letters(const std::vector<std::string>& args) {
  std::uint32_t port = 0, bus = 0, target = 0;
  CommandArguments parser("letters");
  parser.Number("PORT", port).Number("BUS", bus).Number("TARGET", target);
  if (auto error = parser.Parse(args)) return *error;
  const auto get = library_.exports().GetAllDriveLetters;
  if (get == nullptr) return CommandError("letters", "this LUMBREL library does not export GetAllDriveLetters");
  // The export's value is the mask itself: there is no result to report.
  const std::uint32_t mask = get(port, bus, target);

  CommandOutput output;
  output.json["command"] = "letters";
  output.json["result"] = 0;
  output.json["mask"] = mask;
  output.json["letters"] = MaskLetters(mask);
  output.text = "Drive letters of " + Address("port", port, bus, target) + ": " + MaskLettersText(mask) + "\n";
  return output;
}

CommandOutput Session::Readiness(const std::vector<std::string>& args) {
  std::uint32_t adapterClass = 0, ordinal = 0, bus = 0, target = 0;
  CommandArguments parser("readiness");
  parser.ClassCode("CLASS", adapterClass).Number("ORDINAL", ordinal).Number("BUS", bus).Number("TARGET", target);
  if (auto error = parser.Parse(args)) return *error;
  const auto get = library_.exports().GetDriveReadiness;
  if (get == nullptr) return CommandError("readiness", "this LUMBREL library does not export GetDriveReadiness");
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
