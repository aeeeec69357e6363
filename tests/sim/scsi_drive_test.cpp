// The simulated drives, through SCSI_PASS_THROUGH on a port device: what
// they answer to INQUIRY, readiness, reads and writes, and what they keep.
#include "sim/scsi/scsi_world.h"
#include "scsi_sim_fixture.h"

namespace lumbrel::test {
namespace {

class ScsiDriveTest : public ScsiSimTest {
 protected:
  void SetUp() override {
    Install(R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[
      {"target":1,"vendor":"IBM","product":"DDRS-34560D","revision":"S80J","serial":"RD2W4271"},
      {"target":2,"qualifier":1,"vendor":"Caf\u00e9\u0001","product":"P","revision":"1"},
      {"target":3,"inquiry":"05 80 02 02 07 00 00 00 54 4F 53 48"},
      {"target":4,"ready":false,"blocks":100}]}]}]})");
  }
  // Runs `cdb` on target t of port 0, bus 0; the block comes back.
  Bytes Run(std::uint8_t target, const Bytes& cdb, std::uint32_t length, std::uint8_t dataIn = 1,
            std::uint8_t senseLength = 32, const Bytes& data = {}) {
    Bytes block = PassThrough(0, target, cdb, dataIn, length);
    block[7] = senseLength;
    std::copy(data.begin(), data.end(), block.begin() + 160);
    const Reply reply = Send("\\\\.\\SCSI0:", kPassThrough, block, dataIn == 1 ? 44 : 160 + length,
                             dataIn == 1 ? 160 + length : 160);
    EXPECT_EQ(reply.error, 0u);
    return block;
  }
  sim::ScsiDrive& Drive(std::uint32_t target) { return *machine().scsi().Drive(0, 0, target); }
};

TEST_F(ScsiDriveTest, InquiryDataComesFromTheDeviceFields) {
  Bytes block = Run(1, kInquiry, 240);
  EXPECT_EQ(block[2], 0) << "GOOD";
  EXPECT_EQ(LoadLe32(&block[12]), 44u) << "DataTransferLength becomes what moved";
  EXPECT_EQ(block[160], 0x00);
  EXPECT_EQ(block[160 + 4], 44 - 5) << "additional length";
  EXPECT_EQ(Text(block, 168, 28), "IBM     DDRS-34560D     S80J");
  EXPECT_EQ(Text(block, 196, 8), "RD2W4271");

  block = Run(2, kInquiry, 240);
  EXPECT_EQ(block[160], 0x20) << "qualifier 1 over type 0";
  EXPECT_EQ(Text(block, 168, 8), "Caf\xE9\x01   ") << "each character below U+0100 is one byte";

  block = Run(3, kInquiry, 240);
  EXPECT_EQ(Text(block, 160, 12), Text({0x05, 0x80, 0x02, 0x02, 0x07, 0, 0, 0, 'T', 'O', 'S', 'H'}, 0, 12));
  EXPECT_EQ(LoadLe32(&block[12]), 12u) << "given INQUIRY data is returned as it is";

  block = Run(1, {0x12, 0, 0, 0, 5, 0}, 240);
  EXPECT_EQ(LoadLe32(&block[12]), 5u) << "the allocation length bounds the reply";
  block = Run(1, {0x12, 1, 0x80, 0, 0xFF, 0}, 240);
  EXPECT_EQ(Text(block, 160 + 4, 8), "RD2W4271") << "vital product data page 0x80: the serial number";
}

TEST_F(ScsiDriveTest, NotReadyDriveReportsItsSenseUntilStarted) {
  Bytes block = Run(4, kTestUnitReady, 0);
  ASSERT_EQ(block[2], 2) << "CHECK CONDITION";
  EXPECT_EQ(block[7], 18) << "SenseInfoLength: the sense bytes returned";
  EXPECT_EQ(block[44], 0x70);
  EXPECT_EQ(block[44 + 2], 0x02) << "NOT READY";
  EXPECT_EQ(block[44 + 12], 0x04);
  EXPECT_EQ(block[44 + 13], 0x02);
  block = Run(4, kRequestSense, 255);
  EXPECT_EQ(block[160 + 2], 0x00) << "automatic sense consumed the sense data";

  block = Run(4, {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 512, 1, 0);
  ASSERT_EQ(block[2], 2);
  EXPECT_EQ(block[7], 0) << "no sense area asked for, none returned";
  block = Run(4, kRequestSense, 255);
  EXPECT_EQ(block[160 + 2], 0x02) << "REQUEST SENSE fetches the pending sense";
  EXPECT_EQ(LoadLe32(&block[12]), 18u);

  EXPECT_EQ(Run(4, {0x1B, 0, 0, 0, 1, 0}, 0)[2], 0) << "START UNIT";
  EXPECT_EQ(Run(4, kTestUnitReady, 0)[2], 0);
}

TEST_F(ScsiDriveTest, ReadsWritesAndCapacityStayInsideTheMedium) {
  Bytes block = Run(1, {0x08, 0, 0x02, 0x04, 4, 0}, 2048);
  ASSERT_EQ(block[2], 0);
  EXPECT_EQ(LoadBe32(&block[160]), 0x0204u) << "each block begins with its address";
  EXPECT_EQ(LoadBe32(&block[160 + 3 * 512]), 0x0207u);

  Drive(4).state().ready = true;
  EXPECT_EQ(Run(4, {0x28, 0, 0, 0, 0, 99, 0, 0, 1, 0}, 512)[2], 0);
  block = Run(4, {0x28, 0, 0, 0, 0, 99, 0, 0, 2, 0}, 1024);
  EXPECT_EQ(block[2], 2);
  EXPECT_EQ(block[44 + 12], 0x21) << "LOGICAL BLOCK ADDRESS OUT OF RANGE";
  block = Run(4, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8);
  EXPECT_EQ(LoadBe32(&block[160]), 99u);
  EXPECT_EQ(LoadBe32(&block[164]), 512u);

  const Bytes written(512, 0x5A);
  EXPECT_EQ(Run(4, {0x2A, 0, 0, 0, 0, 7, 0, 0, 1, 0}, 512, 0, 32, written)[2], 0);
  block = Run(4, {0x08, 0, 0, 7, 1, 0}, 512);
  EXPECT_EQ(Bytes(block.begin() + 160, block.end()), written);

  block = Run(1, {0xC5, 0, 0, 0, 0, 0}, 0);
  EXPECT_EQ(block[2], 2);
  EXPECT_EQ(block[44 + 2], 0x05) << "ILLEGAL REQUEST";
  EXPECT_EQ(block[44 + 12], 0x20) << "INVALID COMMAND OPERATION CODE";
}

TEST_F(ScsiDriveTest, KeepsARecordOfTheCommandsItReceived) {
  for (int i = 0; i < 3; ++i) Run(1, {0x08, 0, 0x02, 0x04, 4, 0}, 2048);
  Run(1, kTestUnitReady, 0);
  const sim::CommandLog& log = Drive(1).log();
  EXPECT_EQ(log.total(), 4u);
  EXPECT_EQ(log.count(0x08), 3u);
  EXPECT_EQ(log.blocksRead(), 12u);
  const auto recent = log.Recent();
  ASSERT_EQ(recent.size(), 4u);
  EXPECT_EQ(recent[0].cdb[4], 4);
  EXPECT_EQ(recent[0].transferred, 2048u);
  EXPECT_EQ(recent[3].cdb[0], 0x00);
  for (int i = 0; i < 40; ++i) Run(1, kTestUnitReady, 0);
  EXPECT_EQ(log.Recent().size(), sim::CommandLog::kRecent);
  EXPECT_EQ(log.Recent().front().cdb[0], 0x00) << "only the last commands are kept";
}

}  // namespace
}  // namespace lumbrel::test
