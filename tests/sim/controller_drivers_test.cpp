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

TEST_F(ControllerDriversTest, MegaRaidRunsDirectCdbsOnItsDrives) {
  Bytes block = MegaRaid(0, 2, kInquiry, true, 240, 32768);
  ASSERT_EQ(SendMegaRaid(block).error, 0u);
  EXPECT_EQ(block[29], 0) << "command status";
  EXPECT_EQ(block[87], 0) << "SCSI status";
  EXPECT_EQ(Text(block, 96 + 8, 3), "IBM");

  block = MegaRaid(0, 3, kTestUnitReady, true, 0, 32768);
  SendMegaRaid(block);
  EXPECT_EQ(block[29], 2) << "CHECK CONDITION is the command status";
  EXPECT_EQ(block[54 + 2], 0x02) << "automatic request sense";
  block = MegaRaid(0, 3, kTestUnitReady, true, 0, 32768);
  block[36] = 0x00;
  SendMegaRaid(block);
  EXPECT_EQ(block[54], 0) << "without the automatic sense bit the sense stays with the drive";

  const Bytes data(512, 0xC3);
  block = MegaRaid(0, 2, {0x2A, 0, 0, 0, 0, 9, 0, 0, 1, 0}, false, 512, 512);
  std::copy(data.begin(), data.end(), block.begin() + 96);
  ASSERT_EQ(SendMegaRaid(block).error, 0u);
  EXPECT_EQ(block[29], 0);
  std::uint8_t stored[512];
  machine().scsi().Drive(0, 0, 2)->ReadBlock(9, stored);
  EXPECT_EQ(Bytes(stored, stored + 512), data);

  for (std::uint8_t target : {5, 16}) {
    block = MegaRaid(0, target, kInquiry, true, 240, 32768);
    SendMegaRaid(block);
    EXPECT_EQ(block[29], 0xF0) << "no device at target " << int(target);
  }
  machine().faults().Add({"scsi", {{"port", 0u}, {"target", 2u}}, 130, 0, {}});
  block = MegaRaid(0, 2, kInquiry, true, 240, 32768);
  SendMegaRaid(block);
  EXPECT_EQ(block[29], 0xF0) << "a silent drive";
}

TEST_F(ControllerDriversTest, MegaRaidRefusesMalformedRequests) {
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint32_t value;
    std::uint32_t size;
    DWORD error;
    std::uint8_t status;
  } cases[] = {
      {"header length", 0, 32, 4, 1306, 0xAA},
      {"Length beyond the buffer", 24, 68 + 32769, 4, 87, 0xAA},
      {"another signature", 4, 'M', 1, 1, 0xAA},
      {"data address elsewhere", 88, 0, 4, 998, 0xAA},
      {"unknown mailbox command", 28, 9, 1, 0, 0x01},
      {"CDB longer than 10", 52, 11, 1, 0, 0x01},
      {"data beyond the declared Length", 92, 32769, 4, 0, 0x01},
      {"unknown direction", 16, 2, 4, 0, 0x01},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes block = MegaRaid(0, 2, kInquiry, true, 240, 32768);
    if (c.size == 1) block[c.offset] = static_cast<std::uint8_t>(c.value);
    if (c.size == 4) StoreLe32(&block[c.offset], c.value);
    EXPECT_EQ(SendMegaRaid(block).error, c.error);
    EXPECT_EQ(block[29], c.status);
  }
  Bytes block = MegaRaid(0, 2, kInquiry, true, 240, 32768);
  StoreLe32(&block[88], Address(block.data() + 100));
  EXPECT_EQ(SendMegaRaid(block).error, 998u) << "the data address must be the block's data area";
  EXPECT_EQ(Send("\\\\.\\SCSI3:", kMiniport, block, 128, 128).error, 1u) << "a generic port has no miniport requests";
}

TEST_F(ControllerDriversTest, Dac960RunsDirectCdbsAndControllerCommands) {
  Bytes block = Dac960(0x12, kInquiry, true, 240);
  ASSERT_EQ(SendDac960(block).error, 0u);
  EXPECT_EQ(LoadLe16(&block[32]), 0u);
  EXPECT_EQ(block[146], 0) << "SCSI status";
  EXPECT_EQ(Text(block, 148 + 8, 7), "SEAGATE");

  block = Dac960(0x13, kTestUnitReady, true, 0);
  SendDac960(block);
  EXPECT_EQ(LoadLe16(&block[32]), 2u);
  EXPECT_EQ(block[82 + 2], 0x02);

  block = Dac960(0x14, kInquiry, true, 240);
  SendDac960(block);
  EXPECT_EQ(LoadLe16(&block[32]), 14u) << "no device";
  machine().faults().Add({"scsi", {{"port", 2u}}, 130, 0, {}});
  block = Dac960(0x12, kInquiry, true, 240);
  SendDac960(block);
  EXPECT_EQ(LoadLe16(&block[32]), 15u) << "a device that does not answer";

  block = Dac960Command(0xA0);
  block[60] = 1;
  ASSERT_EQ(SendDac960(block).error, 0u);
  EXPECT_EQ(LoadLe16(&block[32]), 0u);
  block = Dac960Command(0x3D);
  ASSERT_EQ(SendDac960(block).error, 0u);
  EXPECT_EQ(block[60], 1) << "the number the host gave";
  EXPECT_EQ(block[61], 2) << "channels";
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

TEST_F(ControllerDriversTest, MakersControllerReachesTheCallersAreasThroughTheAddresses) {
  Bytes block = Srb(0, 1, kInquiry, true, 240);
  ASSERT_EQ(SendSrb("\\\\.\\QZV0", block).error, 0u);
  EXPECT_EQ(block[3], 0x12) << "fewer bytes than asked for: data overrun";
  EXPECT_EQ(block[4], 0);
  EXPECT_EQ(LoadLe32(&block[16]), 36u);
  EXPECT_EQ(Text(block, 96 + 8, 7), "FUJITSU");
  block = Srb(0, 1, kInquiry, true, 240);
  ASSERT_EQ(SendSrb("\\\\.\\QZV1", block).error, 0u);
  EXPECT_EQ(Text(block, 96 + 8, 7), "QUANTUM") << "the second controller in port order";

  block = Srb(0, 1, {0x28, 0, 0, 0, 0, 0, 0, 0, 1, 0}, true, 512);
  SendSrb("\\\\.\\QZV0", block);
  EXPECT_EQ(block[3], 0x01) << "success";
  block = Srb(0, 2, kTestUnitReady, true, 32);
  SendSrb("\\\\.\\QZV0", block);
  EXPECT_EQ(block[4], 2);
  EXPECT_EQ(block[64 + 2], 0x02) << "sense written through SenseInfoBuffer";
  EXPECT_EQ(Calls("DeviceIoControl").back()["sense"].get<std::string>().substr(0, 2), "70");

  struct Case {
    const char* what;
    std::size_t offset;
    std::uint8_t value;
    std::uint8_t status;
  } cases[] = {
      {"no device", 6, 3, 0x0A},       {"no such bus", 5, 1, 0x10}, {"no such target", 6, 16, 0x11},
      {"LUN 1", 7, 1, 0x22},           {"not EXECUTE_SCSI", 2, 1, 0x06}, {"CDB longer than 16", 10, 17, 0x06},
      {"both directions", 12, 0xC8, 0x06},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    block = Srb(0, 1, kInquiry, true, 240);
    block[c.offset] = c.value;
    ASSERT_EQ(SendSrb("\\\\.\\QZV0", block).error, 0u);
    EXPECT_EQ(block[3], c.status);
  }
  block = Srb(0, 1, kInquiry, true, 240);
  StoreLe32(&block[24], Address(block.data() + 64));
  EXPECT_EQ(SendSrb("\\\\.\\QZV0", block).error, 998u) << "DataBuffer must be the block + 96";
  block = Srb(0, 1, kInquiry, true, 240);
  StoreLe32(&block[28], Address(block.data() + 96));
  EXPECT_EQ(SendSrb("\\\\.\\QZV0", block).error, 998u) << "SenseInfoBuffer must be the block + 64";
  block = Srb(0, 1, kInquiry, true, 240);
  StoreLe16(&block[0], 60);
  EXPECT_EQ(SendSrb("\\\\.\\QZV0", block).error, 87u);
  EXPECT_EQ(Send("\\\\.\\QZV0", kQzvSrb, block, 60, 64).error, 87u);
  EXPECT_EQ(Send("\\\\.\\QZV0", kPassThrough, block, 64, 64).error, 1u);
}

}  // namespace
}  // namespace lumbrel::test
