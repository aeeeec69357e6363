// The drive behaviours a machine file switches on, through SCSI_PASS_THROUGH
// on a port device: readiness, mode page 0, unreadable blocks, the format,
// the firmware download, log pages and latency.
#include "sim/scsi/scsi_world.h"
#include "scsi_sim_fixture.h"

namespace lumbrel::test {
namespace {

struct Answer {
  std::uint8_t status = 0;
  std::uint8_t key = 0, asc = 0, ascq = 0;
  std::uint32_t information = 0;  // valid for a medium error
  Bytes data;                     // what came in
};

class DriveBehaviourTest : public ScsiSimTest {
 protected:
  // One disk at port 0, bus 0, target 1, with these extra device keys.
  void Drive(const std::string& keys) {
    Install(R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[{"target":1,"revision":"0340")" +
            std::string(keys.empty() ? "" : ",") + keys + "}]}]}]}");
  }
  // Runs `cdb`: data in of `length` bytes, or `out` as data out.
  Answer Run(const Bytes& cdb, std::uint32_t length = 0, const Bytes& out = {}) {
    const bool in = out.empty();
    Bytes block = PassThrough(0, 1, cdb, in ? 1 : 0, in ? length : static_cast<std::uint32_t>(out.size()));
    std::copy(out.begin(), out.end(), block.begin() + 160);
    const Reply reply = Send("\\\\.\\SCSI0:", kPassThrough, block, in ? 44 : static_cast<DWORD>(block.size()),
                             in ? static_cast<DWORD>(block.size()) : 160);
    EXPECT_EQ(reply.error, 0u);
    Answer answer{block[2], static_cast<std::uint8_t>(block[44 + 2] & 0x0F), block[44 + 12], block[44 + 13],
                  LoadBe32(&block[44 + 3]), {}};
    if (in) answer.data.assign(block.begin() + 160, block.begin() + 160 + LoadLe32(&block[12]));
    return answer;
  }
  sim::DriveView View() { return machine().scsi().Drive(0, 0, 1)->View(); }
};

const Bytes kRead772 = {0x08, 0, 0x03, 0x04, 1, 0};
const Bytes kModeSenseDbd = {0x1A, 0x08, 0, 0, 0xFF, 0};
Bytes ModeSelect(std::uint8_t length) { return {0x15, 0, 0, 0, length, 0}; }
Bytes WriteBuffer(std::uint8_t mode, std::uint8_t id, std::uint32_t offset, std::uint32_t length) {
  Bytes cdb = {0x3B, mode, id, 0, 0, 0, 0, 0, 0, 0};
  StoreBe24(&cdb[3], offset);
  StoreBe24(&cdb[6], length);
  return cdb;
}
Bytes LogSense(std::uint8_t page, std::uint16_t pointer) {
  return {0x4D, 0, static_cast<std::uint8_t>(0x40 | page), 0, 0, 0, static_cast<std::uint8_t>(pointer), 0, 208, 0};
}
const Bytes kLogSelect = {0x4C, 0x01, 0x40, 0, 0, 0, 0, 0, 208, 0};
// One LOG SELECT parameter list of page 0x32: parameter k holding `fill`.
Bytes LogParameter(std::uint8_t k, std::uint8_t fill, std::uint8_t length) {
  Bytes list = {0x32, 0, 0, 204, 0, k, 0x01, length};
  list.resize(208, fill);
  return list;
}

TEST_F(DriveBehaviourTest, NotReadyCountsDownOverProbesAndReads) {
  Drive(R"("notReady":2)");
  const Answer read = Run(kRead772, 512);
  EXPECT_EQ(read.status, 2);
  EXPECT_EQ(read.key, 0x02);
  EXPECT_EQ(read.asc, 0x04);
  EXPECT_EQ(read.ascq, 0x01);
  EXPECT_EQ(Run(kTestUnitReady).status, 2);
  EXPECT_EQ(Run(kTestUnitReady).status, 0);
  EXPECT_EQ(Run(kRead772, 512).status, 0);
}

TEST_F(DriveBehaviourTest, ModeSensePutsPage0AfterTheHeaderAndAnyBlockDescriptor) {
  Drive(R"("modePage0":"80 04 11 22 33 44","blocks":1000)");
  const Bytes page = {0x80, 0x04, 0x11, 0x22, 0x33, 0x44};
  Answer sense = Run(kModeSenseDbd, 255);
  ASSERT_EQ(sense.data.size(), 10u);
  EXPECT_EQ(sense.data[0], 9) << "mode data length: the bytes after it";
  EXPECT_EQ(sense.data[3], 0) << "no block descriptor";
  EXPECT_EQ(Bytes(sense.data.begin() + 4, sense.data.end()), page);

  sense = Run({0x1A, 0, 0, 0, 0xFF, 0}, 255);
  ASSERT_EQ(sense.data.size(), 18u);
  EXPECT_EQ(sense.data[3], 8);
  EXPECT_EQ(LoadBe32(&sense.data[4]), 1000u) << "block count";
  EXPECT_EQ(LoadBe24(&sense.data[9]), 512u) << "block length";
  EXPECT_EQ(Bytes(sense.data.begin() + 12, sense.data.end()), page);
}

TEST_F(DriveBehaviourTest, ModeSelectRefusesAPageItCannotTake) {
  struct Case {
    const char* what;
    const char* keys;
    Bytes list;
  } cases[] = {
      {"rejectModeSelect", R"("rejectModeSelect":true)", {0, 0, 0, 0, 0x00, 0x04, 0, 0, 0, 0}},
      {"another page length", "", {0, 0, 0, 0, 0x00, 0x02, 0, 0}},
      {"a mode data length", "", {9, 0, 0, 0, 0x00, 0x04, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Drive(std::string(R"("modePage0":"80 04 11 22 33 44")") + (*c.keys ? "," : "") + c.keys);
    const Answer select = Run(ModeSelect(static_cast<std::uint8_t>(c.list.size())), 0, c.list);
    EXPECT_EQ(select.status, 2);
    EXPECT_EQ(select.key, 0x05);
    EXPECT_EQ(select.asc, 0x26) << "INVALID FIELD IN PARAMETER LIST";
    EXPECT_EQ(View().modePage0, (Bytes{0x00, 0x04, 0x11, 0x22, 0x33, 0x44}));
  }
}

TEST_F(DriveBehaviourTest, ReadsTouchingUnreadableBlocksAreMediumErrors) {
  struct Case {
    const char* keys;
    Bytes read;
    std::uint8_t status;
    std::uint32_t badBlock;
  } cases[] = {
      {R"("unreadable":[772])", {0x08, 0, 0x03, 0x02, 4, 0}, 2, 772},
      {R"("unreadable":[772])", {0x28, 0, 0, 0, 0x03, 0x00, 0, 0, 4, 0}, 0, 0},
      {R"("unreadable":true)", {0x08, 0, 0, 9, 1, 0}, 2, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    Drive(c.keys);
    const Answer read = Run(c.read, 2048);
    ASSERT_EQ(read.status, c.status);
    if (c.status == 0) continue;
    EXPECT_EQ(read.key, 0x03) << "MEDIUM ERROR";
    EXPECT_EQ(read.asc, 0x11);
    EXPECT_EQ(read.information, c.badBlock);
    EXPECT_TRUE(read.data.empty());
  }
}

TEST_F(DriveBehaviourTest, AFormatKeepsTheDriveNotReadyForItsTime) {
  Drive(R"("formatSeconds":10)");
  ASSERT_EQ(Run(kFormatUnit).status, 0) << "FORMAT UNIT answers at once";
  const Answer probe = Run(kTestUnitReady);
  EXPECT_EQ(probe.status, 2);
  EXPECT_EQ(probe.ascq, 0x04) << "format in progress";
  EXPECT_EQ(Run(kInquiry, 36).status, 0);
  EXPECT_TRUE(View().formatting);
  machine().clock().Advance(9999);
  EXPECT_EQ(Run(kTestUnitReady).status, 2);
  machine().clock().Advance(1);
  EXPECT_EQ(Run(kTestUnitReady).status, 0);
  EXPECT_TRUE(View().formatted);
}

TEST_F(DriveBehaviourTest, AFormattedDriveReadsZerosEverywhere) {
  Drive(R"("unreadable":[5])");
  ASSERT_EQ(Run({0x0A, 0, 0, 4, 1, 0}, 0, Bytes(512, 0x5A)).status, 0);
  ASSERT_EQ(Run(kFormatUnit).status, 0);
  const Answer read = Run({0x08, 0, 0, 4, 2, 0}, 1024);
  ASSERT_EQ(read.status, 0) << "the format mapped out block 5";
  EXPECT_EQ(read.data, Bytes(1024, 0)) << "a written block and an unwritten one";
}

TEST_F(DriveBehaviourTest, TheImageIsReassembledByBufferIdOrOffset) {
  Drive(R"("firmware":{})");
  const Bytes first(300, 0xA1), second(100, 0xB2);
  Bytes image = first;
  image.insert(image.end(), second.begin(), second.end());
  for (const bool byOffset : {false, true}) {
    SCOPED_TRACE(byOffset ? "by offset" : "by id");
    ASSERT_EQ(Run(WriteBuffer(byOffset ? 7 : 5, 0, 0, 300), 0, first).status, 0);
    ASSERT_EQ(Run(WriteBuffer(byOffset ? 7 : 5, byOffset ? 0 : 1, byOffset ? 300 : 0, 100), 0, second).status, 0);
    EXPECT_EQ(View().downloadLength, 400u);
    EXPECT_EQ(Run(kTestUnitReady).status, 0) << "the next command finds the drive restarted";
    EXPECT_EQ(View().firmwareImage, image);
    EXPECT_EQ(View().downloadLength, 0u);
  }
}

TEST_F(DriveBehaviourTest, WriteBufferRefusesWhatTheDriveDoesNotTake) {
  struct Case {
    const char* what;
    const char* keys;
    Bytes second;  // after a first chunk of 100 bytes at id 0, offset 0
    std::uint8_t asc;
  } cases[] = {
      {"no firmware key", "", WriteBuffer(5, 1, 0, 100), 0x20},
      {"a mode not listed", R"("firmware":{"modes":[7]})", WriteBuffer(5, 1, 0, 100), 0x24},
      {"an id out of turn", R"("firmware":{})", WriteBuffer(5, 2, 0, 100), 0x24},
      {"a gap", R"("firmware":{})", WriteBuffer(7, 0, 101, 100), 0x24},
      {"longer than maxLength", R"("firmware":{"maxLength":150})", WriteBuffer(5, 1, 0, 100), 0x24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Drive(c.keys);
    Run(WriteBuffer(7, 0, 0, 100), 0, Bytes(100, 1));
    const Answer refused = Run(c.second, 0, Bytes(100, 2));
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.key, 0x05);
    EXPECT_EQ(refused.asc, c.asc);
    EXPECT_EQ(View().downloadLength, 0u) << "nothing held";
    Run(kTestUnitReady);
    EXPECT_TRUE(View().firmwareImage.empty()) << "no restart";
  }
}

TEST_F(DriveBehaviourTest, LogSenseReturnsPage32FromTheParameterPointer) {
  std::string hex;
  for (const char* fill : {"11", "22", "33"}) {
    for (int i = 0; i < 200; ++i) hex += fill;
  }
  Drive(R"("logPages":[0,50],"logPage32":")" + hex + "\"");
  const Answer reply = Run(LogSense(0x32, 1), 208);
  ASSERT_EQ(reply.data.size(), 208u);
  EXPECT_EQ(reply.data[0], 0x32);
  EXPECT_EQ(LoadBe16(&reply.data[2]), 2u * 204) << "parameters 1 and 2 follow the pointer";
  EXPECT_EQ(LoadBe16(&reply.data[4]), 1u) << "parameter code";
  EXPECT_EQ(reply.data[7], 200);
  EXPECT_EQ(Bytes(reply.data.begin() + 8, reply.data.end()), Bytes(200, 0x22));
}

TEST_F(DriveBehaviourTest, LogSelectRefusesAParameterOfAnotherLength) {
  Drive(R"("logPages":[0,50])");
  EXPECT_EQ(Run(kLogSelect, 0, LogParameter(1, 0x66, 100)).asc, 0x26);
  EXPECT_EQ(View().logPage32, Bytes(600, 0)) << "nothing stored";
}

TEST_F(DriveBehaviourTest, EveryCommandTakesTheLatency) {
  Drive(R"("latencyMs":7)");
  const std::uint64_t start = machine().clock().ElapsedMilliseconds();
  Run(kInquiry, 36);
  Run(kTestUnitReady);
  Run({0x5F, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(machine().clock().ElapsedMilliseconds() - start, 21u) << "refused commands too";
  EXPECT_EQ(Calls("DeviceIoControl").back()["scsi"]["milliseconds"], 7) << "the trace shows the time taken";
}

}  // namespace
}  // namespace lumbrel::test
