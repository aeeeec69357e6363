#include "session.h"

#include <cstdio>

#include "command_arguments.h"

#include "result_meanings.h"
#include "text_output.h"
#include "usage.h"

namespace lumbrel::diag {
namespace {

std::string Hex(std::uint32_t value, int digits = 2) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, static_cast<unsigned>(value));
  return text;
}

std::string Missing(const char* what) {
  return std::string("this LUMBREL library does not export ") + what;
}

}  // namespace

CommandOutput CommandError(const std::string& command, const std::string& message) {
  CommandOutput output;
  output.json["command"] = JsonText(command);
  output.json["result"] = nullptr;  // no library call gave one
  output.json["error"] = message;
  output.text = "error: " + message + "\n";
  output.failed = true;
  return output;
}

int ExitStatus(const CommandOutput& output) {
  if (output.failed) return kExitNotRun;
  // A job's callback result counts as a library result of its own.
  for (const char* key : {"result", "callback"}) {
    const auto value = output.json.find(key);
    if (value != output.json.end() && value->is_number() && *value != 0) return kExitLibraryError;
  }
  // So does each callback that jobs and wait-jobs show.
  const auto jobs = output.json.find("jobs");
  if (jobs != output.json.end() && jobs->is_array()) {
    for (const auto& job : *jobs) {
      if (job.contains("callback") && job["callback"].is_number() && job["callback"] != 0) return kExitLibraryError;
    }
  }
  return kExitOk;
}

Session::Session(Library& library, SessionOptions options) : library_(library), options_(std::move(options)) {
  commands_["report"] = [this](const auto& args) { return Report(args); };
  commands_["ports"] = [this](const auto& args) { return Ports(args); };
  commands_["adapters"] = [this](const auto& args) { return Adapters(args); };
  commands_["cages"] = [this](const auto& args) { return Cages(args); };
  commands_["bay-led"] = [this](const auto& args) { return BayLed(args); };
  commands_["machine"] = [this](const auto& args) { return Machine(args); };
  commands_["explain"] = [this](const auto& args) { return Explain(args); };
  commands_["flash"] = [this](const auto& args) { return Flash(args); };
  commands_["flash-all"] = [this](const auto& args) { return FlashAll(args); };
  commands_["flash-stop"] = [this](const auto& args) { return FlashStop(args); };
  commands_["format"] = [this](const auto& args) { return Format(args); };
  commands_["firmware"] = [this](const auto& args) { return Firmware(args); };
  commands_["log-read"] = [this](const auto& args) { return LogRead(args); };
  commands_["log-write"] = [this](const auto& args) { return LogWrite(args); };
  commands_["disks"] = [this](const auto& args) { return Disks(args); };
  commands_["raid-level"] = [this](const auto& args) { return RaidLevel(args); };
  commands_["letters"] = [this](const auto& args) { return Letters(args); };
  commands_["readiness"] = [this](const auto& args) { return Readiness(args); };
  commands_["wait"] = [this](const auto& args) { return Wait(args); };
  commands_["drives"] = [this](const auto& args) { return Drives(args); };
  commands_["jobs"] = [this](const auto& args) { return Jobs(args); };
  commands_["wait-jobs"] = [this](const auto& args) { return WaitJobs(args); };
}

CommandOutput Session::Run(const std::vector<std::string>& words) {
  if (words.empty()) return CommandError("", "no command given");
  if (IsHelpRequest(words)) return Help(words);
  const auto command = commands_.find(words[0]);
  if (command == commands_.end()) return CommandError(words[0], "unknown command \"" + DisplayText(words[0]) + "\"");
  try {
    return command->second(std::vector<std::string>(words.begin() + 1, words.end()));
  } catch (const std::exception& error) {
    return CommandError(words[0], std::string("could not run: ") + error.what());
  }
}

CommandOutput Session::Ports(const std::vector<std::string>& args) {
  if (!args.empty()) return CommandError("ports", UsageError("ports"));
  const auto listing = library_.Ports();
  if (!listing) return CommandError("ports", "the port table is visible in the host build only");
  CommandOutput output;
  output.json["command"] = "ports";
  output.json["result"] = listing->result;
  output.json["ports"] = nlohmann::ordered_json::array();
  Table table({"port", "class", "buses", "driver", "vendor", "driver file"});
  for (const PortInfo& port : listing->ports) {
    nlohmann::ordered_json json;
    json["port"] = port.port;
    json["classCode"] = port.classCode;
    json["busCount"] = port.busCount;
    json["driverName"] = JsonText(port.driverName);
    json["vendorName"] = JsonText(port.vendorName);
    json["driverFilePath"] = port.driverFilePath ? nlohmann::ordered_json(JsonText(*port.driverFilePath)) : nullptr;
    output.json["ports"].push_back(std::move(json));
    table.Add({std::to_string(port.port), ClassText(port.classCode), std::to_string(port.busCount),
               DisplayText(port.driverName), DisplayText(port.vendorName),
               port.driverFilePath ? DisplayText(*port.driverFilePath) : "(none)"});
  }
  if (listing->ports.empty()) {
    output.text = "No SCSI port found (result " + ResultText(listing->result) + ").\n";
  } else {
    output.text = "SCSI ports:\n" + table.Render("  ");
  }
  return output;
}

CommandOutput Session::Cages(const std::vector<std::string>& args) {
  if (!args.empty()) return CommandError("cages", UsageError("cages"));
  if (library_.exports().InitializeDiags == nullptr) return CommandError("cages", Missing("InitializeDiags"));
  CageInfo records[kMaxCages] = {};
  std::uint32_t count = 0;
  const std::uint32_t result = library_.exports().InitializeDiags(records, &count);
  if (result == 0) cagesInitialized_ = true;
  if (count > kMaxCages) count = kMaxCages;  // the library never reports more; never trust it further

  CommandOutput output;
  output.json["command"] = "cages";
  output.json["result"] = result;
  output.json["cageCount"] = count;
  output.json["cages"] = nlohmann::ordered_json::array();
  Table table({"cage", "bay", "target", "drive"});
  for (std::uint32_t i = 0; i < count; ++i) {
    const CageInfo& cage = records[i];
    nlohmann::ordered_json bays = nlohmann::ordered_json::array();
    // A record that could not be read keeps no cage id either.
    if (cage.bayCount == 0) table.Add({"?", "-", "-", "could not be read"});
    const int shown = cage.bayCount <= 8 ? cage.bayCount : 8;
    for (int bay = 0; bay < shown; ++bay) {
      const BayInfo& info = cage.bays[bay];
      bays.push_back({{"target", info.targetId}, {"present", info.present != 0}, {"bayNumber", info.bayNumber}});
      table.Add({Hex(cage.cageId), std::to_string(info.bayNumber), std::to_string(info.targetId),
                 info.present != 0 ? "present" : "empty"});
    }
    output.json["cages"].push_back({{"cageId", cage.cageId}, {"bayCount", cage.bayCount}, {"bays", std::move(bays)}});
  }
  output.text = "Cages found: " + std::to_string(count) +
                (result != 0 ? " (result " + ResultText(result) + ")" : "") + "\n" +
                (count != 0 ? table.Render("  ") : "");
  return output;
}

CommandOutput Session::BayLed(const std::vector<std::string>& args) {
  std::uint32_t cage = 0, target = 0;
  std::string state;
  CommandArguments parser("bay-led");
  parser.Number("CAGE", cage, 0, kMaxAddressByte).Number("TARGET", target, 0, kEveryTarget - 1).Text("on|off", state);
  if (auto error = parser.Parse(args)) return *error;
  if (state != "on" && state != "off") {
    return CommandError("bay-led", "\"" + DisplayText(state) + "\" is neither on nor off; " + UsageError("bay-led"));
  }
  const ExportTable& exports = library_.exports();
  const bool on = state == "on";
  if (exports.InitializeDiags == nullptr || exports.SFStartFlashPower == nullptr || exports.SFStopFlashPower == nullptr) {
    return CommandError("bay-led", Missing("the front-panel functions"));
  }
  if (!cagesInitialized_) {
    cagesInitialized_ = exports.InitializeDiags(nullptr, nullptr) == 0;
  }
  const std::uint32_t result = on ? exports.SFStartFlashPower(target, cage) : exports.SFStopFlashPower(target, cage);
  CommandOutput output;
  output.json["command"] = "bay-led";
  output.json["result"] = result;
  output.json["cageId"] = cage;
  output.json["target"] = target;
  output.json["flash"] = on;
  output.text = std::string("Power indicator of target ") + std::to_string(target) + " in cage " + Hex(cage) + ": " +
                (result == 0 ? (on ? "flashing" : "steady") : "unchanged, result " + ResultText(result)) +
                "\n";
  return output;
}

CommandOutput Session::Machine(const std::vector<std::string>& args) {
  if (!args.empty()) return CommandError("machine", UsageError("machine"));
  auto view = library_.MachineView();
  if (!view) return CommandError("machine", "there is no simulated machine: this is the real hardware");
  CommandOutput output;
  output.json["command"] = "machine";
  output.json["result"] = 0;
  for (auto& [key, value] : view->items()) output.json[key] = value;

  std::string text = "Simulated machine:\n";
  for (const auto& cage : output.json["cages"]) {
    const std::uint32_t cageId = cage["cageId"];
    const std::uint32_t portA = cage["portA"];
    text += "  cage at position " + cage["position"].dump() + " (id " + Hex(cageId) + "), port A " + Hex(portA) + "\n";
    for (const auto& bay : cage["bays"]) {
      text += "    bay " + bay["bay"].dump() + ": " + (bay["occupied"].get<bool>() ? "drive     " : "empty     ") +
              "power LED " + bay["powerLed"].get<std::string>() + "\n";
    }
  }
  if (output.json["cages"].empty()) text += "  no cages\n";
  Table drives({"port", "family", "bus", "target", "type", "vendor", "product", "rev", "ready", "commands", "reads"});
  auto bytes = [](const nlohmann::ordered_json& field) { return DisplayText(LatinText(field.get<std::string>())); };
  for (const auto& port : output.json["ports"]) {
    const std::string family =
        port["family"].get<std::string>() + (port["present"].get<bool>() ? "" : " (not loaded)");
    for (const auto& bus : port["buses"]) {
      for (const auto& device : bus["devices"]) {
        drives.Add({port["port"].dump(), family, bus["bus"].dump(), device["target"].dump(), device["type"].dump(),
                    bytes(device["vendor"]), bytes(device["product"]), bytes(device["revision"]),
                    device["ready"].get<bool>() ? "yes" : "no", device["commands"].dump(), device["reads"].dump()});
      }
    }
  }
  text += "  SCSI devices:\n" + drives.Render("    ");
  if (output.json.contains("volumes")) {
    Table volumes({"letter", "type", "disks", "test file"});
    for (const auto& volume : output.json["volumes"]) {
      std::string disks;
      for (const auto& disk : volume["extents"]) disks += (disks.empty() ? "" : ",") + disk.dump();
      volumes.Add({volume["letter"].get<std::string>() + ":", volume["type"].get<std::string>(),
                   disks.empty() ? "-" : disks,
                   volume.contains("testFile") ? volume["testFile"].dump() + " bytes" : "-"});
    }
    text += "  Volumes:\n" + volumes.Render("    ");
  }
  output.text = text;
  return output;
}

CommandOutput Session::Explain(const std::vector<std::string>& args) {
  if (args.size() != 1) return CommandError("explain", UsageError("explain"));
  const auto code = ParseResultCode(args[0]);
  if (!code) return CommandError("explain", "not a result code: \"" + DisplayText(args[0]) + "\"");
  CommandOutput output;
  output.json["command"] = "explain";
  output.json["result"] = 0;
  output.json["code"] = *code;
  output.json["hex"] = Hex(*code, 8);
  output.json["meanings"] = ExplainResult(*code);
  output.text = std::to_string(*code) + " (" + Hex(*code, 8) + "):\n";
  for (const auto& meaning : output.json["meanings"]) output.text += "  " + meaning.get<std::string>() + "\n";
  return output;
}

CommandOutput Session::Report(const std::vector<std::string>& args) {
  if (!args.empty()) return CommandError("report", UsageError("report"));
  CommandOutput output;
  output.json["command"] = "report";
  output.json["result"] = 0;
  std::uint32_t result = 0;
  auto add = [&](const char* section, CommandOutput part) {
    part.json.erase("command");
    const auto partResult = part.json.find("result");
    if (partResult != part.json.end() && partResult->is_number_unsigned() && result == 0) {
      result = partResult->get<std::uint32_t>();
    }
    output.failed = output.failed || part.failed;  // the report is not whole
    output.json[section] = std::move(part.json);
    output.text += part.text;
  };
  if (library_.Ports()) add("ports", Ports({}));
  add("adapters", Adapters({}));
  add("cages", Cages({}));
  if (const auto drives = library_.Drives()) add("drives", Identities(*drives));
  add("disks", Disks({}));
  output.json["result"] = result;
  return output;
}

}  // namespace lumbrel::diag
