// The readiness levels of drives on simulated ports, each level and each
// failure, and what the file test leaves on the volumes.
#include <memory>

#include "discovery/port_table.h"
#include "drives/drive_letter_map.h"
#include "raid/array_library.h"
#include "raid/raid_config_list.h"
#include "reports/drive_readiness.h"
#include "scsi/adapter_list.h"
#include "scsi/address_cache.h"
#include "support/module_fixture.h"

namespace lumbrel::test {
namespace {

constexpr const char* kTestFile = "$QZTest.dat";

// The drive-letter map asks the RAID views for the members behind an address.
struct ListExpansion : MemberExpansion {
  explicit ListExpansion(RaidConfigList& list) : list_(list) {}
  virtual ~ListExpansion() = default;
  std::uint32_t ExpandLogicalDrive(DriveAddress address, std::uint32_t* count, DriveAddress* members) override {
    return list_.ExpandLogicalDrive(address, count, members);
  }
  RaidConfigList& list_;
};

// The library's objects, wired as the module wires them.
struct Library {
  PortTable ports;
  ScsiAddressCache addressCache;
  AdapterList adapters{ports, addressCache};
  ArrayLibrary arrayLibrary;
  RaidConfigList raidConfigs{ports, adapters, arrayLibrary};
  ListExpansion expansion{raidConfigs};
  DriveLetterMap letters{expansion};
  DriveReadiness readiness{adapters, raidConfigs, letters};
};

// Port 0 (a SCSI port) and port 1 (IDE); class devices numbered without
// gaps, as Windows numbers them:
//   0/0 disk on D:       0/1 disk, no letter      0/2 CD-ROM, no letter
//   0/3 not ready        0/4 unreadable           0/5 absent
//   0/6 disk on E: (read-only)   0/8 disk on F: (full)   0/9 disk on G: (test file there)
//   0/10 disk on H: and J:       1/0 disk on K:           1/1 disk, no letter
const char* const kMachine = R"({
  "ports": [
    {"driver": "aic78xx", "buses": [{"devices": [
      {"target": 0, "physicalDrive": 0}, {"target": 1, "physicalDrive": 1}, {"target": 2, "type": 5},
      {"target": 3, "ready": false}, {"target": 4, "unreadable": true, "physicalDrive": 2},
      {"target": 6, "physicalDrive": 3}, {"target": 8, "physicalDrive": 4}, {"target": 9, "physicalDrive": 5},
      {"target": 10, "physicalDrive": 6}]}]},
    {"driver": "atapi", "buses": [{"devices": [{"target": 0, "physicalDrive": 7}, {"target": 1}]}]}
  ],
  "volumes": [
    {"letter": "D", "extents": [0]}, {"letter": "E", "extents": [3], "readOnly": true},
    {"letter": "F", "extents": [4], "full": true}, {"letter": "G", "extents": [5], "files": {"$QZTest.dat": ""}},
    {"letter": "J", "extents": [6]}, {"letter": "H", "extents": [6]}, {"letter": "K", "extents": [7]}
  ]
})";

class ReadinessTest : public ModuleTest {
 protected:
  void SetUp() override {
    Install(kMachine);
    library = std::make_unique<Library>();
  }
  void TearDown() override {
    library.reset();
    ModuleTest::TearDown();
  }

  struct Outcome {
    std::uint32_t result;
    std::uint32_t level;
  };
  Outcome Probe(std::uint32_t classCode, std::uint32_t ordinal, std::uint32_t target, std::uint32_t bus = 0) {
    Outcome outcome{0, 99};
    outcome.result = library->readiness.GetDriveReadiness(classCode, ordinal, bus, target, &outcome.level);
    return outcome;
  }
  bool FileLeftOn(char letter) { return machine().files().Find(std::string(1, letter) + ":\\" + kTestFile) != nullptr; }
  std::vector<std::string> FileCalls() {
    std::vector<std::string> calls;
    for (const auto& record : machine().trace().Records()) {
      const std::string call = record["call"];
      if (call == "WriteFile" || call == "ReadFile" || call == "DeleteFileA" ||
          (call == "CreateFileA" && std::string(record["name"]).find(kTestFile) != std::string::npos)) {
        calls.push_back(call);
      }
    }
    return calls;
  }

  std::unique_ptr<Library> library;
};

TEST_F(ReadinessTest, EachDriveReachesTheLevelOfTheTestsItPasses) {
  struct Case {
    const char* drive;
    std::uint32_t classCode, ordinal, target;
    std::uint32_t result, level;
  } cases[] = {
      {"lettered disk, file created and deleted", 4, 0, 0, 0, 5},
      {"disk without a letter", 4, 0, 1, 0, 3},
      {"CD-ROM: no read test", 4, 0, 2, 0, 2},
      {"not ready, also on the repeat", 4, 0, 3, 2, 1},
      {"unreadable", 4, 0, 4, 2, 2},
      {"absent: INQUIRY fails", 4, 0, 5, 130, 0},
      {"IDE port: no read test, lettered", 5, 1, 0, 0, 5},
      {"IDE port: no read test, no letter", 5, 1, 1, 0, 2},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Probe(c.classCode, c.ordinal, c.target);
    EXPECT_EQ(outcome.result, c.result) << c.drive;
    EXPECT_EQ(outcome.level, c.level) << c.drive;
  }
  EXPECT_FALSE(FileLeftOn('D'));
  EXPECT_FALSE(FileLeftOn('K'));
}

TEST_F(ReadinessTest, AnAdapterThatDoesNotExistGives1200AtLevel0) {
  EXPECT_EQ(Probe(4, 2, 0).result, 1200u);
  EXPECT_EQ(Probe(4, 2, 0).level, 0u);
  EXPECT_EQ(Probe(1, 0, 0).result, 1200u) << "no MegaRAID port";
}

TEST_F(ReadinessTest, AnAdapterListThatCannotBeBuiltIsReportedAtLevel0) {
  Install(R"({"ports": []})");
  library = std::make_unique<Library>();
  const Outcome outcome = Probe(4, 0, 0);
  EXPECT_EQ(outcome.result, 2u) << "the port scan's error";
  EXPECT_EQ(outcome.level, 0u);
}

TEST_F(ReadinessTest, TheFileTestWritesThePatternOnTheLowestLetter) {
  ASSERT_EQ(Probe(4, 0, 10).level, 5u);
  const auto writes = Calls("WriteFile");
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0]["name"], "H:\\$QZTest.dat");
  EXPECT_EQ(writes[0]["length"], 512);
  const auto creates = Calls("CreateFileA");
  const auto& create = creates.back();
  EXPECT_EQ(create["access"], 0xC0000000u);
  EXPECT_EQ(create["share"], 0);
  EXPECT_EQ(create["disposition"], 4);
  EXPECT_EQ(FileCalls(), (std::vector<std::string>{"CreateFileA", "WriteFile", "DeleteFileA"}));
  EXPECT_FALSE(FileLeftOn('H'));
}

TEST_F(ReadinessTest, AnExistingTestFileIsReadAndLeftInPlace) {
  const Outcome outcome = Probe(4, 0, 9);
  EXPECT_EQ(outcome.result, 0u);
  EXPECT_EQ(outcome.level, 5u) << "even when the file is empty";
  EXPECT_EQ(FileCalls(), (std::vector<std::string>{"CreateFileA", "ReadFile"}));
  EXPECT_TRUE(FileLeftOn('G'));
}

TEST_F(ReadinessTest, AWriteProtectedVolumeStopsAtLevel4WithItsError) {
  const Outcome outcome = Probe(4, 0, 6);
  EXPECT_EQ(outcome.result, 19u);
  EXPECT_EQ(outcome.level, 4u);
  EXPECT_FALSE(FileLeftOn('E'));
}

TEST_F(ReadinessTest, AFullVolumeStopsAtLevel4AndKeepsTheTestFile) {
  const Outcome outcome = Probe(4, 0, 8);
  EXPECT_EQ(outcome.result, 112u);
  EXPECT_EQ(outcome.level, 4u);
  EXPECT_TRUE(FileLeftOn('F'));
  EXPECT_EQ(FileCalls(), (std::vector<std::string>{"CreateFileA", "WriteFile"}));
  EXPECT_EQ(Probe(4, 0, 8).level, 5u) << "the next test reads the file left behind";
}

// MegaRAID port 0: one logical drive per member on bus 1, in the states
// that give array status 1 (state 0), 2 (state 6), 6 (state 4) and 3
// (state 2), each carrying a letter. HHBA5100 port 1: target 1 in no array,
// target 2 in a logical drive whose state gives no status, both lettered.
const char* const kArrayMachine = R"({
  "ports": [
    {"driver": "mraidnt", "buses": [{"devices": []}, {"devices": [
      {"target": 0}, {"target": 1}, {"target": 2}, {"target": 3}]}],
     "logicalDrives": [
       {"state": 0, "physicalDrive": 2, "spans": [{"drives": [{"bus": 1, "target": 0}]}]},
       {"state": 6, "physicalDrive": 3, "spans": [{"drives": [{"bus": 1, "target": 1}]}]},
       {"state": 4, "physicalDrive": 4, "spans": [{"drives": [{"bus": 1, "target": 2}]}]},
       {"state": 2, "physicalDrive": 5, "spans": [{"drives": [{"bus": 1, "target": 3}]}]}]},
    {"driver": "HHBA5100", "buses": [{"devices": [
      {"target": 1, "physicalDrive": 0}, {"target": 2, "physicalDrive": 1}]}],
     "logicalDrives": [{"state": 1, "physicalDrive": 6, "spans": [{"drives": [{"target": 2}]}]}]}
  ],
  "volumes": [
    {"letter": "C", "extents": [2]}, {"letter": "D", "extents": [3]}, {"letter": "E", "extents": [4]},
    {"letter": "F", "extents": [5]}, {"letter": "G", "extents": [0]}, {"letter": "H", "extents": [6]}
  ]
})";

TEST_F(ReadinessTest, AnArrayStatusOf0To2Or6StopsAtLevel4WithoutTouchingAFile) {
  Install(kArrayMachine);
  library = std::make_unique<Library>();
  struct Case {
    const char* drive;
    std::uint32_t classCode, bus, target;
  } cases[] = {
      {"MegaRAID member, status 1", 1, 1, 0},
      {"MegaRAID member, status 2", 1, 1, 1},
      {"MegaRAID member, status 6", 1, 1, 2},
      {"HHBA5100 drive in no array, status 0", 3, 0, 1},
      {"HHBA5100 member of a logical drive without status", 3, 0, 2},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Probe(c.classCode, 0, c.target, c.bus);
    EXPECT_EQ(outcome.result, 0u) << c.drive;
    EXPECT_EQ(outcome.level, 4u) << c.drive;
  }
  EXPECT_TRUE(FileCalls().empty());
}

TEST_F(ReadinessTest, AnArrayMemberWithStatus3TakesTheFileTest) {
  Install(kArrayMachine);
  library = std::make_unique<Library>();
  const Outcome outcome = Probe(1, 0, 3, 1);
  EXPECT_EQ(outcome.result, 0u);
  EXPECT_EQ(outcome.level, 5u);
  EXPECT_EQ(FileCalls(), (std::vector<std::string>{"CreateFileA", "WriteFile", "DeleteFileA"}));
  EXPECT_FALSE(FileLeftOn('F'));
}

TEST_F(ReadinessTest, ANullReadinessPointerIsAllowed) {
  EXPECT_EQ(library->readiness.GetDriveReadiness(4, 0, 0, 3, nullptr), 2u);
  EXPECT_EQ(library->readiness.GetDriveReadiness(4, 0, 0, 0, nullptr), 0u);
}

}  // namespace
}  // namespace lumbrel::test
