// The "adapters" command: what CountAdapterUnits and GetAllAdapterInfo report.
#include "drive_names.h"
#include "result_meanings.h"
#include "session.h"
#include "text_output.h"
#include "usage.h"

namespace lumbrel::diag {

CommandOutput Session::Adapters(const std::vector<std::string>& args) {
  if (!args.empty()) return CommandError("adapters", UsageError("adapters"));
  AdapterReport report;
  if (auto error = ReadAdapterReport(library_.exports(), report)) return CommandError("adapters", *error);

  CommandOutput output;
  output.json["command"] = "adapters";
  output.json["result"] = report.result;
  output.json["adapterCount"] = report.count;
  output.json["unitCount"] = report.units;
  output.json["adapters"] = nlohmann::ordered_json::array();
  Table table({"adapter", "class", "vendor", "driver", "version"});
  for (const AdapterEntry& adapter : report.adapters) {
    output.json["adapters"].push_back({{"adapterNumber", adapter.number},
                                       {"classCode", adapter.classCode},
                                       {"vendorName", JsonText(adapter.vendor)},
                                       {"driverName", JsonText(adapter.driver)},
                                       {"driverVersion", JsonText(adapter.version)}});
    table.Add({std::to_string(adapter.number), ClassText(adapter.classCode), DisplayText(adapter.vendor),
               DisplayText(adapter.driver), adapter.version.empty() ? "(none)" : DisplayText(adapter.version)});
  }
  if (report.result != 0) {
    output.text = "Host adapters: none (result " + ResultText(report.result) + ")\n";
  } else {
    output.text = "Host adapters: " + std::to_string(report.count) +
                  ", direct-access units: " + std::to_string(report.units) + "\n" + table.Render("  ");
  }
  return output;
}

}  // namespace lumbrel::diag
