// The controller adapters: one device for the whole controller from Open to
// Close, their request lengths, the DAC960 numbering and probe, and the
// numbering of the maker's controllers; the base adapter's answers.
#include <cstring>

#include "scsi/controller_adapter.h"
#include "scsi/scsi_fixture.h"

namespace lumbrel::test {
namespace {

const std::uint8_t kTestUnitReady[6] = {};
const std::uint8_t kWrite1Block[6] = {0x0A, 0, 0, 0, 1, 0};

TEST_F(ScsiTest, MegaRaidKeepsItsPortDeviceOpenAndAsksForTheWholeDataArea) {
  LoadPorts({"aic78xx", "mraidnt"}, 1, R"(,"faults":[{"call":"CreateFileA","name":"\\\\.\\SCSI0:","error":2}])");
  auto port = AddFakeDevice("SCSI1:");
  port->answer = MegaRaidDrives({{At(0, 0), 0}, {At(0, 3), 0}, {At(0, 7), 0}});
  MegaRaidAdapter adapter(Setup(1));
  EXPECT_EQ(adapter.RescanUnits(nullptr), 55u) << "closed: the scan stops at once";
  std::uint16_t newTargets = 0xABCD;
  EXPECT_EQ(adapter.buses[0]->ScanBus(&newTargets), 55u);
  EXPECT_EQ(newTargets, 0xABCD) << "an aborted scan reports no new targets";
  EXPECT_TRUE(port->requests.empty());
  ASSERT_EQ(adapter.Open(), 0u);
  EXPECT_STREQ(adapter.deviceHandle.deviceName, "\\\\.\\SCSI1:");
  EXPECT_EQ(adapter.buses[0]->presentTargets, 0b1001) << "0xF0 where nobody answers; id 7 is skipped";
  ASSERT_EQ(port->requests.size(), 15u);
  EXPECT_EQ(port->requests[0].inputLength, 96u + 32768);
  EXPECT_EQ(port->requests[0].outputLength, 96u + 32768);
  EXPECT_EQ(adapter.Open(), 0u);
  EXPECT_EQ(port->requests.size(), 15u) << "open already: no rescan";
  EXPECT_EQ(adapter.ExecuteOut(0, 3, kWrite1Block, 6), 0u);
  EXPECT_EQ(port->requests.back().inputLength, 96u + 512);
  EXPECT_EQ(adapter.ExecuteIn(0, 9, kTestUnitReady, 6), 130u);
  SenseView sense;
  ASSERT_EQ(adapter.GetSenseData(&sense), 1u);
  EXPECT_EQ(sense.bytes, adapter.transferBuffer + 54);
  EXPECT_EQ(adapter.Close(), 0u);
  EXPECT_FALSE(adapter.deviceHandle.IsOpen());
  MegaRaidAdapter unreachable(Setup(0));
  EXPECT_EQ(unreachable.Open(), 2u);
  EXPECT_FALSE(unreachable.deviceHandle.IsOpen());
  EXPECT_EQ(unreachable.ExecuteOut(0, 0, kWrite1Block, 6), 8u) << "no buffer yet: 8 before the closed handle's 55";
}

TEST_F(ScsiTest, Dac960ControllersAreNumberedInTheOrderTheyOpen) {
  // The second controller's first INQUIRY (after the two probe commands) fails once with 55.
  LoadPorts({"dac960nt", "dac960nt"}, 1,
            R"(,"faults":[{"call":"DeviceIoControl","device":"\\\\.\\SCSI1:","error":55,"skip":2,"count":1}])");
  auto first = AddFakeDevice("SCSI0:");
  first->answer = Dac960Drives({{At(0, 7), 0}});
  auto second = AddFakeDevice("SCSI1:");
  second->answer = Dac960Drives({});
  Dac960Numbering numbering;
  Dac960Adapter a(Setup(0), numbering), b(Setup(1), numbering);
  EXPECT_EQ(a.maxTransfer, 4096u);
  auto open = [&] { return numbering.Next(); };

  ASSERT_EQ(a.Open(), 0u);
  EXPECT_EQ(a.controllerOrdinal, 0u);
  EXPECT_EQ(open(), 1u);
  const std::size_t requestsOfFirstOpen = first->requests.size();
  ASSERT_EQ(a.Open(), 0u);
  EXPECT_EQ(open(), 1u) << "open already: not numbered again";
  EXPECT_EQ(first->requests.size(), requestsOfFirstOpen) << "open already: no probe, no scan";
  EXPECT_EQ(a.buses[0]->presentTargets, 1 << 7) << "every id is scanned";
  ASSERT_GE(first->requests.size(), 2u + 16);
  EXPECT_EQ(first->requests[0].input[44], 0xA0);
  EXPECT_EQ(first->requests[0].inputLength, 60u + 64);
  EXPECT_EQ(first->requests[1].input[44], 0x3D);
  EXPECT_EQ(first->requests[2].inputLength, 148u + 240);
  EXPECT_EQ(first->requests[2].input[60], 0x00);

  EXPECT_EQ(b.Open(), 55u) << "the scan failed";
  EXPECT_EQ(open(), 1u);
  EXPECT_FALSE(b.deviceHandle.IsOpen());
  EXPECT_EQ(b.Close(), 0u);
  EXPECT_EQ(open(), 1u) << "a controller that never opened gives back no number";
  ASSERT_EQ(b.Open(), 0u);
  EXPECT_EQ(b.controllerOrdinal, 1u);
  EXPECT_EQ(second->requests.back().input[60], 0x0F) << "bus 0, target 15";
  EXPECT_EQ(open(), 2u);
  const std::size_t sent = second->requests.size();
  EXPECT_EQ(second->requests[sent - 16 - 2].input[60], 1) << "the 0xA0 probe carries the number";

  EXPECT_EQ(a.Close(), 0u);
  EXPECT_EQ(open(), 1u);
  ASSERT_EQ(a.Open(), 0u);
  EXPECT_EQ(a.controllerOrdinal, 1u) << "numbers follow the count of open controllers";
  EXPECT_EQ(a.Close(), 0u);
  EXPECT_EQ(b.Close(), 0u);
  EXPECT_EQ(open(), 0u);

  ASSERT_EQ(a.Open(), 0u);
  machine().faults().Add({"CloseHandle", {{"name", std::string("\\\\.\\SCSI0:")}}, 6, 0, 1});
  EXPECT_EQ(a.Close(), 6u);
  EXPECT_EQ(open(), 1u) << "a failed close keeps its controller counted";
  EXPECT_FALSE(a.deviceHandle.IsOpen()) << "the handle is forgotten all the same";
}

TEST_F(ScsiTest, Dac960ProbeAndControllerCommandsKeepToTheirStatus) {
  LoadPorts({"dac960nt"});
  auto port = AddFakeDevice("SCSI0:");
  std::uint16_t commandStatus = 3;
  port->answer = [&commandStatus, drives = Dac960Drives({{At(0, 1), 0}})](sim::ControlRequest& r) -> std::uint32_t {
    if (r.buffer[44] == 0x04) return drives(r);
    StoreLe16(r.buffer + 32, commandStatus);
    r.buffer[60] = 0x5A;
    return 0;
  };
  Dac960Numbering numbering;
  Dac960Adapter adapter(Setup(0), numbering);
  ASSERT_EQ(adapter.Open(), 0u) << "a refused probe does not stop the open";
  ASSERT_GE(port->requests.size(), 2u);
  EXPECT_EQ(port->requests[0].input[44], 0xA0);
  EXPECT_EQ(port->requests[1].input[44], 0x04) << "no 0x3D after a refused 0xA0";

  std::uint8_t block[64] = {1, 2, 3};
  EXPECT_EQ(adapter.ControllerCommand(0x3D, 0, 0, block, sizeof block), 3u);
  EXPECT_EQ(block[0], 1) << "nothing comes back with a nonzero status";
  commandStatus = 0;
  EXPECT_EQ(adapter.ControllerCommand(0x3D, 0, 0, block, sizeof block), 0u);
  EXPECT_EQ(block[0], 0x5A);

  // Output sends the data area as the caller left it; input clears the
  // whole buffer, so no earlier data can pass for the answer.
  std::memset(adapter.GetDataBuffer(1), 0xEE, 4096);
  ASSERT_EQ(adapter.ExecuteOut(0, 1, kWrite1Block, 6), 0u);
  EXPECT_EQ(port->requests.back().input[148 + 511], 0xEE);
  ASSERT_EQ(adapter.ExecuteIn(0, 1, kTestUnitReady, 6), 0u);
  EXPECT_EQ(port->requests.back().inputLength, 148u);
  EXPECT_EQ(adapter.GetDataBuffer(0)[4095], 0);
  EXPECT_EQ(adapter.GetDataBuffer(0)[0], 0);
}

TEST_F(ScsiTest, MakersControllersAreNumberedAmongThePortsOfTheirClass) {
  {
    LoadPorts({"aic78xx", "qzvscsi", "aic78xx", "aic78xx", "qzvscsi"});
    auto q0 = AddFakeDevice("QZV0");
    q0->answer = SrbDrives({{At(0, 1), 0}});
    auto q1 = AddFakeDevice("QZV1");
    q1->answer = SrbDrives({});
    ASSERT_EQ(Adapters().BuildAdapterList(), 0u);
    ScsiAdapter& first = *Adapters().GetAdapter(1);
    ScsiAdapter& second = *Adapters().GetAdapter(4);
    ASSERT_EQ(first.Open(), 0u);
    ASSERT_EQ(second.Open(), 0u);
    EXPECT_STREQ(first.deviceHandle.deviceName, "\\\\.\\QZV0");
    EXPECT_STREQ(second.deviceHandle.deviceName, "\\\\.\\QZV1");
    EXPECT_EQ(first.buses[0]->presentTargets, 1 << 1) << "SRB status 0x0A: nobody there";
    EXPECT_EQ(first.ExecuteIn(0, 1, kTestUnitReady, 6), 0u);
    EXPECT_EQ(LoadLe32(q0->requests.back().input.data() + 16), 32u) << "input asks for at least 32 bytes";
    EXPECT_EQ(q0->requests.back().outputLength, 64u);
    EXPECT_EQ(first.GetDataBuffer(0), first.transferBuffer + 96);
  }
  LoadPorts({"aic78xx", "aic78xx", "aic78xx", "qzvscsi"});
  AddFakeDevice("QZV0")->answer = SrbDrives({});
  ASSERT_EQ(Adapters().BuildAdapterList(), 0u);
  ScsiAdapter& single = *Adapters().GetAdapter(3);
  ASSERT_EQ(single.Open(), 0u);
  EXPECT_STREQ(single.deviceHandle.deviceName, "\\\\.\\QZV0") << "the only one is 0 whatever its port";
}

TEST_F(ScsiTest, BaseAdapterSupportsNothingAndRoundsItsBufferSize) {
  LoadPorts({"aic78xx"}, 3);
  for (auto [given, kept] : {std::pair{0u, 512u}, {1u, 512u}, {512u, 512u}, {49152u, 49152u}, {49153u, 49664u}}) {
    EXPECT_EQ(ScsiAdapter(Setup(0, given)).bufferSize, kept) << given;
  }
  {
    ScsiAdapter base(Setup(0));
    EXPECT_EQ(base.busCount, 3u);
    EXPECT_EQ(base.classCode, 4u);
    SenseView sense;
    EXPECT_EQ(base.GetSenseData(&sense), 0u) << "no command yet, no buffer";
    EXPECT_EQ(base.Open(), 1200u);
    EXPECT_EQ(base.Close(), 1200u);
    EXPECT_EQ(base.BeginTarget(0, 0), 1200u);
    EXPECT_EQ(base.EndTarget(), 0u);
    EXPECT_EQ(base.ExecuteOut(0, 0, kWrite1Block, 6), 1200u);
    EXPECT_EQ(base.GetDataBuffer(0), base.transferBuffer + 160);
    EXPECT_EQ(base.GetSenseData(&sense), 1u);
    EXPECT_EQ(ScsiAdapter(Setup(3)).busCount, 0u) << "no such port: no buses";
  }

  LoadPorts({"aic78xx"}, 4, R"(,"faults":[{"call":"allocate","size":)" + std::to_string(sizeof(ScsiBus)) +
                                R"(,"skip":2}])");
  ScsiAdapter starved(Setup(0));
  EXPECT_EQ(starved.busCount, 2u) << "the buses created before the failure are kept";
  EXPECT_EQ(starved.buses[2], nullptr);
}

}  // namespace
}  // namespace lumbrel::test
