// The path of a port's driver image, from its service key.
#include <algorithm>

#include "api/module_state.h"
#include "support/module_fixture.h"

namespace lumbrel::test {
namespace {

class DriverFilePathTest : public ModuleTest {
 protected:
  // One port with `driver` and the given service object (JSON).
  void LoadService(const std::string& service, const std::string& driver = "aic78xx",
                   const std::string& extra = "") {
    Load(R"({"ports":[{"driver":")" + driver + R"(","service":)" + service + "}]" + extra + "}");
  }
  std::optional<std::string> Path(std::uint32_t size = 260) {
    std::vector<char> path(size + 1, '\x7F');
    if (!Module().portTable.GetDriverFilePath(0, path.data(), size)) {
      EXPECT_EQ(std::count(path.begin(), path.end(), '\x7F'), static_cast<std::ptrdiff_t>(size + 1))
          << "a failure writes nothing";
      return std::nullopt;
    }
    EXPECT_EQ(path[size], '\x7F') << "wrote past the caller's size";
    return std::string(path.data());
  }
};

TEST_F(DriverFilePathTest, ResolvesImagePathsAgainstTheWindowsDirectory) {
  struct Case {
    const char* imagePath;
    const char* expected;
  } cases[] = {  // \SystemRoot\, a drive letter and an unknown driver: ports_edge_cases
      {R"(System32\\drivers\\aic78xx.sys)", R"(C:\WINDOWS\System32\drivers\aic78xx.sys)"},
      {R"(\\System32\\drivers\\aic78xx.sys)", R"(C:\WINDOWS\System32\drivers\aic78xx.sys)"},
      {R"(\\SYSTEMROOT\\x.sys)", R"(C:\WINDOWS\x.sys)"},
      {R"(\\\\server\\share\\aic78xx.sys)", R"(\\server\share\aic78xx.sys)"},
      {R"(%SystemRoot%\\System32\\drivers\\aic78xx.sys)", R"(C:\WINDOWS\System32\drivers\aic78xx.sys)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.imagePath);
    LoadService(std::string(R"({"imagePath":")") + c.imagePath + "\"}");
    EXPECT_EQ(Path(), c.expected);
    UnloadModule();
  }
}

TEST_F(DriverFilePathTest, ServiceWithoutImagePathUsesTheDefaultLocation) {
  LoadService("{}", "AIC78XX");
  // The service is named by the table's text, not the registry's spelling.
  EXPECT_EQ(Path(), R"(C:\WINDOWS\System32\drivers\aic78xx.sys)");
  const auto opens = Calls("RegOpenKeyExA");
  EXPECT_EQ(opens.back()["key"], R"(HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\aic78xx)");
}

TEST_F(DriverFilePathTest, CutsThePathToTheCallersBuffer) {
  LoadService("{}");
  EXPECT_EQ(Path(12), "C:\\WINDOWS\\");
  EXPECT_EQ(Path(5), "C:\\W");
  EXPECT_EQ(Path(1), "");
}

TEST_F(DriverFilePathTest, FailsWithoutAPath) {
  LoadService("null");
  EXPECT_EQ(Path(), std::nullopt) << "no service key";
  UnloadModule();

  LoadService(R"({"imagePath":"x"})");
  EXPECT_EQ(Path(), std::nullopt) << "a path of two characters or less (with its terminator)";
  UnloadModule();

  LoadService(R"({"imagePath":"System32\\drivers\\aic78xx.sys"})", "aic78xx",
              R"(,"faults":[{"call":"GetWindowsDirectoryA","error":5}])");
  EXPECT_EQ(Path(), std::nullopt);
  UnloadModule();

  LoadService(R"({"imagePath":"%SystemRoot%\\aic78xx.sys"})", "aic78xx",
              R"(,"faults":[{"call":"ExpandEnvironmentStringsA","error":8}])");
  EXPECT_EQ(Path(), std::nullopt);
  UnloadModule();

  LoadService("{}", "aic78xx", R"(,"faults":[{"call":"RegOpenKeyExA","key":"SYSTEM\\CurrentControlSet\\Services","error":5}])");
  EXPECT_EQ(Path(), std::nullopt);
  UnloadModule();

  Load(R"({"ports":[]})");
  char path[16];
  EXPECT_FALSE(Module().portTable.GetDriverFilePath(0, path, sizeof path));
}

TEST_F(DriverFilePathTest, StripPrefixComparesInUpperCaseAndKeepsTheRest) {
  char text[] = "\\systemroot\\System32";
  EXPECT_TRUE(StripPrefix(text, "\\SystemRoot"));
  EXPECT_STREQ(text, "\\System32");
  EXPECT_TRUE(StripPrefix(text, "\\"));
  EXPECT_STREQ(text, "System32");
  EXPECT_FALSE(StripPrefix(text, "System32x"));
  EXPECT_STREQ(text, "System32");
}

}  // namespace
}  // namespace lumbrel::test
