// The log page 0x32 services: the support test, reading the three
// parameters and writing them.
#include "drives/log_pages.h"
#include "drives/scripted_drive.h"
#include "lumbrel.h"
#include "platform/byte_order.h"
#include "result_codes.h"

namespace lumbrel::test {
namespace {

// A drive that keeps page 0x32 and answers LOG SENSE from it; `listed` is
// its supported-pages list.
struct LogDrive : ScriptedTarget {
  explicit LogDrive(const std::string& revision, Bytes listed = {0x00, 0x32}) {
    inquiry = Inquiry("VENDOR", "DISK", revision);
    for (std::size_t i = 0; i < page.size(); ++i) page[i] = static_cast<std::uint8_t>(i % 251);
    handlers[scsi_op::kLogSense] = [this, listed](const Bytes& cdb, const Bytes&) {
      Bytes reply(208, 0);
      if ((cdb[2] & 0x3F) == 0) {
        StoreBe16(reply.data() + 2, static_cast<std::uint16_t>(listed.size()));
        std::copy(listed.begin(), listed.end(), reply.begin() + 4);
      } else {
        const std::size_t k = LoadBe16(cdb.data() + 5);
        std::copy(page.begin() + 200 * k, page.begin() + 200 * (k + 1), reply.begin() + 8);
      }
      return Reply{0, reply};
    };
  }
  Bytes page = Bytes(600);
};

using LogPageTest = DriveTest;

TEST_F(LogPageTest, TheSupportTestAsksTheDriveOnlyWhenItsIdentityDoesNotKnow) {
  struct Case {
    const char* revision;
    Bytes listed;
    std::uint32_t result;
    bool asked;
  } cases[] = {
      {"0340", {0x00, 0x2F, 0x32}, 0, true},        // 0x00D: asks
      {"0340", {0x00, 0x2F}, kNoLogPage, true},      // not listed
      {"0340", {0x00}, kNoLogPage, true},            // a list too short
      {"F302", {}, 0, false},                        // 0x10D: known to have it (0x213, known not to: log_pages)
      {"XYZ1", {0x00, 0x32}, kNoLogPage, false},     // unknown drive: 0x205
  };
  for (const Case& c : cases) {
    LogDrive drive(c.revision, c.listed);
    LoadDrives({{2, &drive}});
    std::uint8_t buffer[600] = {};
    EXPECT_EQ(ReadDriveLogPage(0, 0, 2, buffer, sizeof buffer), c.result) << c.revision;
    const std::vector<Bytes> sense = Commands(drive, scsi_op::kLogSense);
    const bool asked = !sense.empty() && sense[0] == Built(cdb::LogSense(kCumulativeValues, 0, 0, 208));
    EXPECT_EQ(asked, c.asked) << c.revision;
  }
}

TEST_F(LogPageTest, AReadCopiesTheThreeParametersUpToTheBufferSize) {
  LogDrive drive("F302");
  LoadDrives({{2, &drive}});
  std::uint8_t small[100];
  std::fill(std::begin(small), std::end(small), 0xEE);
  ASSERT_EQ(ReadDriveLogPage(0, 0, 2, small, sizeof small), 0u);
  EXPECT_TRUE(std::equal(small, small + 100, drive.page.begin()));
  std::vector<std::uint8_t> large(1000, 0xEE);
  ASSERT_EQ(ReadDriveLogPage(0, 0, 2, large.data(), 1000), 0u);
  EXPECT_TRUE(std::equal(large.begin(), large.begin() + 600, drive.page.begin()));
  EXPECT_EQ(large[600], 0xEE) << "600 bytes at most";
  const std::vector<Bytes> reads = Commands(drive, scsi_op::kLogSense);
  ASSERT_EQ(reads.size(), 6u);
  EXPECT_EQ(reads[2], Built(cdb::LogSense(kCumulativeValues, kStoragePage, 2, 208)));
}

TEST_F(LogPageTest, AFailedReadLeavesTheBufferAlone) {
  LogDrive drive("F302");
  auto calls = std::make_shared<int>(0);
  ScriptedTarget::Handler pages = drive.handlers[scsi_op::kLogSense];
  drive.handlers[scsi_op::kLogSense] = [pages, calls](const Bytes& cdb, const Bytes& out) {
    return ++*calls == 3 ? ScriptedTarget::Reply{2, {}} : pages(cdb, out);
  };
  LoadDrives({{2, &drive}});
  std::uint8_t buffer[600] = {};
  EXPECT_EQ(ReadDriveLogPage(0, 0, 2, buffer, sizeof buffer), kCheckCondition);
  EXPECT_TRUE(std::all_of(std::begin(buffer), std::end(buffer), [](std::uint8_t b) { return b == 0; }));
}

TEST_F(LogPageTest, AWriteSendsThreeSavedParametersPaddedWithZeros) {
  LogDrive drive("F302");
  LoadDrives({{2, &drive}});
  Bytes data(250);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i + 1);
  ASSERT_EQ(WriteDriveLogPage(0, 0, 2, data.data(), 250, LogWriteUnchecked), 0u);
  ASSERT_EQ(drive.dataOut.size(), 3u);
  for (std::uint32_t k = 0; k < 3; ++k) {
    const Bytes& list = drive.dataOut[k];
    ASSERT_EQ(list.size(), 208u);
    EXPECT_EQ(list[log_parameter::kPageCode.offset], kStoragePage);
    EXPECT_EQ(LoadBe16(list.data() + log_parameter::kPageLength.offset), 204u);
    EXPECT_EQ(LoadBe16(list.data() + log_parameter::kParameterCode.offset), k);
    EXPECT_EQ(list[log_parameter::kControl.offset], 0x01);
    EXPECT_EQ(list[log_parameter::kParameterLength.offset], 200);
  }
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 200, drive.dataOut[0].begin() + 8));
  EXPECT_TRUE(std::equal(data.begin() + 200, data.end(), drive.dataOut[1].begin() + 8));
  EXPECT_TRUE(std::all_of(drive.dataOut[1].begin() + 58, drive.dataOut[1].end(), [](auto b) { return b == 0; }));
  EXPECT_TRUE(std::all_of(drive.dataOut[2].begin() + 8, drive.dataOut[2].end(), [](auto b) { return b == 0; }));
  EXPECT_EQ(Commands(drive, scsi_op::kLogSelect).at(0), Built(cdb::LogSelect(true, kCumulativeValues, 208)));
  EXPECT_TRUE(Commands(drive, scsi_op::kInquiry).size() <= 1) << "mode 1: no support test";
}

// A simulated SEAGATE ST39102LW (its INQUIRY data holds a '2', 0x32)
// whose every LOG SENSE reply is `reply`.
class LogSenseReplyTest : public ModuleTest {
 protected:
  void LoadReply(const std::string& reply) {
    Load(R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,"vendor":"SEAGATE",
        "product":"ST39102LW","revision":"0340","logPages":[0,50],"logSenseReply":")" + reply + R"("}]}]}]})");
    ASSERT_EQ(Module().adapterList.BuildAdapterList(), 0u);
  }
  std::uint32_t Support(const std::string& reply) {
    LoadReply(reply);
    return CheckLogPageSupport(*Module().adapterList.GetAdapter(0), Module().driveIdentifier, 0, 1);
  }
};

TEST_F(LogSenseReplyTest, TheSupportedPagesListEndsAtItsPageLengthCutToTheBytesAskedFor) {
  EXPECT_EQ(Support("00 00 FF FF 00 32"), 0u) << "a length of 65535 is read up to the 208 bytes asked for";
  EXPECT_EQ(Support("00 00 00 01 00 32"), kNoLogPage) << "page 0x32 lies past the page length";
  EXPECT_EQ(Support("00 00 00 00"), kNoLogPage);
}

TEST_F(LogSenseReplyTest, BytesTheDriveDidNotSendAreNotTakenForItsSupportedPages) {
  // The INQUIRY just before left "ST39102LW" in the data area.
  EXPECT_EQ(Support("00 00 FF FF 00"), kNoLogPage);
}

TEST_F(LogSenseReplyTest, AShortParameterReplyReadsAsZerosPastItsEnd) {
  LoadReply("00 00 FF FF 00 32 00 00 11 22");
  std::vector<std::uint8_t> buffer(600, 0xEE);
  ASSERT_EQ(ReadDriveLogPage(0, 0, 1, buffer.data(), 600), 0u);
  EXPECT_EQ(buffer[0], 0x11);
  EXPECT_EQ(buffer[1], 0x22);
  EXPECT_TRUE(std::all_of(buffer.begin() + 2, buffer.begin() + 200, [](auto b) { return b == 0; }))
      << "nothing of the INQUIRY data or the supported-pages reply before it";
}

}  // namespace
}  // namespace lumbrel::test
