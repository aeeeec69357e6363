// The view of the maker's controller: its containers as logical drives,
// the version text, the configuration identifier and the library's statuses.
#include "raid/qzv_config.h"

#include <gtest/gtest.h>

#include "platform/byte_order.h"
#include "raid/qzv_fixture.h"

namespace lumbrel::test {
namespace {

constexpr const char* kTwoContainers = R"([
  {"number": 3, "type": 1, "state": 4, "sizeBytes": 1073741824, "members": [[0, 1], [0, 2]], "physicalDrive": 4},
  {"number": 7, "type": 4, "state": 1, "sizeBytes": 5120, "members": [[1, 0], [1, 1], [1, 2]]}])";

constexpr std::uint32_t kPortOfView = 0;

class QzvConfigTest : public QzvTest {
 protected:
  std::string Version() { return View().firmwareVersion; }
  void LibraryWith(const std::string& keys, const char* containers = kTwoContainers) {
    Build(containers, R"({"installed": true, )" + keys + "}");
  }
};

TEST_F(QzvConfigTest, VersionTextIsReadOnce) {
  Build(kTwoContainers);
  ASSERT_EQ(Attach(), 0u);
  EXPECT_EQ(Version(), "3.1-25 REL");
  AdvanceMs(15000);
  SimLibrary().config.configurationId = 99;
  EXPECT_EQ(Refresh(), 0u);
  EXPECT_EQ(Count("FsaGetGeneralInformation"), 1u);
}

TEST_F(QzvConfigTest, VersionSuffixZeroOrUnknownIsEmpty) {
  for (const char* suffix : {"00", "09"}) {
    SCOPED_TRACE(suffix);
    LibraryWith(R"("generalInformation": ")" + std::string(560, '0') + "19" + suffix + "0103\"");
    ASSERT_EQ(Attach(), 0u);
    EXPECT_EQ(Version(), "3.1-25");
  }
}

TEST_F(QzvConfigTest, DeviceNumberCountsTheLowerPortsOfTheSameClass) {
  Build(kTwoContainers, R"({"installed": true})",
        R"({"driver": "qzvscsi", "buses": [{}]}, {"driver": "aic78xx", "buses": [{}]}, {"driver": "qzvscsi", "buses": [{}]},)");
  ASSERT_EQ(Attach(3), 0u);
  const auto opens = Calls("FsaOpenAdapterA");
  ASSERT_EQ(opens.size(), 1u);
  EXPECT_EQ(opens[0]["name"].get<std::string>(), "\\\\.\\QZV2");
  EXPECT_EQ(Record(0).address, (DriveAddress{3, 5, 3}));
}

TEST_F(QzvConfigTest, UnchangedConfigurationKeepsTheRecordsAndAsksAgainNextTime) {
  LibraryWith(R"("configurationId": 77)");
  ASSERT_EQ(Attach(), 0u);
  const std::uint32_t completed = View().lastRefresh;
  SimLibrary().Containers(0)->front().type = 2;
  AdvanceMs(15000);
  EXPECT_EQ(Refresh(), 0u);
  EXPECT_EQ(Count("FsaGetContainerInfo"), 2u) << "the containers are not fetched again";
  EXPECT_EQ(Record(0).raidLevel, 1u);
  EXPECT_EQ(View().lastRefresh, completed);
  EXPECT_EQ(Refresh(), 0u);
  EXPECT_EQ(Count("FsaGetContainerList"), 3u) << "the unchanged refresh did not restart the throttle";
  SimLibrary().config.configurationId = 78;
  EXPECT_EQ(Refresh(), 0u);
  EXPECT_EQ(Record(0).raidLevel, 0u);
}

TEST_F(QzvConfigTest, SkippedContainersKeepTheirInitialRecord) {
  Build(R"([{"type": 1, "skipped": true, "members": [[0, 1]]}, {"type": 5}, {"type": 6}, {"type": 2, "number": 9}])");
  ASSERT_EQ(Attach(), 0u);
  ASSERT_EQ(View().logicalDriveCount, 4u);
  for (std::uint32_t i = 0; i < 3; ++i) {
    EXPECT_EQ(Record(i).raidLevel, kRaidLevelNone);
    EXPECT_EQ(Record(i).status, kArrayStatusInitial);
    EXPECT_EQ(Record(i).memberCount, 0u);
  }
  EXPECT_EQ(Record(3).address, (DriveAddress{9, 5, kPortOfView}));
}

TEST_F(QzvConfigTest, LibraryStatusesReachTheCaller) {
  LibraryWith(R"("listStatus": 9)");
  EXPECT_EQ(Attach(), 9u);
  EXPECT_EQ(Count("FsaCloseAdapter"), 1u);
  EXPECT_EQ(SimLibrary().LoadedCount(), 0u);

  LibraryWith(R"("infoStatus": 9)");
  EXPECT_EQ(Attach(), 0u) << "the general information's status is not examined";

  LibraryWith(R"("openStatus": 7)");
  EXPECT_EQ(Attach(), 7u);
  EXPECT_EQ(Count("FsaCloseAdapter"), 0u) << "no handle, no close";
  EXPECT_EQ(Library().ReleaseArrayLibrary(), 0u);
}

TEST_F(QzvConfigTest, ContainerStatusFollowsTheStateTableAndTheRaid5Qualifiers) {
  struct Case {
    std::uint32_t state, qualifierA, qualifierB, level, status;
  } cases[] = {
      {4, 1, 0, 5, 4}, {4, 0, 0, 5, 4}, {4, 0, 1, 5, 3}, {0, 1, 0, 5, 4}, {0, 0, 0, 5, 3},
      {1, 1, 1, 5, 5}, {4, 1, 0, 1, 3}, {5, 0, 0, 0, 6}, {2, 0, 0, 0, 4}, {6, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    std::uint8_t record[512] = {};
    StoreLe32(record + 36, c.state);
    StoreLe32(record + 240, c.qualifierA);
    StoreLe32(record + 256, c.qualifierB);
    EXPECT_EQ(MapContainerStatus(ByteView(record, sizeof record), c.level), c.status)
        << "state " << c.state << " A " << c.qualifierA << " B " << c.qualifierB << " level " << c.level;
  }
  EXPECT_EQ(ContainerRaidLevel(25), 1u);
  EXPECT_EQ(ContainerRaidLevel(26), kRaidLevelNone);
}

}  // namespace
}  // namespace lumbrel::test
