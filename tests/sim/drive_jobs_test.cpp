// The library's drive services and jobs against the simulated drives: what
// the drive holds afterwards, and the time the job took on the clock.
#include <condition_variable>
#include <mutex>
#include <thread>

#include "api/module_state.h"
#include "lumbrel.h"
#include "sim/scsi/scsi_world.h"
#include "support/module_fixture.h"

namespace lumbrel::test {
namespace {

std::mutex g_mutex;
std::condition_variable g_reported;
std::vector<std::uint32_t> g_results;
void LUMBREL_CALL OnJob(std::uint32_t result) {
  std::lock_guard lock(g_mutex);
  g_results.push_back(result);
  g_reported.notify_all();
}

class DriveJobsTest : public ModuleTest {
 protected:
  void Drive(const std::string& keys) {
    Load(R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,)" + keys + "}]}]}]}");
    {
      std::lock_guard lock(g_mutex);
      g_results.clear();
    }
    SetFormatCallback(OnJob);
    SetFirmwareCallback(OnJob);
  }
  std::uint32_t Result() {
    std::unique_lock lock(g_mutex);
    g_reported.wait(lock, [] { return !g_results.empty(); });
    return g_results[0];
  }
  void TearDown() override {
    while (IsModuleLoaded() && (Module().jobs.format || Module().jobs.firmware)) std::this_thread::yield();
    ModuleTest::TearDown();
  }
  sim::DriveView View() {
    std::lock_guard lock(machine().mutex());
    return machine().scsi().Drive(0, 0, 1)->View();
  }
};

TEST_F(DriveJobsTest, AFirmwareUpdateWaitsOutTheRestartAndLeavesTheNewFirmware) {
  Drive(R"("revision":"8808","firmware":{"modes":[5],"revisionAfter":"8809"},"restartNotReady":3)");
  const std::vector<std::uint8_t> image(20000, 0xC3);
  const std::uint64_t start = machine().clock().ElapsedMilliseconds();
  ASSERT_EQ(UpdateDriveFWImage(LUMBREL_CLASS_SCSIPORT, 0, 0, 1, image.data(), 20000), 0u);
  EXPECT_EQ(Result(), 0u);
  machine().WaitForThreads();
  EXPECT_EQ(machine().clock().ElapsedMilliseconds() - start, 5000u + 500u)
      << "the pause, then a second probe after three NOT READY answers";
  EXPECT_EQ(View().firmwareImage, image);
  EXPECT_EQ(View().revision, "8809");
}

TEST_F(DriveJobsTest, ADeepFormatClearsTheModeBitsAndLeavesTheDriveFormatting) {
  Drive(R"("notReady":1,"formatSeconds":60,
           "modePage0":"80 12 00 00 00 00 00 00 00 00 00 00 00 00 08 04 00 00 00 00")");
  ASSERT_EQ(DeepFormatDrive(LUMBREL_CLASS_SCSIPORT, 0, 0, 1), 0u);
  EXPECT_EQ(Result(), 0u);
  const sim::DriveView view = View();
  EXPECT_EQ(view.modePage0[0], 0x00) << "MODE SELECT stored the page, PS cleared";
  EXPECT_EQ(view.modePage0[14], 0x00);
  EXPECT_EQ(view.modePage0[15], 0x00);
  EXPECT_TRUE(view.formatting);
}

TEST_F(DriveJobsTest, ADeepFormatOfADriveUnreadableAt772DoesNotFormat) {
  Drive(R"("unreadable":[772])");
  ASSERT_EQ(DeepFormatDrive(LUMBREL_CLASS_SCSIPORT, 0, 0, 1), 0u);
  EXPECT_EQ(Result(), 2u) << "CHECK CONDITION of the READ(6)";
  EXPECT_FALSE(View().formatted);
}

TEST_F(DriveJobsTest, LogPageDataWrittenIsReadBack) {
  Drive(R"("revision":"0340","logPages":[0,50])");
  std::vector<std::uint8_t> data(600), read(600);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 13);
  ASSERT_EQ(WriteDriveLogPage(0, 0, 1, data.data(), 600, 0), 0u);
  ASSERT_EQ(ReadDriveLogPage(0, 0, 1, read.data(), 600), 0u);
  EXPECT_EQ(read, data);
  EXPECT_EQ(View().logPage32, data);
}

}  // namespace
}  // namespace lumbrel::test
