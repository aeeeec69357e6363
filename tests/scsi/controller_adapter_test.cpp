// The controller adapters: one device for the whole controller from Open to
// Close, their requests and sense, the DAC960 numbering, probe and limits,
// the numbering of the maker's controllers; the base adapter's answers.
#include <cstring>

#include "scsi/adapter_list.h"
#include "scsi/controller_adapter.h"
#include "scsi/scsi_fixture.h"

namespace lumbrel::test {
namespace {


// Port 1 is a MegaRAID controller with drives at 0, 3 and the adapter's own
// id 7, whose driver leaves sense data where nobody answers; the device of
// port 0 cannot be opened.
class MegaRaidTest : public ScsiTest {
 protected:
  void SetUp() override {
    LoadPorts({"aic78xx", "mraidnt"}, 1, R"(,"faults":[{"call":"CreateFileA","name":"\\\\.\\SCSI0:","error":2}])");
    port = AddFakeDevice("SCSI1:");
    port->answer = [drives = MegaRaidDrives({{At(0, 0), 0}, {At(0, 3), 0}, {At(0, 7), 0}})](sim::ControlRequest& r) {
      const std::uint32_t result = drives(r);
      if (Get8(r.buffer, megaraid_direct_cdb::kCommandStatus) == megaraid_direct_cdb::kStatusNoDevice) {
        Put8(r.buffer, megaraid_direct_cdb::kSenseArea, 0x70);
        Put8(r.buffer, megaraid_direct_cdb::kRequestSenseLength, 18);
      }
      return result;
    };
    adapter = &Make<MegaRaidAdapter>(Setup(1));
  }
  std::shared_ptr<FakeDriver> port;
  ScsiAdapter* adapter = nullptr;
};

TEST_F(MegaRaidTest, AScanBeforeOpenStopsAtOnce) {
  EXPECT_EQ(adapter->RescanUnits(nullptr), 55u);
  std::uint16_t newTargets = 0xABCD;
  EXPECT_EQ(adapter->buses[0]->ScanBus(&newTargets), 55u);
  EXPECT_EQ(newTargets, 0xABCD) << "an aborted scan reports no new targets";
  EXPECT_TRUE(port->requests.empty());
}

TEST_F(MegaRaidTest, OpenScansThroughThePortDeviceAndKeepsItOpenUntilClose) {
  ASSERT_EQ(adapter->Open(), 0u);
  EXPECT_EQ(Opened().back(), "\\\\.\\SCSI1:");
  EXPECT_EQ(adapter->buses[0]->presentTargets, 0b1001) << "0xF0 where nobody answers; id 7 is skipped";
  EXPECT_EQ(port->requests.size(), 15u);
  ASSERT_EQ(adapter->Open(), 0u);
  EXPECT_EQ(port->requests.size(), 15u) << "open already: no rescan";
  EXPECT_EQ(machine().OpenHandleCount(), 1u);
  EXPECT_EQ(adapter->Close(), 0u);
  EXPECT_EQ(machine().OpenHandleCount(), 0u);
}

TEST_F(MegaRaidTest, InputAsksForTheWholeDataAreaAndOutputSendsOnlyItsData) {
  ASSERT_EQ(adapter->Open(), 0u);
  EXPECT_EQ(port->requests[0].inputLength, 96u + 32768) << "an INQUIRY expects 240 bytes";
  EXPECT_EQ(port->requests[0].outputLength, 96u + 32768);
  EXPECT_EQ(adapter->ExecuteOut(0, 3, kWrite1Block, 6), 0u);
  EXPECT_EQ(port->requests.back().inputLength, 96u + 512);
}

TEST_F(MegaRaidTest, ACommandNobodyAnswersIs130WithTheSenseTheDriverLeft) {
  ASSERT_EQ(adapter->Open(), 0u);
  EXPECT_EQ(adapter->ExecuteIn(0, 9, cdb::TestUnitReady()), 130u);
  SenseView sense;
  ASSERT_EQ(adapter->GetSenseData(&sense), 1u);
  EXPECT_EQ(sense.length, 18u);
  EXPECT_EQ(sense.bytes[0], 0x70);
}

TEST_F(MegaRaidTest, AControllerThatCannotBeOpenedKeepsNothingOpen) {
  MegaRaidAdapter unreachable(Setup(0));
  EXPECT_EQ(unreachable.Open(), 2u);
  EXPECT_EQ(machine().OpenHandleCount(), 0u);
  EXPECT_EQ(unreachable.ExecuteOut(0, 0, kWrite1Block, 6), 8u) << "no buffer yet: 8 before the closed handle's 55";
}

// Two DAC960 controllers sharing one numbering; the first has drives at 1
// and 7 and answers controller commands with `commandStatus`.
class Dac960Test : public ScsiTest {
 protected:
  void SetUp() override {
    LoadPorts({"dac960nt", "dac960nt"});
    first = AddFakeDevice("SCSI0:");
    const auto drives = Dac960Drives({{At(0, 1), 0}, {At(0, 7), 0}});
    first->answer = [this, drives](sim::ControlRequest& r) {
      if (Get8(r.buffer, dac960_direct_cdb::kCommand) == dac960_direct_cdb::kDirectCdb) return drives(r);
      Put16(r.buffer, dac960_controller_command::kControllerStatus, commandStatus);
      r.buffer[dac960_controller_command::kDataOffset] = 0x5A;
      return 0u;
    };
    second = AddFakeDevice("SCSI1:");
    second->answer = Dac960Drives({});
    a = &Make<Dac960Adapter>(Setup(0), numbering);
    b = &Make<Dac960Adapter>(Setup(1), numbering);
  }
  // The number that the controller's last 0xA0 probe carried.
  static int ProbedNumber(const FakeDriver& driver) {
    int number = -1;
    for (const auto& sent : driver.requests) {
      if (Get8(sent.input.data(), dac960_controller_command::kOpcode) == 0xA0) {
        number = sent.input[dac960_controller_command::kDataOffset];
      }
    }
    return number;
  }
  std::uint8_t Opcode(std::size_t request) {
    return Get8(first->requests.at(request).input.data(), dac960_controller_command::kOpcode);
  }

  std::uint16_t commandStatus = 0;
  std::shared_ptr<FakeDriver> first, second;
  Dac960Numbering numbering;
  Dac960Adapter *a = nullptr, *b = nullptr;
};

TEST_F(Dac960Test, ControllersAreNumberedInTheOrderTheyOpen) {
  ASSERT_EQ(a->Open(), 0u);
  EXPECT_EQ(ProbedNumber(*first), 0);
  ASSERT_EQ(b->Open(), 0u);
  EXPECT_EQ(ProbedNumber(*second), 1);
  EXPECT_EQ(numbering.Next(), 2u);
  ASSERT_EQ(a->Close(), 0u);
  ASSERT_EQ(a->Open(), 0u);
  EXPECT_EQ(ProbedNumber(*first), 1) << "numbers follow the count of those open: b has 1 as well";
  EXPECT_EQ(a->Close(), 0u);
  EXPECT_EQ(b->Close(), 0u);
  EXPECT_EQ(numbering.Next(), 0u);
}

TEST_F(Dac960Test, OpenWhileOpenNeitherNumbersNorProbesNorScans) {
  ASSERT_EQ(a->Open(), 0u);
  const std::size_t sent = first->requests.size();
  ASSERT_EQ(a->Open(), 0u);
  EXPECT_EQ(first->requests.size(), sent);
  EXPECT_EQ(numbering.Next(), 1u);
}

TEST_F(Dac960Test, OpenProbesTheControllerThenScansEveryId) {
  ASSERT_EQ(a->Open(), 0u);
  ASSERT_EQ(first->requests.size(), 2u + 16);
  EXPECT_EQ(Opcode(0), 0xA0);
  EXPECT_EQ(first->requests[0].inputLength, 60u + 64);
  EXPECT_EQ(Opcode(1), 0x3D);
  EXPECT_EQ(first->requests[2].inputLength, 148u + 240);
  EXPECT_EQ(Get8(first->requests[2].input.data(), dac960_direct_cdb::kDevice), 0x00);
  EXPECT_EQ(Get8(first->requests.back().input.data(), dac960_direct_cdb::kDevice), 0x0F) << "bus 0, target 15";
  EXPECT_EQ(a->buses[0]->presentTargets, (1 << 1) | (1 << 7)) << "id 7 is scanned too";
}

TEST_F(Dac960Test, AFailedScanLeavesTheCountAsItWasAndNoDeviceOpen) {
  ASSERT_EQ(a->Open(), 0u);
  // The second controller's first INQUIRY, after its two probe commands.
  machine().faults().Add({"DeviceIoControl", {{"device", std::string("\\\\.\\SCSI1:")}}, 55, 2, 1});
  EXPECT_EQ(b->Open(), 55u);
  EXPECT_EQ(numbering.Next(), 1u);
  EXPECT_EQ(machine().OpenHandleCount(), 1u) << "only a's device";
  EXPECT_EQ(b->Close(), 0u);
  EXPECT_EQ(numbering.Next(), 1u) << "a controller that never opened gives back no number";
  ASSERT_EQ(b->Open(), 0u);
  EXPECT_EQ(ProbedNumber(*second), 1);
}

TEST_F(Dac960Test, AFailedCloseKeepsItsControllerCountedButForgetsTheDevice) {
  ASSERT_EQ(a->Open(), 0u);
  machine().faults().Add({"CloseHandle", {{"name", std::string("\\\\.\\SCSI0:")}}, 6, 0, 1});
  EXPECT_EQ(a->Close(), 6u);
  EXPECT_EQ(numbering.Next(), 1u);
  ASSERT_EQ(a->Open(), 0u);
  EXPECT_EQ(Opened().back(), "\\\\.\\SCSI0:") << "opened anew";
}

TEST_F(Dac960Test, ARefusedProbeSkipsItsSecondCommandButNotTheOpen) {
  commandStatus = 3;
  ASSERT_EQ(a->Open(), 0u);
  EXPECT_EQ(Opcode(0), 0xA0);
  EXPECT_EQ(Opcode(1), dac960_direct_cdb::kDirectCdb) << "no 0x3D after a refused 0xA0";
}

TEST_F(Dac960Test, AControllerCommandReturnsItsDataOnlyWithStatusZero) {
  ASSERT_EQ(a->Open(), 0u);
  commandStatus = 3;
  std::uint8_t block[64] = {1, 2, 3};
  EXPECT_EQ(a->ControllerCommand(0x3D, 0, 0, block, sizeof block), 3u);
  EXPECT_EQ(block[0], 1);
  commandStatus = 0;
  EXPECT_EQ(a->ControllerCommand(0x3D, 0, 0, block, sizeof block), 0u);
  EXPECT_EQ(block[0], 0x5A);
}

TEST_F(Dac960Test, InputClearsTheWholeBufferAndOutputSendsTheDataAsLeft) {
  ScsiAdapter& adapter = *a;  // the command interface
  ASSERT_EQ(adapter.Open(), 0u);
  std::memset(adapter.GetDataBuffer(1), 0xEE, 4096);
  ASSERT_EQ(adapter.ExecuteOut(0, 1, kWrite1Block, 6), 0u);
  EXPECT_EQ(first->requests.back().input[dac960_direct_cdb::kDataOffset + 511], 0xEE);
  ASSERT_EQ(adapter.ExecuteIn(0, 1, cdb::TestUnitReady()), 0u);
  EXPECT_EQ(first->requests.back().inputLength, 148u);
  EXPECT_EQ(adapter.GetDataBuffer(0)[0], 0);
  EXPECT_EQ(adapter.GetDataBuffer(0)[4095], 0) << "no earlier data can pass for the answer";
}

TEST_F(Dac960Test, ATransferOfMoreThan4096BytesIsNotSent) {
  ScsiAdapter& adapter = *a;  // the command interface
  ASSERT_EQ(adapter.Open(), 0u);
  EXPECT_EQ(adapter.ExecuteIn(0, 1, cdb::Read6(0, 8)), 0u);
  const std::size_t sent = first->requests.size();
  EXPECT_EQ(adapter.ExecuteIn(0, 1, cdb::Read6(0, 9)), 87u);
  EXPECT_EQ(first->requests.size(), sent);
}

TEST_F(ScsiTest, MakersControllersAreNumberedAmongThePortsOfTheirClass) {
  LoadPorts({"aic78xx", "qzvscsi", "aic78xx", "aic78xx", "qzvscsi"});
  AddFakeDevice("QZV0")->answer = SrbDrives({});
  AddFakeDevice("QZV1")->answer = SrbDrives({});
  ASSERT_EQ(Adapters().BuildAdapterList(), 0u);
  ASSERT_NE(Adapters().OpenAdapter(AdapterClassQzv, 0), nullptr);
  EXPECT_EQ(Opened().back(), "\\\\.\\QZV0");
  ASSERT_NE(Adapters().OpenAdapter(AdapterClassQzv, 1), nullptr);
  EXPECT_EQ(Opened().back(), "\\\\.\\QZV1");

  LoadPorts({"aic78xx", "aic78xx", "aic78xx", "qzvscsi"});
  AddFakeDevice("QZV0")->answer = SrbDrives({});
  ASSERT_EQ(Adapters().BuildAdapterList(), 0u);
  ASSERT_NE(Adapters().OpenAdapter(AdapterClassQzv, 0), nullptr);
  EXPECT_EQ(Opened().back(), "\\\\.\\QZV0") << "the only one is 0 whatever its port";
}

TEST_F(ScsiTest, MakersControllerFindsTheDataThroughTheAddressInItsBlock) {
  LoadPorts({"qzvscsi"});
  auto device = AddFakeDevice("QZV0");
  device->answer = SrbDrives({{At(0, 1), 0x00}, {At(0, 2), 0x05}});
  ASSERT_EQ(Adapters().BuildAdapterList(), 0u);
  ScsiAdapter* adapter = Adapters().OpenAdapter(AdapterClassQzv, 0);
  ASSERT_NE(adapter, nullptr);
  EXPECT_EQ(adapter->buses[0]->presentTargets, 1 << 1) << "SRB status 0x0A: nobody there; 0x05: a CD-ROM";
  EXPECT_EQ(adapter->ExecuteIn(0, 1, cdb::TestUnitReady()), 0u);
  EXPECT_EQ(Get32(device->requests.back().input.data(), scsi_request_block::kDataTransferLength), 32u);
  EXPECT_EQ(device->requests.back().outputLength, 64u) << "data and sense do not travel in the IOCTL buffer";
}

TEST_F(ScsiTest, BaseAdapterRoundsItsBufferSizeUpToWholeBlocks) {
  LoadPorts({"aic78xx"});
  for (auto [given, kept] : {std::pair{0u, 512u}, {1u, 512u}, {512u, 512u}, {49152u, 49152u}, {49153u, 49664u}}) {
    EXPECT_EQ(ScsiAdapter(Setup(0, given)).bufferSize, kept) << given;
  }
}

TEST_F(ScsiTest, BaseAdapterTakesItsPortsEntryAndSupportsNothing) {
  LoadPorts({"aic78xx"}, 3);
  ScsiAdapter base(Setup(0));
  EXPECT_EQ(base.busCount, 3u);
  EXPECT_EQ(base.classCode, 4u);
  SenseView sense;
  EXPECT_EQ(base.GetSenseData(&sense), 0u) << "no command yet, no buffer";
  EXPECT_EQ(base.Open(), 1200u);
  EXPECT_EQ(base.Close(), 1200u);
  EXPECT_EQ(base.BeginTarget(0, 0), 1200u) << "its INQUIRY is not supported";
  EXPECT_EQ(base.EndTarget(), 0u);
  EXPECT_EQ(base.ExecuteOut(0, 0, kWrite1Block, 6), 1200u);
  EXPECT_EQ(base.GetDataBuffer(0), base.transferBuffer + 160);
  EXPECT_EQ(base.GetSenseData(&sense), 1u);
  EXPECT_TRUE(Calls("DeviceIoControl").empty());
  EXPECT_EQ(ScsiAdapter(Setup(3)).busCount, 0u) << "no such port: no buses";
}

TEST_F(ScsiTest, AnAdapterKeepsTheBusesCreatedBeforeMemoryRanOut) {
  LoadPorts({"aic78xx"}, 4, R"(,"faults":[{"call":"allocate","size":)" + std::to_string(sizeof(ScsiBus)) +
                                R"(,"skip":2}])");
  ScsiAdapter starved(Setup(0));
  EXPECT_EQ(starved.busCount, 2u);
  EXPECT_EQ(starved.buses[2], nullptr);
}

}  // namespace
}  // namespace lumbrel::test
