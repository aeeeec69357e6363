// The adapters that open a device per target: the bus scan, the choice of
// device through the SCSI address cache and its refresh rule, the lengths
// and results of SCSI_PASS_THROUGH requests, and the HHBA5100 wrapping.
#include <cstring>

#include "scsi/port_device_adapter.h"
#include "scsi/scsi_fixture.h"

namespace lumbrel::test {
namespace {

const std::uint8_t kInquiry[6] = {0x12, 0, 0, 0, 0xF0, 0};
const std::uint8_t kWrite1Block[6] = {0x0A, 0, 0, 0, 1, 0};

TEST_F(ScsiTest, DeviceHandleOpensWithTheAskedAccessAndKeepsUpTo80Characters) {
  LoadPorts({});
  const std::string longName = "Device" + std::string(80, 'X');
  auto device = AddFakeDevice(longName);
  DeviceHandle handle;
  EXPECT_EQ(handle.Close(), 0u) << "never opened";
  std::uint8_t buffer[8] = {};
  EXPECT_EQ(handle.Control(0x00041018, buffer, 0, 8), 55u);
  EXPECT_TRUE(Calls("DeviceIoControl").empty()) << "nothing is sent on a closed handle";
  EXPECT_EQ(handle.Open("\\\\.\\Nothing", DeviceHandle::kRead), 2u);
  EXPECT_FALSE(handle.IsOpen());
  ASSERT_EQ(handle.Open(("\\\\.\\" + longName).c_str(), DeviceHandle::kRead), 0u);
  EXPECT_EQ(std::string(handle.deviceName, 80), ("\\\\.\\" + longName).substr(0, 80)) << "not terminated";
  const auto open = Calls("CreateFileA").back();
  EXPECT_EQ(open["access"], 0x80000000u);
  EXPECT_EQ(open["share"], 3u);
  EXPECT_EQ(open["disposition"], 3u);
  EXPECT_EQ(handle.Transfer(0x00041018, buffer, 8, DeviceHandle::kReceive), 0u);
  EXPECT_EQ(device->requests.back().inputLength, 0u);
  EXPECT_EQ(device->requests.back().outputLength, 8u);
  EXPECT_EQ(handle.Close(), 0u);
  EXPECT_TRUE(device->requests.size() == 1 && !handle.IsOpen());
}

TEST_F(ScsiTest, ScanCountsDirectAccessTargetsButNotTheAdaptersOwnId) {
  LoadPorts({"aic78xx"}, 2);
  Drives drives{{At(0, 0), 0x00}, {At(0, 2), 0x20}, {At(0, 3), 0x05}, {At(0, 7), 0x00}, {At(1, 15), 0x00}};
  auto port = AddFakeDevice("SCSI0:");
  port->answer = PassThroughDrives(drives);
  ScsiPortAdapter adapter(Setup(0), AddressCache());
  ASSERT_EQ(adapter.Open(), 0u);
  EXPECT_EQ(adapter.buses[0]->presentTargets, 0b101) << "qualifier 1 over a disk counts, a CD-ROM does not";
  EXPECT_EQ(adapter.buses[0]->unitCount, 2u);
  EXPECT_EQ(adapter.buses[1]->presentTargets, 0x8000);
  EXPECT_EQ(port->requests.size(), 30u) << "15 targets per bus: id 7 is the adapter's own";
  EXPECT_EQ(port->opens.size(), 30u) << "every INQUIRY opens the device for itself";
  EXPECT_FALSE(adapter.deviceHandle.IsOpen());
  ASSERT_EQ(adapter.Open(), 0u);
  EXPECT_EQ(port->requests.size(), 30u) << "open already: no rescan";

  // INQUIRY clears exactly its 240 bytes of the data area first.
  std::memset(adapter.GetDataBuffer(0), 0xEE, 241);
  ASSERT_EQ(adapter.InquireTarget(0, 0), 0u);
  EXPECT_EQ(adapter.GetDataBuffer(0)[239], 0);
  EXPECT_EQ(adapter.GetDataBuffer(0)[240], 0xEE);

  std::uint32_t anyNew = 7;
  EXPECT_EQ(adapter.RescanUnits(&anyNew), 0u);
  EXPECT_EQ(anyNew, 0u) << "the same disks are not new";
  drives[At(1, 4)] = 0x00;
  drives.erase(At(0, 0));
  port->answer = PassThroughDrives(drives);
  EXPECT_EQ(adapter.RescanUnits(&anyNew), 0u);
  EXPECT_EQ(anyNew, 1u);
  EXPECT_EQ(adapter.buses[0]->presentTargets, 0b100);
  std::uint16_t newTargets = 0;
  EXPECT_EQ(adapter.buses[1]->ScanBus(&newTargets), 0u);
  EXPECT_EQ(newTargets, 0) << "nothing appeared since the last scan";
  EXPECT_TRUE(adapter.buses[1]->IsTargetPresent(4));
  EXPECT_FALSE(adapter.buses[1]->IsTargetPresent(16));
}

TEST_F(ScsiTest, RequestsGoThroughTheClassDeviceThatOwnsTheAddress) {
  LoadPorts({"aic78xx", "aic78xx", "aic78xx"},
            1, R"(,"faults":[{"call":"CreateFileA","name":"\\\\.\\SCSI1:","error":2},
                            {"call":"CreateFileA","name":"\\\\.\\SCSI0:","error":5}])");
  auto disk = AddClassDevice("PhysicalDrive0", 2, 0, 1);
  auto port = AddFakeDevice("SCSI2:");
  port->answer = PassThroughDrives({{At(0, 5), 0}});
  ScsiPortAdapter adapter(Setup(2), AddressCache());
  EXPECT_EQ(adapter.BeginTarget(0, 1), 0u);
  EXPECT_STREQ(adapter.deviceHandle.deviceName, "\\\\.\\PhysicalDrive0");
  EXPECT_EQ(Calls("CreateFileA").back()["access"], 0xC0000000u);
  EXPECT_EQ(adapter.EndTarget(), 0u);
  EXPECT_EQ(adapter.BeginTarget(0, 5), 0u);
  EXPECT_STREQ(adapter.deviceHandle.deviceName, "\\\\.\\SCSI2:");
  EXPECT_EQ(adapter.ExecuteIn(0, 5, kInquiry, 6), 0u);
  EXPECT_TRUE(adapter.deviceHandle.IsOpen()) << "a command inside BeginTarget/EndTarget keeps the device";
  EXPECT_EQ(adapter.EndTarget(), 0u);
  EXPECT_EQ(adapter.EndTarget(), 0u) << "nothing to close";

  EXPECT_EQ(port->requests.back().inputLength, 44u);
  EXPECT_EQ(port->requests.back().outputLength, 160u + 240);
  ASSERT_NE(adapter.GetDataBuffer(1), nullptr);
  EXPECT_EQ(adapter.ExecuteOut(0, 5, kWrite1Block, 6), 0u);
  EXPECT_EQ(port->requests.back().inputLength, 160u + 512);
  EXPECT_EQ(port->requests.back().outputLength, 160u);
  EXPECT_FALSE(adapter.deviceHandle.IsOpen()) << "a lone command closes the device it opened";

  // The port driver refuses a pass-through with 87: to a disk that a class
  // driver owns that is 4, anywhere else nobody answers.
  disk->answer = [address = disk->answer](sim::ControlRequest& r) { return r.ioctl == 0x00041018 ? address(r) : 87u; };
  EXPECT_EQ(adapter.ExecuteIn(0, 1, kInquiry, 6), 4u);
  EXPECT_EQ(adapter.ExecuteIn(0, 6, kInquiry, 6), 130u);
  EXPECT_EQ(adapter.ExecuteIn(0, 5, kInquiry, 17), 87u) << "a CDB longer than the block's field is not sent";

  ScsiPortAdapter missing(Setup(1), AddressCache()), denied(Setup(0), AddressCache());
  EXPECT_EQ(missing.BeginTarget(0, 0), 130u) << "no device: nobody at that address";
  EXPECT_EQ(denied.ExecuteIn(0, 0, kInquiry, 6), 5u);
  EXPECT_EQ(denied.ExecuteOut(0, 0, kWrite1Block, 6), 5u) << "the buffer exists since the INQUIRY";
  EXPECT_EQ(missing.ExecuteOut(0, 0, kWrite1Block, 6), 8u) << "output before any buffer: nothing is sent";
  EXPECT_EQ(ScsiPortAdapter(Setup(7), AddressCache()).Open(), 1200u) << "no such port";

  const std::size_t sent = Calls("DeviceIoControl").size();
  machine().faults().Add({"allocate", {{"size", std::uint64_t{32768 + 160}}}, 0, 0, 1});
  EXPECT_EQ(ScsiPortAdapter(Setup(2), AddressCache()).ExecuteIn(0, 5, kInquiry, 6), 8u) << "no memory for the buffer";
  EXPECT_EQ(Calls("DeviceIoControl").size(), sent);
}

TEST_F(ScsiTest, OnlyTheHhba5100ClosesItsDeviceWhenItsScanFails) {
  LoadPorts({"aic78xx", "HHBA5100"});
  AddFakeDevice("SCSI0:")->answer = PassThroughDrives({{At(0, 0), 0}});
  AddFakeDevice("SCSI1:")->answer = PassThroughDrives({{At(0, 0), 0}}, true);
  ScsiPortAdapter port(Setup(0), AddressCache());
  Hhba5100Adapter hhba(Setup(1), AddressCache());
  for (ScsiAdapter* adapter : {static_cast<ScsiAdapter*>(&port), static_cast<ScsiAdapter*>(&hhba)}) {
    ASSERT_EQ(adapter->BeginTarget(0, 0), 0u);
    machine().faults().Add({"DeviceIoControl", {}, 55, 0, 1});
    EXPECT_EQ(adapter->Open(), 55u) << "the scan went through the open device and was aborted";
  }
  EXPECT_TRUE(port.deviceHandle.IsOpen());
  EXPECT_FALSE(hhba.deviceHandle.IsOpen());
  EXPECT_EQ(port.EndTarget(), 0u);
}

TEST_F(ScsiTest, AddressCacheEnumeratesAtMostEvery40SecondsAcrossTheTickWrap) {
  LoadPorts({"aic78xx"}, 1, R"(,"clock":{"tickCount":4294957296})");
  AddClassDevice("PhysicalDrive0", 0, 0, 1);
  auto enumerations = [&] {
    std::size_t n = 0;
    for (const std::string& name : Opened()) n += name == "\\\\.\\PhysicalDrive0";
    return n;
  };
  ScsiAddressCache& cache = AddressCache();
  char name[kDeviceNameBufferSize];
  cache.BuildDeviceName(0, 0, 1, name);
  EXPECT_STREQ(name, "\\\\.\\PhysicalDrive0");
  EXPECT_EQ(Calls("CreateFileA").front()["access"], 0u) << "devices are opened for queries only";
  machine().clock().Advance(39999);
  cache.BuildDeviceName(0, 0, 2, name);
  EXPECT_STREQ(name, "\\\\.\\SCSI0:");
  EXPECT_EQ(enumerations(), 1u);
  machine().clock().Advance(1);
  cache.BuildDeviceName(0, 0, 2, name);
  EXPECT_EQ(enumerations(), 2u) << "40000 ms after the last refresh";
}

TEST_F(ScsiTest, AddressCacheStopsAtTheFirstGapAndKeeps24Devices) {
  LoadPorts({"aic78xx"}, 1, R"(,"faults":[{"call":"DeviceIoControl","device":"\\\\.\\Scanner0","error":1}])");
  AddClassDevice("PhysicalDrive0", 0, 1, 2);
  AddClassDevice("PhysicalDrive2", 0, 1, 3);
  AddClassDevice("Scanner0", 0, 1, 4);
  AddClassDevice("Scanner1", 3, 1, 5);
  ScsiAddressCache& cache = AddressCache();
  cache.Refresh();
  ASSERT_EQ(cache.entryCount(), 2u) << "PhysicalDrive2 lies past the gap; Scanner0 cannot be queried";
  EXPECT_EQ(cache.entry(1).nameFormat, 1u);
  EXPECT_EQ(cache.entry(1).deviceNumber, 1u);
  std::uint8_t address[3] = {9, 9, 9};
  EXPECT_TRUE(cache.GetPortAddress(3, address));
  EXPECT_EQ(address[0], 5);
  EXPECT_EQ(address[1], 1);
  EXPECT_EQ(address[2], 3);
  EXPECT_FALSE(cache.GetPortAddress(1, address));
  EXPECT_EQ(address[0] + address[1] + address[2], 5 + 1 + 3) << "a port without class devices leaves it untouched";
  EXPECT_FALSE(cache.Find(0, 1, 3, nullptr));
  std::uint32_t index = 9;
  EXPECT_TRUE(cache.Find(ScsiAddressCache::kAny, 1, ScsiAddressCache::kAny, &index));
  EXPECT_EQ(index, 0u);

  LoadPorts({"aic78xx"});
  for (int n = 0; n < 24; ++n) AddClassDevice("PhysicalDrive" + std::to_string(n), 0, 0, static_cast<std::uint8_t>(n));
  AddClassDevice("Scanner0", 0, 1, 0);
  AddressCache().Refresh();
  EXPECT_EQ(AddressCache().entryCount(), 24u);
  EXPECT_FALSE(AddressCache().Find(0, 1, 0, nullptr)) << "the 25th device is not recorded";
  EXPECT_EQ(Opened().size(), 24u + 2) << "PhysicalDrive0-23, Scanner0 and the missing Scanner1";
}

TEST_F(ScsiTest, Hhba5100WrapsEveryCommandForTheFirstClassDeviceOfItsPort) {
  LoadPorts({"aic78xx", "HHBA5100", "HHBA5100"}, 2);
  AddClassDevice("PhysicalDrive0", 0, 0, 0);
  auto logical = AddClassDevice("PhysicalDrive1", 1, 0, 6);
  logical->answer = [address = logical->answer, serve = PassThroughDrives({{At(0, 7), 0}, {At(1, 2), 0}}, true)](
                        sim::ControlRequest& r) { return r.ioctl == 0x00041018 ? address(r) : serve(r); };
  Hhba5100Adapter adapter(Setup(1), AddressCache());
  ASSERT_EQ(adapter.Open(), 0u);
  EXPECT_EQ(adapter.buses[0]->presentTargets, 1 << 7) << "no id is skipped";
  EXPECT_EQ(adapter.buses[1]->presentTargets, 1 << 2);
  EXPECT_EQ(logical->requests.size(), 1u + 32) << "one address query, 16 targets on each bus";

  const std::uint8_t read10[10] = {0x28, 0, 0, 0, 0x10, 0, 0, 0, 0x08, 0};
  ASSERT_EQ(adapter.ExecuteIn(1, 2, read10, 10), 0u);
  const std::vector<std::uint8_t> sent = logical->requests.back().input;
  EXPECT_EQ(sent[3], 0) << "PathId of the class device";
  EXPECT_EQ(sent[4], 6) << "TargetId of the class device";
  EXPECT_EQ(sent[6], 10);
  EXPECT_EQ(std::vector<std::uint8_t>(sent.begin() + 28, sent.begin() + 38),
            (std::vector<std::uint8_t>{0x21, 0x00, 0x28, 0x12, 0x00, 0x00, 0x10, 0x00, 0x08, 0x00}));
  EXPECT_EQ(LoadLe32(sent.data() + 12), 4096u) << "the caller's CDB decides the data length";
  const std::uint8_t untranslated[6] = {0x5E, 0, 0, 0, 0, 0};
  EXPECT_EQ(adapter.ExecuteIn(1, 2, untranslated, 6), 87u);
  EXPECT_EQ(logical->requests.size(), 1u + 32 + 1) << "nothing was sent";
  EXPECT_FALSE(adapter.deviceHandle.IsOpen());

  // A port without a class device: the port device, with the drive's own address.
  auto port = AddFakeDevice("SCSI2:");
  port->answer = PassThroughDrives({{At(1, 3), 0}}, true);
  Hhba5100Adapter bare(Setup(2), AddressCache());
  ASSERT_EQ(bare.Open(), 0u);
  EXPECT_EQ(port->requests.back().input[3], 1);
  EXPECT_EQ(port->requests.back().input[4], 15);
  EXPECT_EQ(bare.buses[1]->presentTargets, 1 << 3);
}

}  // namespace
}  // namespace lumbrel::test
