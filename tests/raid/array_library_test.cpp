// The run-time binding of the array controller management library: the
// probe file, the 3-second load throttle, missing entry points, and the
// release after every use.
#include "raid/array_library.h"

#include <gtest/gtest.h>

#include "raid/qzv_fixture.h"

namespace lumbrel::test {
namespace {

constexpr const char* kOneMirror = R"([{"type": 1, "state": 4, "sizeBytes": 1048576, "members": [[0, 1], [0, 2]]}])";

using ArrayLibraryTest = QzvTest;

TEST_F(ArrayLibraryTest, WithoutTheProbeFileTheLibraryIsNeverLoaded) {
  Build(kOneMirror, R"({"installed": true, "probeFile": false})");
  EXPECT_EQ(Attach(), 126u);
  EXPECT_EQ(Refresh(), 126u) << "a missing probe file is no load attempt, so it is looked for again at once";
  EXPECT_EQ(Count("FindFirstFileA"), 2u);
  EXPECT_EQ(Count("LoadLibraryA"), 0u);
  EXPECT_EQ(SimLibrary().TotalLoads(), 0u);
}

TEST_F(ArrayLibraryTest, FailedLoadIsRetriedOnlyAfterThreeSeconds) {
  Build(kOneMirror, R"({"installed": false, "probeFile": true})",
        "", R"(, "faults": [{"call": "LoadLibraryA", "error": 193, "count": 1}])");
  EXPECT_EQ(Attach(), 193u) << "the loader's own error";
  AdvanceMs(2999);
  EXPECT_EQ(Refresh(), 126u);
  EXPECT_EQ(Count("LoadLibraryA"), 1u);
  AdvanceMs(1);
  EXPECT_EQ(Refresh(), 126u) << "the library is missing: the loader's error";
  EXPECT_EQ(Count("LoadLibraryA"), 2u);
}

TEST_F(ArrayLibraryTest, NoLoadInTheFirstThreeSecondsAfterStartUp) {
  Build(kOneMirror, R"({"installed": true})", "", R"(, "clock": {"tickCount": 2999})");
  EXPECT_EQ(Attach(), 126u);
  EXPECT_EQ(Count("FindFirstFileA"), 0u);
}

TEST_F(ArrayLibraryTest, RefreshReleasesTheLibraryAndTheNextUseLoadsAtOnce) {
  Build(kOneMirror);
  EXPECT_EQ(Attach(), 0u);
  EXPECT_FALSE(Library().IsLoaded());
  EXPECT_EQ(SimLibrary().LoadedCount(), 0u);
  EXPECT_EQ(Library().EnsureArrayLibrary(), 0u) << "the release cleared the last attempt";
  EXPECT_EQ(SimLibrary().TotalLoads(), 2u);
  EXPECT_EQ(Library().ReleaseArrayLibrary(), 0u);
  EXPECT_EQ(Count("FindClose"), Count("FindFirstFileA"));
}

TEST_F(ArrayLibraryTest, LibraryWithoutTheUnusedEntryPointServesRefreshes) {
  Build(kOneMirror, R"({"installed": true, "missingEntryPoints": ["FsaGetSmartDeviceInfo"]})");
  EXPECT_EQ(Attach(), 0u);
  EXPECT_EQ(View().logicalDriveCount, 1u);
  EXPECT_EQ(SimLibrary().LoadedCount(), 0u);
}

TEST_F(ArrayLibraryTest, MissingOpenEntryPointGivesItsErrorThenZeroWhileLoaded) {
  Build(kOneMirror, R"({"installed": true, "missingEntryPoints": ["FsaOpenAdapterA"]})");
  EXPECT_EQ(Attach(), 127u);
  EXPECT_EQ(Refresh(), 0u) << "already loaded: the binding answers 0 and the open is never made";
  EXPECT_EQ(View().logicalDriveCount, 0u);
  EXPECT_EQ(Count("FsaGetContainerList"), 0u);
  EXPECT_TRUE(Library().IsLoaded()) << "without a handle nothing closes, so nothing releases";
  EXPECT_EQ(Library().ReleaseArrayLibrary(), 0u);
  EXPECT_EQ(SimLibrary().LoadedCount(), 0u);
}

TEST_F(ArrayLibraryTest, ProbePathIsCutTo256Characters) {
  const std::string directory = "C:\\" + std::string(250, 'S');
  Build(kOneMirror, R"({"installed": true})", "", R"(, "systemDirectory": )" + nlohmann::json(directory).dump());
  EXPECT_EQ(Attach(), 126u) << "the cut name is not the probe file";
  const auto probes = Calls("FindFirstFileA");
  ASSERT_EQ(probes.size(), 1u);
  EXPECT_EQ(probes[0]["name"].get<std::string>(), (directory + "\\AfaAppSe.dll").substr(0, 256));
}

}  // namespace
}  // namespace lumbrel::test
