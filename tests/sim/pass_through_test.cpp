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

TEST_F(PassThroughTest, InjectedFaultsSilenceATargetOrAnswerForIt) {
  machine().faults().Add({"scsi", {{"port", 0u}, {"target", 3u}}, 130, 1, 1});
  machine().faults().Add({"scsi", {{"target", 5u}, {"opcode", 0u}}, 2, 0, 1});
  Bytes block = PassThrough(0, 3, kTestUnitReady, 1, 0);
  EXPECT_EQ(SendIn("\\\\.\\SCSI0:", block).error, 0u) << "answers until the fault's skip count is used";
  EXPECT_EQ(SendIn("\\\\.\\SCSI0:", block).error, 121u) << "then does not answer selection";
  EXPECT_EQ(SendIn("\\\\.\\SCSI0:", block).error, 0u) << "for count commands";
  EXPECT_EQ(machine().scsi().Drive(0, 0, 3)->log().unanswered(), 1u);

  block = PassThrough(0, 0, kTestUnitReady, 1, 0);
  ASSERT_EQ(SendIn("\\\\.\\PhysicalDrive0", block).error, 0u);
  EXPECT_EQ(block[2], 2) << "an injected CHECK CONDITION";
  EXPECT_EQ(block[44 + 2], 0x02);
  EXPECT_EQ(block[44 + 13], 0x01) << "becoming ready";
  EXPECT_EQ(SendIn("\\\\.\\PhysicalDrive0", block).error, 0u);
  EXPECT_EQ(block[2], 0);
}

TEST_F(PassThroughTest, HhbaVendorCommandReachesThePhysicalDriveInByteThree) {
  // READ(10) of 8 blocks at 0x1000 to bus 1, target 2, wrapped.
  Bytes block = PassThrough(0, 0, {0x21, 0, 0x28, 0x12, 0, 0, 0x10, 0, 0x08, 0}, 1, 4096);
  ASSERT_EQ(SendIn("\\\\.\\PhysicalDrive2", block).error, 0u);
  EXPECT_EQ(block[2], 0);
  EXPECT_EQ(LoadBe32(&block[160]), 0x1000u);
  const auto received = machine().scsi().Drive(2, 1, 2)->log().Recent();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(Bytes(received[0].cdb.begin(), received[0].cdb.begin() + received[0].cdbLength),
            (Bytes{0x28, 0, 0, 0, 0x10, 0, 0, 0, 0x08, 0}));


  struct Case {
    const char* what;
    Bytes cdb;
    std::uint8_t asc;
  } cases[] = {
      {"no drive there", {0x21, 0, 0x12, 0x13, 0, 0, 0, 0, 0xF0, 0}, 0x25},
      {"operation code without a layout", {0x21, 0, 0xC0, 0x12, 0, 0, 0, 0, 0, 0}, 0x24},
      {"controller request of no known opcode", {0x20, 0, 0x77, 0, 0, 0, 0, 0x14, 0, 0}, 0x24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    block = PassThrough(0, 0, c.cdb, 1, 240);
    ASSERT_EQ(SendIn("\\\\.\\PhysicalDrive2", block).error, 0u);
    EXPECT_EQ(block[2], 2);
    EXPECT_EQ(block[44 + 2], 0x05);
    EXPECT_EQ(block[44 + 12], c.asc);
  }
  block = PassThrough(0, 0, kInquiry, 1, 240);
  ASSERT_EQ(SendIn("\\\\.\\PhysicalDrive2", block).error, 0u);
  EXPECT_EQ(Text(block, 168, 5), "MYLEX") << "other commands go to the class device's own unit";
}

TEST_F(PassThroughTest, HhbaVendorCommandGoesToTheUnitAtItsAddressLikeAnyRequest) {
  const Bytes toBus1Target2 = {0x21, 0, 0x12, 0x12, 0, 0, 0, 0, 0xF0, 0};
  struct Case {
    const char* what;
    std::uint8_t bus, target;
    DWORD error;
  } cases[] = {
      {"the drive itself", 1, 2, 0},
      {"no unit there", 0, 5, 87},
      {"a bus the port does not have", 2, 2, 87},
      {"a unit that a class driver claimed", 0, 0, 87},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes block = PassThrough(c.bus, c.target, toBus1Target2, 1, 240);
    EXPECT_EQ(SendIn("\\\\.\\SCSI2:", block).error, c.error);
  }
  EXPECT_EQ(machine().scsi().Drive(2, 1, 2)->log().total(), 1u) << "only the request with a unit came through";
}

TEST_F(PassThroughTest, TraceShowsTheCommandItsDataAndRefusals) {
  Bytes block = PassThrough(0, 3, kInquiry, 1, 240);
  SendIn("\\\\.\\SCSI0:", block);
  block = PassThrough(0, 7, kInquiry, 1, 240);
  SendIn("\\\\.\\SCSI0:", block);
  const auto calls = Calls("DeviceIoControl");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0]["scsi"]["target"], 3);
  EXPECT_EQ(calls[0]["scsi"]["cdb"], "12000000F000");
  EXPECT_EQ(calls[0]["scsi"]["status"], 0);
  EXPECT_EQ(calls[0]["dataIn"].get<std::string>().size(), 2u * 36);
  EXPECT_EQ(calls[1]["rejected"], "no unit at the address");
  EXPECT_EQ(calls[1]["result"], 87);
}

}  // namespace
}  // namespace lumbrel::test
