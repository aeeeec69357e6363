// The simulated platform's replies at Windows' offsets. Its registry, files,
// clock, cages and fault rules are exercised by every library test that uses them.
#include "platform/host/win32_subset.h"
#include "sim/machine_description.h"
#include "sim/simulator.h"
#include "sim/text_util.h"

#include <gtest/gtest.h>

namespace lumbrel::sim {
namespace {

Machine& Use(const std::string& json) {
  InstallMachine(BuildMachine(ParseMachine(nlohmann::json::parse(json))));
  CurrentMachine().trace().Capture(true);
  return CurrentMachine();
}

// The replies of the volume manager, the registry and the array library, byte
// for byte as Windows and the library lay them out: {offset, bytes} pieces.
TEST(SimLayouts, RepliesHoldTheirFieldsAtWindowsOffsets) {
  Machine& machine = Use(R"({"ports":[{"driver":"qzvscsi","buses":[{"devices":[{"target":1},{"target":2}]}],
    "logicalDrives":[{"number":3,"type":4,"state":2,"sizeBytes":4886718345,"qualifierA":7,"qualifierB":9,
                      "members":[[0,1],[0,2]]}]}],
    "volumes":[{"letter":"C","extents":[1,2],"scsiAddress":[1,2,3]}], "arrayLibrary":{}})");
  using Pieces = std::vector<std::pair<std::size_t, std::string>>;
  const auto expect = [](const std::vector<std::uint8_t>& bytes, const Pieces& pieces, const char* what) {
    for (const auto& [offset, hex] : pieces) {
      ASSERT_LE(offset + hex.size() / 2, bytes.size()) << what;
      EXPECT_EQ(Hex(bytes.data() + offset, hex.size() / 2), hex) << what << " at " << offset;
    }
  };
  const auto control = [](std::uint32_t ioctl, std::size_t size) {
    std::vector<std::uint8_t> out(size, 0xEE);
    HANDLE volume = CreateFileA("\\\\.\\C:", 0, 3, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(volume, ioctl, nullptr, 0, out.data(), static_cast<DWORD>(size), &returned, nullptr));
    CloseHandle(volume);
    out.resize(returned);
    return out;
  };
  expect(control(0x00560000, 392), {{0, "0200000000000000"},
                                    {8, "0100000000000000007E0000000000000000004000000000"},
                                    {32, "0200000000000000007E0000000000000000004000000000"}}, "VOLUME_DISK_EXTENTS");
  expect(control(0x00041018, 8), {{0, "0800000001020300"}}, "SCSI_ADDRESS");

  const RegistryValue* information = machine.registry().localMachine().Find("SYSTEM\\DISK")->Value("Information");
  ASSERT_NE(information, nullptr);
  const std::string partition = "0100000000000000" + std::string(80, '0') + "43" + std::string(22, '0');
  expect(information->data, {{12, "10000000"}, {16, "03000000"}, {20, "0000000000000000"},
                             {28, partition}, {88, partition}}, "SYSTEM\\DISK Information");
  EXPECT_EQ(information->data.size(), 148u);

  SimArrayLibrary& library = machine.arrayLibrary();
  std::uint32_t handle = 0;
  ASSERT_EQ(library.OpenAdapter("\\\\.\\QZV0", &handle), 1u);
  std::vector<std::uint8_t> record(1508, 0xEE);
  std::optional<std::uint32_t> number;
  ASSERT_EQ(library.ContainerInfo(handle, 1, nullptr, record.data(), 1508, &number), 1u);
  expect(record, {{0, "03"}, {28, "04000000"}, {36, "02000000"}, {44, "00000000"}, {64, "01000000"},
                  {72, "8967452301000000"}, {240, "07000000"}, {256, "09000000"}, {264, "02000000"},
                  {484, "0001"}, {516, "0002"}}, "container record");
  std::vector<std::uint8_t> information568(568, 0xEE);
  ASSERT_EQ(library.GeneralInformation(handle, information568.data()), 1u);
  expect(information568, {{279, "0019040103"}, {284, "00"}}, "general information");
  library.CloseAdapter(handle);
}

}  // namespace
}  // namespace lumbrel::sim
