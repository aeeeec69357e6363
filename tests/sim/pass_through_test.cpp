// SCSI_PASS_THROUGH on port and class devices, and the HHBA5100 vendor
// command: what reaches which unit, and how malformed requests fail.
#include "sim/scsi/scsi_world.h"
#include "scsi_sim_fixture.h"

namespace lumbrel::test {
namespace {

class PassThroughTest : public ScsiSimTest {
 protected:
  void SetUp() override {
    Install(R"({"ports":[
      {"driver":"aic78xx","buses":[{"devices":[{"target":3,"vendor":"SEAGATE"},{"target":4,"physicalDrive":1}]},
                                   {"devices":[{"target":5,"vendor":"IBM","physicalDrive":0},
                                               {"target":6,"type":6,"scanner":0}]}]},
      {"driver":"atapi","buses":[{"devices":[{"target":0,"type":5,"cdRom":0},{"target":1}]}]},
      {"driver":"HHBA5100","buses":[{"devices":[{"target":0,"vendor":"MYLEX","physicalDrive":2}]},
                                    {"devices":[{"target":2,"vendor":"FUJITSU"}]}]},
      {"driver":"mraidnt","buses":[{"devices":[{"target":0}]}]},
      {"driver":"aic78xx","present":false,"buses":[{"devices":[{"target":0,"physicalDrive":3}]}]}]})");
  }
  Reply SendIn(const std::string& device, Bytes& block) {
    return Send(device, kPassThrough, block, 44, static_cast<DWORD>(block.size()));
  }
};

TEST_F(PassThroughTest, MalformedBlocksAreRefusedLikeThePortDriver) {
  struct Case {
    FieldChange change;
    DWORD error;
  } cases[] = {
      {{"Length of another structure", 0, 56, 2}, 1306},
      {{"no CDB", 6, 0, 1}, 87},
      {{"CDB longer than 16", 6, 17, 1}, 87},
      {{"unknown direction", 8, 3, 1}, 87},
      {{"no time-out", 16, 0, 4}, 87},
      {{"sense area inside the header", 24, 10, 4}, 87},
      {{"data beyond the output", 12, 4096, 4}, 87},
      {{"sense area running into the data area", 24, 150, 4}, 87},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.change.what);
    Bytes block = PassThrough(0, 3, kInquiry, 1, 240);
    Apply(block, c.change);
    EXPECT_EQ(SendIn("\\\\.\\SCSI0:", block).error, c.error);
  }
  Bytes block = PassThrough(0, 3, kInquiry, 1, 240);
  EXPECT_EQ(Send("\\\\.\\SCSI0:", kPassThrough, block, 40, 400).error, 87u) << "input shorter than the block";
  block = PassThrough(0, 1, {0x12, 0, 0, 0, 0xF0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1, 240);
  EXPECT_EQ(SendIn("\\\\.\\SCSI1:", block).error, 87u) << "IDE takes at most 12 CDB bytes";
  block = PassThrough(0, 3, {0x08, 0, 0, 0, 1, 0}, 0, 512);
  EXPECT_EQ(Send("\\\\.\\SCSI0:", kPassThrough, block, 160 + 512, 160).error, 1117u)
      << "a read sent as output fails in the data phase";
  EXPECT_EQ(Send("\\\\.\\SCSI0:", kPassThrough, block, 160 + 512, 160, 0).error, 5u)
      << "pass-through needs a handle opened for reading and writing";
  EXPECT_EQ(Send("\\\\.\\SCSI0:", kGetAddress, block, 0, 8).error, 1u) << "a port device has no SCSI address";
}

TEST_F(PassThroughTest, PortDeviceReachesOnlyUnclaimedUnits) {
  struct Case {
    const char* device;
    std::uint8_t bus, target, lun;
    DWORD error;
  } cases[] = {
      {"\\\\.\\SCSI0:", 0, 3, 0, 0},  {"\\\\.\\SCSI0:", 0, 7, 0, 87},  {"\\\\.\\SCSI0:", 0, 4, 0, 87},
      {"\\\\.\\SCSI0:", 2, 3, 0, 87}, {"\\\\.\\SCSI0:", 0, 3, 1, 87},  {"\\\\.\\SCSI1:", 0, 0, 0, 87},
      {"\\\\.\\SCSI1:", 0, 1, 0, 0},  {"\\\\.\\SCSI3:", 0, 0, 0, 87},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.device << " " << int(c.bus) << ":" << int(c.target) << ":" << int(c.lun));
    Bytes block = PassThrough(c.bus, c.target, kInquiry, 1, 240);
    block[5] = c.lun;
    EXPECT_EQ(SendIn(c.device, block).error, c.error);
  }
  Bytes block = PassThrough(0, 0, kInquiry, 1, 240);
  EXPECT_EQ(SendIn("\\\\.\\SCSI4:", block).error, 2u) << "a driver that is not loaded has no device";
  EXPECT_EQ(SendIn("\\\\.\\PhysicalDrive3", block).error, 2u);
}

TEST_F(PassThroughTest, ClassDevicesAnswerForTheirOwnUnit) {
  Bytes address(8, 0xEE);
  ASSERT_EQ(Send("\\\\.\\PhysicalDrive0", kGetAddress, address, 0, 8, 0).error, 0u) << "a query needs no access";
  EXPECT_EQ(address, (Bytes{8, 0, 0, 0, 0, 1, 5, 0}));
  EXPECT_EQ(Send("\\\\.\\PhysicalDrive0", kGetAddress, address, 0, 7, 0).error, 122u);
  Send("\\\\.\\Scanner0", kGetAddress, address, 0, 8, 0);
  EXPECT_EQ(address, (Bytes{8, 0, 0, 0, 0, 1, 6, 0}));
  Send("\\\\.\\CdRom0", kGetAddress, address, 0, 8, 0);
  EXPECT_EQ(address, (Bytes{8, 0, 0, 0, 1, 0, 0, 0}));

  Bytes block = PassThrough(0, 3, kInquiry, 1, 240);
  ASSERT_EQ(SendIn("\\\\.\\PhysicalDrive0", block).error, 0u);
  EXPECT_EQ(Text(block, 168, 3), "IBM") << "the class driver sends to its own unit";
  EXPECT_EQ(block[3], 1);
  EXPECT_EQ(block[4], 5) << "and writes its address into the block";
}

}  // namespace
}  // namespace lumbrel::test
