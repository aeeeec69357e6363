// Drive readiness where no CLI command reaches: a port scan that fails, and
// a caller that passes no place for the level. The levels themselves are the
// readiness_levels acceptance cases.
#include "lumbrel.h"
#include "support/module_fixture.h"

namespace lumbrel::test {
namespace {

using ReadinessTest = ModuleTest;

TEST_F(ReadinessTest, AnAdapterListThatCannotBeBuiltIsReportedAtLevel0) {
  Load(R"({"ports": []})");
  std::uint32_t level = 99;
  EXPECT_EQ(GetDriveReadiness(4, 0, 0, 0, &level), 2u) << "the port scan's error";
  EXPECT_EQ(level, 0u);
}

TEST_F(ReadinessTest, ANullReadinessPointerIsAllowed) {
  Load(R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":0},{"target":3,"ready":false}]}]}]})");
  EXPECT_EQ(GetDriveReadiness(4, 0, 0, 3, nullptr), 2u);
  EXPECT_EQ(GetDriveReadiness(4, 0, 0, 0, nullptr), 0u);
}

}  // namespace
}  // namespace lumbrel::test
