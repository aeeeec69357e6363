// The controller families: MegaRAID and DAC960 requests on the port device,
// the maker's controller's request blocks on "\\.\QZVn".
#include "sim/scsi/scsi_world.h"
#include "scsi_sim_fixture.h"

namespace lumbrel::test {
namespace {

class ControllerDriversTest : public ScsiSimTest {
 protected:
  void SetUp() override {
    Install(R"({"ports":[
      {"driver":"mraidnt","buses":[{"devices":[{"target":2,"vendor":"IBM"},{"target":3,"ready":false}]}]},
      {"driver":"qzvscsi","buses":[{"devices":[{"target":1,"vendor":"FUJITSU"},{"target":2,"ready":false}]}]},
      {"driver":"dac960nt","buses":[{},{"devices":[{"target":2,"vendor":"SEAGATE"},{"target":3,"ready":false}]}]},
      {"driver":"aic78xx"},
      {"driver":"qzvscsi","buses":[{"devices":[{"target":1,"vendor":"QUANTUM"}]}]}]})");
  }
  Reply SendMegaRaid(Bytes& block) {
    return Send("\\\\.\\SCSI0:", kMiniport, block, static_cast<DWORD>(block.size()), static_cast<DWORD>(block.size()));
  }
  Reply SendDac960(Bytes& block) {
    return Send("\\\\.\\SCSI2:", kMiniport, block, static_cast<DWORD>(block.size()), static_cast<DWORD>(block.size()));
  }
  Reply SendSrb(const char* device, Bytes& block) { return Send(device, kQzvSrb, block, 64, 64); }
};

TEST_F(ControllerDriversTest, MegaRaidRefusesMalformedRequests) {
  struct Case {
    FieldChange change;
    DWORD error;
    std::uint8_t status;
  } cases[] = {
      {{"header length", 0, 32, 4}, 1306, 0xAA},
      {{"Length beyond the buffer", 24, 68 + 32769, 4}, 87, 0xAA},
      {{"another signature", 4, 'M', 1}, 1, 0xAA},
      {{"data address elsewhere", 88, 0, 4}, 998, 0xAA},
      {{"unknown mailbox command", 28, 9, 1}, 0, 0x01},
      {{"CDB longer than 10", 52, 11, 1}, 0, 0x01},
      {{"data beyond the declared Length", 92, 32769, 4}, 0, 0x01},
      {{"unknown direction", 16, 2, 4}, 0, 0x01},
      {{"a time-out other than forever", 12, 60, 4}, 0, 0x01},
      {{"no automatic request sense", 36, 0x00, 1}, 0, 0x01},
      {{"the time-out class of FORMAT UNIT on INQUIRY", 36, 0x0B, 1}, 0, 0x01},
      {{"control bits above the sense bit", 36, 0x18, 1}, 0, 0x01},
      {{"a logical drive", 37, 1, 1}, 0, 0x01},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.change.what);
    Bytes block = MegaRaid(0, 2, kInquiry, true, 240, 32768);
    Apply(block, c.change);
    EXPECT_EQ(SendMegaRaid(block).error, c.error);
    EXPECT_EQ(block[29], c.status);
  }
  Bytes block = MegaRaid(0, 2, kInquiry, true, 240, 32768);
  StoreLe32(&block[88], Address(block.data() + 100));
  EXPECT_EQ(SendMegaRaid(block).error, 998u) << "the data address must be the block's data area";
  EXPECT_EQ(Send("\\\\.\\SCSI3:", kMiniport, block, 128, 128).error, 1u) << "a generic port has no miniport requests";
}

TEST_F(ControllerDriversTest, MegaRaidWantsTheTimeOutClassOfTheCommand) {
  struct Case {
    const char* what;
    const Bytes& cdb;
    bool in;
    std::uint8_t control;
    bool taken;
  } cases[] = {
      {"FORMAT UNIT, class 3", kFormatUnit, true, 0x0B, true},
      {"FORMAT UNIT, class 0", kFormatUnit, true, 0x08, false},
      {"WRITE BUFFER, class 2", kWriteBuffer, false, 0x0A, true},
      {"WRITE BUFFER, class 0", kWriteBuffer, false, 0x08, false},
      {"FORMAT UNIT sent as output, class 0", kFormatUnit, false, 0x08, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes block = MegaRaid(0, 2, c.cdb, c.in, 0, c.in ? 32768 : 0);
    block[36] = c.control;
    ASSERT_EQ(SendMegaRaid(block).error, 0u);
    EXPECT_EQ(block[29] != 0x01, c.taken) << "command status " << int(block[29]);
  }
}

TEST_F(ControllerDriversTest, Dac960RefusesMalformedRequests) {
  Bytes block = Dac960(0x12, kInquiry, true, 240);
  StoreLe32(&block[24], 120 + 200);
  SendDac960(block);
  EXPECT_EQ(LoadLe16(&block[32]), 0x105u) << "transfer length beyond the declared Length";
  block = Dac960(0x12, kInquiry, true, 240);
  block[68] = 13;
  SendDac960(block);
  EXPECT_EQ(LoadLe16(&block[32]), 0x105u) << "CDB longer than 12";
  block = Dac960(0x12, kInquiry, true, 240);
  StoreLe32(&block[64], Address(block.data() + 96));
  EXPECT_EQ(SendDac960(block).error, 998u);
  block = Dac960(0x12, kInquiry, true, 240);
  block[44] = 0x53;
  SendDac960(block);
  EXPECT_EQ(LoadLe16(&block[32]), 0x104u) << "unknown command";
  block = Dac960Command(0x3D);
  StoreLe32(&block[24], 32 + 16);
  SendDac960(block);
  EXPECT_EQ(LoadLe16(&block[32]), 0x105u) << "a controller block is 64 bytes";
}

TEST_F(ControllerDriversTest, Dac960RefusesAnyOtherHeaderOrControlByteThanTheLibrarys) {
  const FieldChange changes[] = {
      {"a time-out of 5 s on a direct CDB", 12, 5, 4}, {"ControlCode 1", 16, 1, 4},
      {"direction without bit 7", 61, 0x01, 1},         {"a reserved control bit", 61, 0x85, 1},
  };
  for (const FieldChange& change : changes) {
    SCOPED_TRACE(change.what);
    Bytes block = Dac960(0x12, kInquiry, true, 240);
    Apply(block, change);
    ASSERT_EQ(SendDac960(block).error, 0u);
    EXPECT_EQ(LoadLe16(&block[32]), 0x105u);
    EXPECT_EQ(Calls("DeviceIoControl").back().count("scsi"), 0u) << "nothing reached the drive";
  }
}

TEST_F(ControllerDriversTest, Dac960ControllerCommandsTakeTheirTimeOutAndNoParameters) {
  const FieldChange changes[] = {
      {"the direct CDB's time-out of 60 s", 12, 60, 4}, {"ControlCode 1", 16, 1, 4}, {"first parameter", 46, 1, 1},
      {"its copy", 51, 1, 1}, {"second parameter", 47, 1, 1}, {"the byte after them", 48, 1, 1},
  };
  for (const std::uint8_t opcode : {0xA0, 0x3D}) {
    for (const FieldChange& change : changes) {
      SCOPED_TRACE(testing::Message() << std::hex << int(opcode) << ": " << change.what);
      Bytes block = Dac960Command(opcode);
      Apply(block, change);
      ASSERT_EQ(SendDac960(block).error, 0u);
      EXPECT_EQ(LoadLe16(&block[32]), 0x105u);
    }
  }
  Bytes block = Dac960Command(0x3D);
  SendDac960(block);
  EXPECT_EQ(block[60], 0xFF) << "no refused 0xA0 gave the controller a number";
}

}  // namespace
}  // namespace lumbrel::test
