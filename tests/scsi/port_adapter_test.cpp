// The adapters that open a device per target: the device handle, the bus
// scan, the choice of device through the SCSI address cache and its refresh
// rule, the target session, and the HHBA5100 wrapping.
#include <algorithm>
#include <cstring>

#include "scsi/hhba5100_wrap.h"
#include "scsi/port_device_adapter.h"
#include "scsi/scsi_fixture.h"

namespace lumbrel::test {
namespace {


std::size_t Count(const std::vector<std::string>& names, const std::string& name) {
  return static_cast<std::size_t>(std::count(names.begin(), names.end(), name));
}

TEST_F(ScsiTest, AClosedDeviceHandleClosesCleanlyAndSendsNothing) {
  LoadPorts({});
  DeviceHandle handle;
  EXPECT_EQ(handle.Close(), 0u) << "never opened";
  std::uint8_t buffer[8] = {};
  EXPECT_EQ(handle.Control(kIoctlScsiGetAddress, buffer, 0, 8), 55u);
  EXPECT_TRUE(Calls("DeviceIoControl").empty());
  EXPECT_EQ(handle.Open("\\\\.\\Nothing", DeviceHandle::kRead), 2u);
  EXPECT_FALSE(handle.IsOpen()) << "a failed open leaves it closed";
}

TEST_F(ScsiTest, DeviceHandleOpensWithTheAskedAccessAndKeepsUpTo80Characters) {
  LoadPorts({});
  const std::string name = "\\\\.\\Device" + std::string(80, 'X');
  auto device = AddFakeDevice(name.substr(4));
  DeviceHandle handle;
  ASSERT_EQ(handle.Open(name.c_str(), DeviceHandle::kRead), 0u);
  EXPECT_EQ(std::string(handle.deviceName, 80), name.substr(0, 80)) << "not terminated";
  const auto open = Calls("CreateFileA").back();
  EXPECT_EQ(open["access"], 0x80000000u);
  EXPECT_EQ(open["share"], 3u);
  EXPECT_EQ(open["disposition"], 3u);
  std::uint8_t buffer[8] = {};
  EXPECT_EQ(handle.Transfer(kIoctlScsiGetAddress, buffer, 8, DeviceHandle::kReceive), 0u);
  EXPECT_EQ(device->requests.back().inputLength, 0u);
  EXPECT_EQ(device->requests.back().outputLength, 8u);
  EXPECT_EQ(handle.Close(), 0u);
  EXPECT_EQ(machine().OpenHandleCount(), 0u);
}

// One port of two buses: disks at 0:0 and 1:15, qualifier 1 over a disk at
// 0:2, a CD-ROM at 0:3, and a disk at the adapter's own id 0:7.
class PortScanTest : public ScsiTest {
 protected:
  void SetUp() override {
    LoadPorts({"aic78xx"}, 2);
    port = AddFakeDevice("SCSI0:");
    port->answer = PassThroughDrives(drives);
    adapter = &Make<ScsiPortAdapter>(Setup(0), AddressCache());
  }
  Drives drives{{At(0, 0), 0x00}, {At(0, 2), 0x20}, {At(0, 3), 0x05}, {At(0, 7), 0x00}, {At(1, 15), 0x00}};
  std::shared_ptr<FakeDriver> port;
  ScsiAdapter* adapter = nullptr;
};

TEST_F(PortScanTest, CountsDirectAccessTargetsWhateverTheirQualifier) {
  ASSERT_EQ(adapter->Open(), 0u);
  EXPECT_EQ(adapter->buses[0]->presentTargets, 0b101) << "qualifier 1 over a disk counts, a CD-ROM does not";
  EXPECT_EQ(adapter->buses[0]->unitCount, 2u);
  EXPECT_EQ(adapter->buses[1]->presentTargets, 0x8000);
}

TEST_F(PortScanTest, SkipsTheAdaptersOwnIdAndClosesTheDeviceAfterEachInquiry) {
  ASSERT_EQ(adapter->Open(), 0u);
  EXPECT_EQ(port->requests.size(), 30u) << "15 targets per bus: id 7 is the adapter's own";
  EXPECT_EQ(port->opens.size(), 30u);
  EXPECT_EQ(Count(Closed(), "\\\\.\\SCSI0:"), 30u);
  EXPECT_EQ(machine().OpenHandleCount(), 0u);
  ASSERT_EQ(adapter->Open(), 0u);
  EXPECT_EQ(port->requests.size(), 30u) << "open already: no rescan";
}

TEST_F(PortScanTest, InquiryClearsExactlyItsDataLengthFirst) {
  std::memset(adapter->GetDataBuffer(1), 0xEE, 241);
  ASSERT_EQ(adapter->InquireTarget(0, 0), 0u);
  EXPECT_EQ(adapter->GetDataBuffer(0)[239], 0);
  EXPECT_EQ(adapter->GetDataBuffer(0)[240], 0xEE);
}

TEST_F(PortScanTest, RescanReportsOnlyTheTargetsThatAppearedSinceTheLastScan) {
  ASSERT_EQ(adapter->Open(), 0u);
  std::uint32_t anyNew = 7;
  EXPECT_EQ(adapter->RescanUnits(&anyNew), 0u);
  EXPECT_EQ(anyNew, 0u) << "the same disks are not new";
  drives[At(1, 4)] = 0x00;
  drives.erase(At(0, 0));
  port->answer = PassThroughDrives(drives);
  EXPECT_EQ(adapter->RescanUnits(&anyNew), 0u);
  EXPECT_EQ(anyNew, 1u);
  EXPECT_EQ(adapter->buses[0]->presentTargets, 0b100) << "a disk that went is gone";
  std::uint16_t newTargets = 0xFFFF;
  EXPECT_EQ(adapter->buses[1]->ScanBus(&newTargets), 0u);
  EXPECT_EQ(newTargets, 0) << "nothing appeared since the last scan";
  EXPECT_TRUE(adapter->buses[1]->IsTargetPresent(4));
  EXPECT_FALSE(adapter->buses[1]->IsTargetPresent(16));
}

// Port 2 has disk 0 of the disk class driver at path 0, target 1, which
// refuses pass-through requests; a drive at target 5 answers through the
// port device. The port devices of ports 1 and 0 are missing and denied.
class PortRoutingTest : public ScsiTest {
 protected:
  void SetUp() override {
    LoadPorts({"aic78xx", "aic78xx", "aic78xx"}, 1,
              R"(,"faults":[{"call":"CreateFileA","name":"\\\\.\\SCSI1:","error":2},
                            {"call":"CreateFileA","name":"\\\\.\\SCSI0:","error":5}])");
    AddClassDevice("PhysicalDrive0", 2, 0, 1, [](sim::ControlRequest&) { return 87u; });
    port = AddFakeDevice("SCSI2:");
    port->answer = PassThroughDrives({{At(0, 5), 0}});
    adapter = &Make<ScsiPortAdapter>(Setup(2), AddressCache());
  }
  std::shared_ptr<FakeDriver> port;
  ScsiAdapter* adapter = nullptr;
};

TEST_F(PortRoutingTest, BeginTargetOpensTheClassDeviceThatOwnsTheAddressElseThePortDevice) {
  for (auto [target, device] : {std::pair{1u, "\\\\.\\PhysicalDrive0"}, {5u, "\\\\.\\SCSI2:"}}) {
    EXPECT_EQ(adapter->BeginTarget(0, target), 0u);
    EXPECT_EQ(Opened().back(), device);
    EXPECT_EQ(Calls("CreateFileA").back()["access"], 0xC0000000u) << "for reading and writing";
    EXPECT_EQ(adapter->EndTarget(), 0u);
    EXPECT_EQ(machine().OpenHandleCount(), 0u);
  }
  EXPECT_EQ(adapter->EndTarget(), 0u) << "nothing to close";
}

TEST_F(PortRoutingTest, CommandsInsideATargetSessionShareItsDevice) {
  {
    TargetSession session(*adapter, 0, 5);
    ASSERT_EQ(session.result(), 0u);
    EXPECT_EQ(adapter->ExecuteIn(0, 5, cdb::Inquiry()), 0u);
    EXPECT_EQ(adapter->ExecuteIn(0, 5, cdb::TestUnitReady()), 0u);
    EXPECT_EQ(machine().OpenHandleCount(), 1u);
  }
  EXPECT_EQ(Count(Opened(), "\\\\.\\SCSI2:"), 1u);
  EXPECT_EQ(Count(Closed(), "\\\\.\\SCSI2:"), 1u) << "closed when the session ends";
}

TEST_F(PortRoutingTest, TargetSessionClosesTheDeviceOnAnEarlyReturn) {
  auto firstFailure = [&]() -> std::uint32_t {
    TargetSession session(*adapter, 0, 1);
    if (session.result() != 0) return session.result();
    for (int i = 0; i < 3; ++i) {
      if (const std::uint32_t result = adapter->ExecuteIn(0, 1, cdb::Inquiry())) return result;
    }
    return 0;
  };
  EXPECT_EQ(firstFailure(), 4u);
  EXPECT_EQ(Closed().back(), "\\\\.\\PhysicalDrive0");
  EXPECT_EQ(machine().OpenHandleCount(), 0u);
}

TEST_F(PortRoutingTest, ARefusedPassThroughIs4ForAClaimedDiskAnd130Elsewhere) {
  EXPECT_EQ(adapter->ExecuteIn(0, 1, cdb::Inquiry()), 4u);
  EXPECT_EQ(adapter->ExecuteIn(0, 6, cdb::Inquiry()), 130u);
}

TEST_F(PortRoutingTest, ACdbLongerThanTheBlocksFieldIsNotSent) {
  const std::uint8_t tooLong[17] = {scsi_op::kInquiry};
  EXPECT_EQ(adapter->ExecuteIn(0, 5, tooLong, 17), 87u);
  EXPECT_TRUE(port->requests.empty());
}

TEST_F(PortRoutingTest, FailuresToReachADeviceAreReportedAsTheyHappen) {
  ScsiPortAdapter missing(Setup(1), AddressCache()), denied(Setup(0), AddressCache());
  EXPECT_EQ(missing.BeginTarget(0, 0), 130u) << "no device: nobody at that address";
  EXPECT_EQ(denied.InquireTarget(0, 0), 5u);
  EXPECT_EQ(denied.ExecuteOut(0, 0, kWrite1Block, 6), 5u) << "the buffer exists since the INQUIRY";
  const std::size_t opens = Opened().size();
  EXPECT_EQ(missing.ExecuteOut(0, 0, kWrite1Block, 6), 8u) << "output before any buffer";
  EXPECT_EQ(Opened().size(), opens) << "nothing is opened or sent";
  EXPECT_EQ(ScsiPortAdapter(Setup(7), AddressCache()).Open(), 1200u) << "no such port";
}

TEST_F(PortRoutingTest, AnAdapterWithoutMemoryForItsBufferSendsNothing) {
  machine().faults().Add({"allocate", {{"size", std::uint64_t{32768 + 160}}}, 0, 0, 1});
  const std::size_t opens = Opened().size();
  EXPECT_EQ(adapter->ExecuteIn(0, 5, cdb::Inquiry()), 8u);
  EXPECT_EQ(Opened().size(), opens);
  EXPECT_TRUE(port->requests.empty());
}

// Records the target calls and answers BeginTarget with `begun`.
struct TargetCalls : ScsiAdapter {
  TargetCalls(const AdapterSetup& setup, std::uint32_t result) : ScsiAdapter(setup), begun(result) {}
  std::uint32_t BeginTarget(std::uint32_t bus, std::uint32_t target) override {
    calls.push_back("begin " + std::to_string(bus) + ":" + std::to_string(target));
    return begun;
  }
  std::uint32_t EndTarget() override {
    calls.push_back("end");
    return 0;
  }
  std::uint32_t begun;
  std::vector<std::string> calls;
};

TEST_F(ScsiTest, TargetSessionEndsTheTargetWhetherBeginTargetSucceededOrNot) {
  LoadPorts({"aic78xx"});
  for (std::uint32_t begun : {0u, 130u}) {
    TargetCalls adapter(Setup(0), begun);
    {
      TargetSession session(adapter, 1, 2);
      EXPECT_EQ(session.result(), begun);
      EXPECT_EQ(adapter.calls, std::vector<std::string>{"begin 1:2"});
    }
    EXPECT_EQ(adapter.calls, (std::vector<std::string>{"begin 1:2", "end"})) << begun;
  }
}

TEST_F(ScsiTest, AFailedScanClosesTheDeviceOnlyForTheHhba5100) {
  LoadPorts({"aic78xx", "HHBA5100"});
  AddFakeDevice("SCSI0:")->answer = PassThroughDrives({{At(0, 0), 0}});
  AddFakeDevice("SCSI1:")->answer = PassThroughDrives({{At(0, 0), 0}}, true);
  ScsiPortAdapter port(Setup(0), AddressCache());
  Hhba5100Adapter hhba(Setup(1), AddressCache());
  ASSERT_EQ(port.BeginTarget(0, 0), 0u);
  machine().faults().Add({"DeviceIoControl", {}, 55, 0, 1});
  EXPECT_EQ(port.Open(), 55u) << "the scan went through the open device and was aborted";
  EXPECT_EQ(machine().OpenHandleCount(), 1u) << "the port adapter keeps its target's device";
  EXPECT_EQ(port.EndTarget(), 0u);
  ASSERT_EQ(hhba.BeginTarget(0, 0), 0u);
  machine().faults().Add({"DeviceIoControl", {}, 55, 0, 1});
  EXPECT_EQ(hhba.Open(), 55u);
  EXPECT_EQ(machine().OpenHandleCount(), 0u);
  EXPECT_EQ(Closed().back(), "\\\\.\\SCSI1:");
}

TEST_F(ScsiTest, AddressCacheEnumeratesAtMostEvery40SecondsAcrossTheTickWrap) {
  LoadPorts({"aic78xx"}, 1, R"(,"clock":{"tickCount":4294957296})");
  AddClassDevice("PhysicalDrive0", 0, 0, 1);
  ScsiAddressCache& cache = AddressCache();
  char name[kDeviceNameBufferSize];
  cache.BuildDeviceName(0, 0, 1, name);
  EXPECT_STREQ(name, "\\\\.\\PhysicalDrive0");
  EXPECT_EQ(Calls("CreateFileA").front()["access"], 0u) << "devices are opened for queries only";
  machine().clock().Advance(39999);
  cache.BuildDeviceName(0, 0, 2, name);
  EXPECT_STREQ(name, "\\\\.\\SCSI0:");
  EXPECT_EQ(Count(Opened(), "\\\\.\\PhysicalDrive0"), 1u);
  machine().clock().Advance(1);
  cache.BuildDeviceName(0, 0, 2, name);
  EXPECT_EQ(Count(Opened(), "\\\\.\\PhysicalDrive0"), 2u) << "40000 ms after the last refresh";
}

TEST_F(ScsiTest, AddressCacheEndsAFormatAtTheFirstDeviceThatCannotBeOpened) {
  LoadPorts({"aic78xx"}, 1, R"(,"faults":[{"call":"DeviceIoControl","device":"\\\\.\\Scanner0","error":1}])");
  AddClassDevice("PhysicalDrive0", 0, 1, 2);
  AddClassDevice("PhysicalDrive2", 0, 1, 3);
  AddClassDevice("Scanner0", 0, 1, 4);
  AddClassDevice("Scanner1", 3, 1, 5);
  ScsiAddressCache& cache = AddressCache();
  cache.Refresh();
  EXPECT_TRUE(cache.Find(0, 1, 2, nullptr));
  EXPECT_FALSE(cache.Find(0, 1, 3, nullptr)) << "PhysicalDrive2 lies past the gap";
  EXPECT_FALSE(cache.Find(0, 1, 4, nullptr)) << "Scanner0 cannot be queried";
  char name[kDeviceNameBufferSize];
  cache.BuildDeviceName(3, 1, 5, name);
  EXPECT_STREQ(name, "\\\\.\\Scanner1") << "a failed query does not end its format";
}

TEST_F(ScsiTest, AddressCacheGivesTheAddressOfAPortsFirstClassDevice) {
  LoadPorts({"aic78xx"});
  AddClassDevice("PhysicalDrive0", 0, 1, 2);
  AddClassDevice("PhysicalDrive1", 3, 1, 5);
  AddressCache().Refresh();
  std::uint8_t address[3] = {9, 9, 9};
  EXPECT_TRUE(AddressCache().GetPortAddress(3, address));
  EXPECT_EQ(std::vector<std::uint8_t>(address, address + 3), (std::vector<std::uint8_t>{5, 1, 3}));
  EXPECT_FALSE(AddressCache().GetPortAddress(1, address)) << "a port without class devices leaves it untouched";
  EXPECT_EQ(std::vector<std::uint8_t>(address, address + 3), (std::vector<std::uint8_t>{5, 1, 3}));
  std::uint32_t index = 9;
  EXPECT_TRUE(AddressCache().Find(ScsiAddressCache::kAny, 1, ScsiAddressCache::kAny, &index));
  EXPECT_EQ(index, 0u);
}

TEST_F(ScsiTest, AddressCacheRecordsAtMost24Devices) {
  LoadPorts({"aic78xx"});
  for (int n = 0; n < 24; ++n) AddClassDevice("PhysicalDrive" + std::to_string(n), 0, 0, static_cast<std::uint8_t>(n));
  AddClassDevice("Scanner0", 0, 1, 0);
  AddressCache().Refresh();
  EXPECT_TRUE(AddressCache().Find(0, 0, 23, nullptr));
  EXPECT_FALSE(AddressCache().Find(0, 1, 0, nullptr)) << "the 25th device is not recorded";
  EXPECT_EQ(Opened().size(), 24u + 2) << "PhysicalDrive0-23, Scanner0 and the missing Scanner1";
}

// Port 1 is an HHBA5100 whose first class device, PhysicalDrive1 at path 0,
// target 6, serves the drives 0:7 and 1:2 in wrapped CDBs.
class Hhba5100Test : public ScsiTest {
 protected:
  void SetUp() override {
    LoadPorts({"aic78xx", "HHBA5100", "HHBA5100"}, 2);
    AddClassDevice("PhysicalDrive0", 0, 0, 0);
    logical = AddClassDevice("PhysicalDrive1", 1, 0, 6, PassThroughDrives({{At(0, 7), 0}, {At(1, 2), 0}}, true));
    adapter = &Make<Hhba5100Adapter>(Setup(1), AddressCache());
  }
  std::shared_ptr<FakeDriver> logical;
  Hhba5100Adapter* adapter = nullptr;
};

TEST_F(Hhba5100Test, ScansEveryIdThroughThePortsFirstClassDevice) {
  ASSERT_EQ(adapter->Open(), 0u);
  EXPECT_EQ(adapter->buses[0]->presentTargets, 1 << 7) << "no id is skipped";
  EXPECT_EQ(adapter->buses[1]->presentTargets, 1 << 2);
  EXPECT_EQ(logical->requests.size(), 1u + 32) << "one address query, 16 targets on each bus";
}

TEST_F(Hhba5100Test, SendsTheWrappedCdbAddressedToTheClassDevice) {
  ASSERT_EQ(adapter->ExecuteIn(1, 2, kRead10, 10), 0u);
  const std::uint8_t* sent = logical->requests.back().input.data();
  EXPECT_EQ(Get8(sent, scsi_pass_through::kPathId), 0);
  EXPECT_EQ(Get8(sent, scsi_pass_through::kTargetId), 6);
  EXPECT_EQ(Get8(sent, scsi_pass_through::kCdbLength), kWrappedCdbLength);
  std::uint8_t wrapped[kWrappedCdbLength];
  ASSERT_TRUE(WrapCdb(kRead10, 10, wrapped, 1, 2));
  EXPECT_EQ(std::memcmp(sent + scsi_pass_through::kCdb.offset, wrapped, kWrappedCdbLength), 0);
  EXPECT_EQ(Get32(sent, scsi_pass_through::kDataTransferLength), 4096u) << "the caller's CDB decides the data length";
  EXPECT_EQ(machine().OpenHandleCount(), 0u);
}

TEST_F(Hhba5100Test, RefusesAnUntranslatedOperationCodeWithoutSendingIt) {
  ASSERT_EQ(adapter->Open(), 0u);
  const std::size_t sent = logical->requests.size();
  const std::uint8_t untranslated[6] = {0x5E, 0, 0, 0, 0, 0};
  EXPECT_EQ(adapter->ExecuteIn(1, 2, untranslated, 6), 87u);
  EXPECT_EQ(logical->requests.size(), sent);
}

TEST_F(Hhba5100Test, WithoutAClassDeviceGoesThroughThePortDeviceWithTheDrivesAddress) {
  auto port = AddFakeDevice("SCSI2:");
  port->answer = PassThroughDrives({{At(1, 3), 0}}, true);
  Hhba5100Adapter bare(Setup(2), AddressCache());
  ASSERT_EQ(bare.Open(), 0u);
  EXPECT_EQ(Get8(port->requests.back().input.data(), scsi_pass_through::kPathId), 1);
  EXPECT_EQ(Get8(port->requests.back().input.data(), scsi_pass_through::kTargetId), 15);
  EXPECT_EQ(bare.buses[1]->presentTargets, 1 << 3);
}

}  // namespace
}  // namespace lumbrel::test
