// Port discovery: the registry scan, driver classification and the port
// descriptions, against the simulated registry.
#include "api/module_state.h"
#include "support/module_fixture.h"

namespace lumbrel::test {
namespace {

class PortTableTest : public ModuleTest {
 protected:
  PortTable& ports() { return Module().portTable; }
  PortDescription Describe(std::uint32_t port) {
    PortDescription description{};
    EXPECT_EQ(ports().GetPortDescription(port, &description), 1u);
    return description;
  }
  // A machine whose ports have these drivers, one bus each.
  void LoadDrivers(std::initializer_list<std::string> drivers) {
    std::string json = R"({"ports":[)";
    for (const std::string& driver : drivers) {
      json += (json.back() == '[' ? "" : ",") + std::string(R"({"driver":)") + nlohmann::json(driver).dump() +
              R"(,"buses":[{}]})";
    }
    Load(json + "]}");
  }
};

TEST_F(PortTableTest, ClassifiesDriversByTheFirstMatchingRow) {
  struct Case {
    const char* driver;
    std::uint32_t classCode;
    const char* driverName;
    const char* vendorName;
  } cases[] = {  // the exact names of every family: adapters_families and ports_edge_cases
      {"AIC78XX", 4, "aic78xx", "Adaptec"},    // letters compare without case
      {"aic78xxx", 4, "aic78xx", "Adaptec"},   // a row is a prefix
      {"mraid", 1, "mraidnt", "AMI"},          // a shorter name that agrees matches
      {"mraid35x", 1, "mraid35x", "AMI"},      // row 0 fails at the sixth character
      {"symc812", 4, "symc812", "???"},        // the X's are letters, not wildcards
      {"sym_hi", 4, "Sym_hi", "Symbios"},
      {"atapi", 5, "atapi", "???"},
      {"", 1, "mraidnt", "AMI"},               // an empty name matches the first row
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.driver);
    LoadDrivers({c.driver});
    const PortDescription description = Describe(0);
    EXPECT_EQ(description.classCode, c.classCode);
    EXPECT_STREQ(description.driverName, c.driverName);
    EXPECT_STREQ(description.vendorName, c.vendorName);
    UnloadModule();
  }
}

TEST_F(PortTableTest, OnlyTheFirstSixteenCharactersCount) {
  EXPECT_TRUE(MatchDriverName("abcdefghijklmnopq", "ABCDEFGHIJKLMNOPz", 17));
  EXPECT_FALSE(MatchDriverName("abcdefghijklmnop", "ABCDEFGHIJKLMNOz", 16));
  EXPECT_TRUE(MatchDriverName("atapi", "atapi", 3)) << "the name's length bounds the comparison";
  EXPECT_TRUE(MatchDriverName("a?api", "aXapi", 5)) << "'?' matches any character";
  // Bytes match when they differ in bit 5 alone, letters or not.
  EXPECT_TRUE(MatchDriverName("Sym_hi", "SYM\x7FHI", 6));
  EXPECT_TRUE(MatchDriverName("mraid35x", "MRAID\x13\x15X", 8));
}

TEST_F(PortTableTest, RecordsAtMostTenPorts) {
  std::string json = R"({"ports":[)";
  for (int i = 0; i < 12; ++i) json += std::string(i ? "," : "") + R"({"driver":"aic78xx"})";
  Load(json + "]}");
  EXPECT_EQ(ports().PortCount(), 10u);
  std::size_t portKeys = 0;
  for (const auto& open : Calls("RegOpenKeyExA")) {
    portKeys += open["key"].get<std::string>().find("Scsi Bus") == std::string::npos ? 1 : 0;
  }
  EXPECT_EQ(portKeys, 10u) << "the eleventh port key is not even opened";
}

TEST_F(PortTableTest, CountsConsecutiveBusKeysUpToEight) {
  Install(R"({"ports":[{"driver":"aic78xx","buses":[{},{}]},{"driver":"aic78xx"},
                       {"driver":"aic78xx","buses":[{},{},{},{},{},{},{},{},{},{}]}]})");
  machine().registry().localMachine().Create("HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0\\Scsi Bus 3");
  LoadModule();
  EXPECT_EQ(ports().GetPortEntry(0)->busCount, 2u) << "bus 3 lies beyond the gap at bus 2";
  EXPECT_EQ(ports().GetPortEntry(1)->busCount, 0u);
  EXPECT_EQ(ports().GetPortEntry(2)->busCount, 8u) << "an adapter keeps at most 8 buses";
  EXPECT_EQ(ports().GetPortEntry(3), nullptr);
}

TEST_F(PortTableTest, ReadsTheRegistryDuringLoadAndNeverAgainOnceFilled) {
  Install(R"({"ports":[{"driver":"aic78xx","buses":[{}]}]})");
  EXPECT_TRUE(Calls("RegOpenKeyExA").empty());
  LoadModule();
  const std::size_t opened = Calls("RegOpenKeyExA").size();
  EXPECT_GT(opened, 0u);
  EXPECT_EQ(ports().ScanPorts(), 0u);
  Describe(0);
  EXPECT_EQ(Calls("RegOpenKeyExA").size(), opened);
}

TEST_F(PortTableTest, EmptyRegistryIsScannedAgainByEveryOperation) {
  Load(R"({"ports":[]})");
  EXPECT_EQ(ports().ScanPorts(), 2u) << "no key for port 0: ERROR_FILE_NOT_FOUND";
  const std::size_t attempts = Calls("RegOpenKeyExA").size();
  PortDescription description;
  std::memset(&description, 0x5A, sizeof description);
  EXPECT_EQ(ports().GetPortDescription(0, &description), 0u);
  EXPECT_EQ(description.classCode, 0x5A5A5A5Au) << "a failed scan leaves the output untouched";
  EXPECT_GT(Calls("RegOpenKeyExA").size(), attempts);
  EXPECT_EQ(ports().GetPortEntry(0), nullptr);
}

TEST_F(PortTableTest, UnreadableDriverValueOfTheFirstPortIsTheScansError) {
  Load(R"({"ports":[{"buses":[{}]}]})");
  EXPECT_EQ(ports().ScanPorts(), 2u) << "a port key without a Driver value";
  UnloadModule();

  const std::string longName(80, 'x');
  Load(R"({"ports":[{"driver":")" + longName + R"("}]})");
  EXPECT_EQ(ports().ScanPorts(), 234u) << "80 characters and the terminator do not fit the 80-byte buffer";
  UnloadModule();

  Load(R"({"ports":[{"driver":")" + longName.substr(1) + R"("},{"driver":")" + longName + R"("}]})");
  EXPECT_EQ(ports().ScanPorts(), 0u) << "a failure past port 0 ends the scan with success";
  EXPECT_EQ(ports().PortCount(), 1u);
  EXPECT_EQ(std::string(Describe(0).driverName), longName.substr(1));
  UnloadModule();

  Load(R"({"ports":[{"driver":"aic78xx"}],
           "faults":[{"call":"RegOpenKeyExA","key":"HARDWARE\\DEVICEMAP\\Scsi\\Scsi Port 0","error":5}]})");
  EXPECT_EQ(ports().ScanPorts(), 5u);
  UnloadModule();

  Load(R"({"ports":[{"driver":"aic78xx"}],"faults":[{"call":"RegQueryValueExA","value":"driver","error":1015}]})");
  EXPECT_EQ(ports().ScanPorts(), 1015u);
}

TEST_F(PortTableTest, UnknownDriverWithoutMemoryForItsNameIsDescribedAsUnknown) {
  Load(R"({"ports":[{"driver":"mydrv"}],"faults":[{"call":"allocate","count":1}]})");
  const PortDescription description = Describe(0);
  EXPECT_EQ(description.classCode, 4u);
  EXPECT_STREQ(description.driverName, "???");
  EXPECT_STREQ(description.vendorName, "???");
  char path[260];
  EXPECT_FALSE(ports().GetDriverFilePath(0, path, sizeof path)) << "without a name there is no service";
}

}  // namespace
}  // namespace lumbrel::test
