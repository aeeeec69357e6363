// The drive services that run on the caller's thread: the log page that a
// management application keeps on a drive, and the drives' identities that
// the report shows.
#include <algorithm>
#include <cstdio>

#include "command_arguments.h"
#include "input_files.h"
#include "result_meanings.h"
#include "session.h"
#include "text_output.h"

namespace lumbrel::diag {
namespace {

constexpr std::uint32_t kMaxLogReadSize = 65536;

// Sixteen bytes a line, with the offset in front, for a terminal.
std::string HexDump(const std::vector<std::uint8_t>& bytes) {
  std::string dump;
  for (std::size_t offset = 0; offset < bytes.size(); offset += 16) {
    char line[32];
    std::snprintf(line, sizeof line, "  %04zX ", offset);
    dump += line;
    for (std::size_t i = offset; i < offset + 16 && i < bytes.size(); ++i) {
      std::snprintf(line, sizeof line, " %02X", bytes[i]);
      dump += line;
    }
    dump += "\n";
  }
  return dump;
}

std::string CapabilitiesText(std::uint32_t capabilities) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%03X", static_cast<unsigned>(capabilities));
  return text;
}

}  // namespace

CommandOutput Session::LogRead(const std::vector<std::string>& args) {
  DriveName drive;
  std::uint32_t size = LUMBREL_LOG_DATA_SIZE;
  CommandArguments parser("log-read");
  parser.Drive(drive, DriveForm::PortDrive).NumberOption("size", size, 0, kMaxLogReadSize);
  if (auto error = parser.Parse(args)) return *error;
  const std::uint32_t adapter = drive.port, bus = drive.bus, target = drive.target;
  const auto read = library_.exports().ReadDriveLogPage;
  if (read == nullptr) return CommandError("log-read", "this LUMBREL library does not export ReadDriveLogPage");
  std::vector<std::uint8_t> buffer(size);
  std::uint8_t none = 0;  // a buffer of 0 bytes still gets a valid address
  const std::uint32_t result = read(adapter, bus, target, size != 0 ? buffer.data() : &none, size);

  CommandOutput output;
  output.json["command"] = "log-read";
  output.json["result"] = result;
  if (result == 0) {
    output.json["data"] = HexBytes(buffer);
    output.text = "Log page of adapter " + std::to_string(adapter) + ", bus " + std::to_string(bus) + ", target " +
                  std::to_string(target) + ", " + std::to_string(size) + " bytes:\n" + HexDump(buffer);
  } else {
    output.text = "log-read: result " + ResultText(result) + "\n";
  }
  return output;
}

CommandOutput Session::LogWrite(const std::vector<std::string>& args) {
  DriveName drive;
  std::uint32_t mode = 0;
  std::string dataFile;
  bool yes = false, force = false;
  CommandArguments parser("log-write");
  parser.Drive(drive, DriveForm::PortDrive)
      .Text("DATA-FILE", dataFile)
      .NumberOption("mode", mode, 0, 2)
      .Flag("yes", yes)
      .Flag("force", force);
  if (auto error = parser.Parse(args)) return *error;
  const auto write = library_.exports().WriteDriveLogPage;
  if (write == nullptr) return CommandError("log-write", "this LUMBREL library does not export WriteDriveLogPage");
  std::uint64_t size = 0;
  if (auto error = CheckInputFile("the log data", dataFile, UINT32_MAX, size)) return CommandError("log-write", *error);
  std::vector<std::uint8_t> data;
  if (auto error = ReadInputFile("the log data", dataFile, LUMBREL_LOG_DATA_SIZE, data)) {
    return CommandError("log-write", *error);
  }
  // Data already in the page is overwritten: the drive is shown first and
  // the write needs the same consent as a format.
  std::string described;
  if (mode != 2 && library_.exports().ReadDriveLogPage != nullptr) {
    std::vector<std::uint8_t> kept(LUMBREL_LOG_DATA_SIZE);
    const bool holdsData = library_.exports().ReadDriveLogPage(drive.port, drive.bus, drive.target, kept.data(),
                                                               LUMBREL_LOG_DATA_SIZE) == 0 &&
                           std::any_of(kept.begin(), kept.end(), [](std::uint8_t byte) { return byte != 0; });
    if (holdsData) {
      if (auto error = ConfirmOverwrite("log-write", drive, "log-write overwrites the data in the drive's log page", yes, force)) return *error;
      described = overwriteDescription_;
    }
  }
  const std::uint8_t none = 0;
  const std::uint32_t result = write(drive.port, drive.bus, drive.target, data.empty() ? &none : data.data(),
                                     static_cast<std::uint32_t>(data.size()), mode);

  CommandOutput output;
  output.json["command"] = "log-write";
  output.json["result"] = result;
  if (!described.empty()) output.json["drive"] = described;
  output.text = (described.empty() ? "" : described + "\n") + "log-write of " + std::to_string(data.size()) +
                " bytes (mode " + std::to_string(mode) + "): result " + ResultText(result) + "\n";
  if (size > LUMBREL_LOG_DATA_SIZE) {
    const std::string note = "the log page keeps " + std::to_string(LUMBREL_LOG_DATA_SIZE) + " bytes: the last " +
                             std::to_string(size - LUMBREL_LOG_DATA_SIZE) + " of the file's " + std::to_string(size) +
                             " were left out";
    output.json["note"] = note;
    output.text += "note: " + note + "\n";
  }
  return output;
}

CommandOutput Session::Identities(const DriveListing& listing) {
  CommandOutput output;
  output.json["command"] = "drives";
  output.json["result"] = listing.result;
  output.json["drives"] = nlohmann::ordered_json::array();
  Table table({"adapter", "bus", "target", "vendor", "number", "capabilities", "revision", "identified"});
  for (const DriveInfo& drive : listing.drives) {
    nlohmann::ordered_json json;
    json["adapterNumber"] = drive.adapterNumber;
    json["bus"] = drive.bus;
    json["target"] = drive.target;
    json["identifyResult"] = drive.identifyResult;
    json["vendorName"] = drive.vendorName ? nlohmann::ordered_json(JsonText(*drive.vendorName)) : nullptr;
    json["vendorNumber"] = drive.vendorNumber;
    json["capabilities"] = drive.capabilities;
    json["revisionCode"] = JsonText(drive.revisionCode);
    output.json["drives"].push_back(std::move(json));
    table.Add({std::to_string(drive.adapterNumber), std::to_string(drive.bus), std::to_string(drive.target),
               drive.vendorName ? DisplayText(*drive.vendorName) : "(unknown)", std::to_string(drive.vendorNumber),
               CapabilitiesText(drive.capabilities), DisplayText(drive.revisionCode),
               drive.identifyResult == 0 ? "yes" : ResultText(drive.identifyResult)});
  }
  if (listing.result != 0) {
    output.text = "Drives: none (result " + ResultText(listing.result) + ")\n";
  } else {
    output.text = "Drives: " + std::to_string(listing.drives.size()) + "\n" +
                  (listing.drives.empty() ? "" : table.Render("  "));
  }
  return output;
}

}  // namespace lumbrel::diag
