// The "adapters" command: what CountAdapterUnits and GetAllAdapterInfo report.
#include "session.h"
#include "text_output.h"
#include "usage.h"

namespace lumbrel::diag {
namespace {

// The library builds its adapter list from at most 16 ports; a count far
// beyond that is not believed.
constexpr std::uint32_t kMaxAdapters = 256;

}  // namespace

CommandOutput Session::Adapters(const std::vector<std::string>& args) {
  if (!args.empty()) return CommandError("adapters", UsageError("adapters"));
  const ExportTable& exports = library_.exports();
  if (exports.CountAdapterUnits == nullptr || exports.GetAllAdapterInfo == nullptr) {
    return CommandError("adapters", "this LUMBREL library does not export CountAdapterUnits and GetAllAdapterInfo");
  }
  std::uint32_t units = 0;
  std::uint32_t adapters = 0;
  std::uint32_t result = exports.CountAdapterUnits(&units, &adapters);
  std::vector<AdapterInfoRecord> records;
  if (result == 0 && adapters > kMaxAdapters) {
    return CommandError("adapters", "the library reports " + std::to_string(adapters) + " adapters");
  }
  if (result == 0) {
    records.resize(adapters);
    result = exports.GetAllAdapterInfo(records.data());
    if (result != 0) records.clear();
  }

  CommandOutput output;
  output.json["command"] = "adapters";
  output.json["result"] = result;
  output.json["adapterCount"] = adapters;
  output.json["unitCount"] = units;
  output.json["adapters"] = nlohmann::ordered_json::array();
  Table table({"adapter", "class", "vendor", "driver", "version"});
  for (const AdapterInfoRecord& record : records) {
    const std::string vendor = FieldText(record.vendorName, sizeof record.vendorName);
    const std::string driver = FieldText(record.driverName, sizeof record.driverName);
    const std::string version = FieldText(record.driverVersion, sizeof record.driverVersion);
    // Copies: the packed records' integers are not aligned for odd records.
    const std::uint32_t number = record.adapterNumber;
    const std::uint32_t classCode = record.classCode;
    output.json["adapters"].push_back({{"adapterNumber", number},
                                       {"classCode", classCode},
                                       {"vendorName", JsonText(vendor)},
                                       {"driverName", JsonText(driver)},
                                       {"driverVersion", JsonText(version)}});
    table.Add({std::to_string(number), ClassText(classCode), DisplayText(vendor),
               DisplayText(driver), version.empty() ? "(none)" : DisplayText(version)});
  }
  if (result != 0) {
    output.text = "Host adapters: none (result " + std::to_string(result) + ")\n";
  } else {
    output.text = "Host adapters: " + std::to_string(adapters) + ", direct-access units: " + std::to_string(units) +
                  "\n" + table.Render("  ");
  }
  return output;
}

}  // namespace lumbrel::diag
