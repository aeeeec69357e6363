// The SCSI keys of machine files: what they build, and what they refuse.
#include "sim/scsi/scsi_world.h"
#include "scsi_sim_fixture.h"

namespace lumbrel::test {
namespace {

using sim::PortFamily;

class ScsiMachineFormatTest : public ScsiSimTest {};

sim::MachineConfig Parse(const std::string& json) { return sim::ParseMachine(nlohmann::json::parse(json)); }

TEST_F(ScsiMachineFormatTest, FamilyFollowsTheDriverNameUnlessGiven) {
  struct Case {
    const char* driver;
    PortFamily family;
  } cases[] = {
      {"mraidnt", PortFamily::MegaRaid}, {"MRAID35X", PortFamily::MegaRaid}, {"mraid", PortFamily::MegaRaid},
      {"dac960nt", PortFamily::Dac960},  {"hhba5100", PortFamily::Hhba5100}, {"atapi", PortFamily::Ide},
      {"atdisk", PortFamily::Ide},       {"qzvscsi", PortFamily::Qzv},       {"aic78xx", PortFamily::ScsiPort},
      {"mydrv", PortFamily::ScsiPort},   {"atdisc", PortFamily::ScsiPort},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Parse(std::string(R"({"ports":[{"driver":")") + c.driver + "\"}]}").ports[0].family, c.family)
        << c.driver;
  }
  const auto config = Parse(R"({"ports":[{"driver":"mydrv","family":"dac960","present":false}]})");
  EXPECT_EQ(config.ports[0].family, PortFamily::Dac960);
  EXPECT_FALSE(config.ports[0].present);
}

TEST_F(ScsiMachineFormatTest, RefusesDevicesThatCannotBe) {
  const std::string machines[] = {
      R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1},{"target":1}]}]}]})",
      R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":16}]}]}]})",
      R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"vendor":"IBM"}]}]}]})",
      R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,"physicalDrive":0}]}]},
                   {"driver":"atapi","buses":[{"devices":[{"target":0,"physicalDrive":0}]}]}]})",
      R"({"ports":[{"driver":"mraidnt","buses":[{"devices":[{"target":1,"physicalDrive":0}]}]}]})",
      R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,"physicalDrive":0,"scanner":0}]}]}]})",
      R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,"vendor":"SEAGATE12"}]}]}]})",
      R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,"product":"\u0100"}]}]}]})",
      R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,"inquiry":"0"}]}]}]})",
      R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,"lun":0}]}]}]})",
      R"({"ports":[{"driver":"aic78xx","family":"scsi"}]})",
      R"({"faults":[{"call":"scsi","lun":1,"error":130}]})",
      R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,"modePage0":"00 05 00"}]}]}]})",
      R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,"modePage0":"01 01 00"}]}]}]})",
      R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,"unreadable":[-1]}]}]}]})",
      R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,"firmware":{"modes":[6]}}]}]}]})",
      R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,"firmware":{"revision":"A"}}]}]}]})",
      R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,"logPages":[64]}]}]}]})",
      R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,"logPage32":"00"}]}]}]})",
      R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,"modeSenseReply":")" + std::string(512, '0') +
          R"("}]}]}]})",
  };
  for (const std::string& json : machines) EXPECT_THROW(Parse(json), sim::MachineFormatError) << json;
}

TEST_F(ScsiMachineFormatTest, RegistryRecordsTheUnitsWindowsSees) {
  Install(R"({"ports":[{"driver":"aic78xx","buses":[{},{"devices":[{"target":3,"vendor":"IBM","product":"DDRS",
                         "revision":"S80J"},{"target":6,"type":6}]}]},
                       {"driver":"mraidnt","buses":[{"devices":[{"target":0}]}]}]})");
  sim::RegistryKey& scsi = machine().registry().localMachine();
  const sim::RegistryKey* unit = scsi.Find("HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 1\\Target Id 3\\Logical Unit Id 0");
  ASSERT_NE(unit, nullptr);
  const auto& identifier = unit->Value("Identifier")->data;
  EXPECT_EQ(std::string(identifier.begin(), identifier.end() - 1), "IBM     DDRS            S80J");
  const auto& type = scsi.Find("HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 1\\Target Id 6\\Logical Unit Id 0")
                         ->Value("Type")->data;
  EXPECT_STREQ(reinterpret_cast<const char*>(type.data()), "ScannerPeripheral");
  EXPECT_EQ(scsi.Find("HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 1\\Scsi Bus 0\\Target Id 0"), nullptr)
      << "drives behind an array controller are not Windows' units";
}

TEST_F(ScsiMachineFormatTest, DefaultMachineHasDrivesOnEveryPortAndItsDevices) {
  Install(sim::DefaultMachine());
  for (const auto& port : machine().scsi().ports()) {
    EXPECT_FALSE(port->Drives().empty()) << "port " << port->number();
  }
  for (const char* name : {"SCSI0:", "SCSI1:", "SCSI2:", "SCSI3:", "QZV0", "PhysicalDrive0", "PhysicalDrive5",
                           "Scanner0", "CdRom0"}) {
    EXPECT_NE(machine().FindDevice(name), nullptr) << name;
  }
}

}  // namespace
}  // namespace lumbrel::test
