// The simulated platform's own contract: the Win32 semantics that the
// library relies on, the cage expanders and fault rules.
#include "platform/host/win32_subset.h"
#include "platform/i2c_library.h"
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

TEST(SimRegistry, FollowsWindowsSemantics) {
  Machine& machine = Use(R"({"ports":[{"driver":"aic78xx","buses":[{}],"service":{"imagePath":"x.sys"}}]})");
  HKEY port = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "hardware\\devicemap\\SCSI\\scsi port 0", 0, KEY_READ, &port), 0);
  HKEY bus = nullptr;
  EXPECT_EQ(RegOpenKeyExA(port, "Scsi Bus 0", 0, KEY_READ, &bus), 0) << "relative to an open key";
  EXPECT_EQ(RegOpenKeyExA(port, "Scsi Bus 1", 0, KEY_READ, &bus), ERROR_FILE_NOT_FOUND);

  char data[16];
  DWORD size = 0;
  DWORD type = 0;
  EXPECT_EQ(RegQueryValueExA(port, "DRIVER", nullptr, &type, nullptr, &size), 0) << "a size query";
  EXPECT_EQ(size, 8u) << "REG_SZ sizes count the terminator";
  EXPECT_EQ(type, REG_SZ);
  size = 7;
  EXPECT_EQ(RegQueryValueExA(port, "Driver", nullptr, nullptr, reinterpret_cast<LPBYTE>(data), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 8u);
  size = sizeof data;
  EXPECT_EQ(RegQueryValueExA(port, "Driver", nullptr, nullptr, reinterpret_cast<LPBYTE>(data), &size), 0);
  EXPECT_STREQ(data, "aic78xx");
  EXPECT_EQ(RegQueryValueExA(port, "Missing", nullptr, nullptr, reinterpret_cast<LPBYTE>(data), &size),
            ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(machine.OpenKeyCount(), 2u);
  EXPECT_EQ(RegCloseKey(bus), 0);
  EXPECT_EQ(RegCloseKey(port), 0);
  EXPECT_EQ(RegCloseKey(port), ERROR_INVALID_HANDLE) << "a key closed twice";
  EXPECT_EQ(machine.OpenKeyCount(), 0u);
}

TEST(SimFiles, OpenCreateReadWriteAndDelete) {
  Machine& machine = Use(R"({"files":[{"path":"C:\\data.bin","hex":"00 01 02 03"},
                                      {"path":"C:\\ro.txt","text":"x","readOnly":true}]})");
  HANDLE file = CreateFileA("c:\\DATA.BIN", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  std::uint8_t buffer[8];
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(file, buffer, sizeof buffer, &read, nullptr));
  EXPECT_EQ(read, 4u);
  EXPECT_EQ(buffer[3], 3);
  EXPECT_FALSE(WriteFile(file, buffer, 1, &read, nullptr)) << "opened for reading only";
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  file = CreateFileA("C:\\data.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS) << "OPEN_ALWAYS on a file that exists says so";
  CloseHandle(file);
  file = CreateFileA("C:\\new.dat", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  EXPECT_EQ(GetLastError(), 0u);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, "abc", 3, &written, nullptr));
  CloseHandle(file);
  EXPECT_EQ(machine.files().Find("C:\\NEW.DAT")->data.size(), 3u);
  EXPECT_TRUE(DeleteFileA("C:\\new.dat"));
  EXPECT_FALSE(DeleteFileA("C:\\new.dat"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(CreateFileA("C:\\ro.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(CreateFileA("C:\\none", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(machine.OpenHandleCount(), 0u);
}

TEST(SimSystem, DirectoriesEnvironmentAndClock) {
  Use(R"({"windowsDirectory":"D:\\WINNT","clock":{"tickCount":4294967000,"calendarTime":1000}})");
  char text[32];
  EXPECT_EQ(GetWindowsDirectoryA(text, sizeof text), 8u);
  EXPECT_STREQ(text, "D:\\WINNT");
  EXPECT_EQ(GetWindowsDirectoryA(text, 8), 9u) << "too small: the size needed, terminator included";
  EXPECT_EQ(GetSystemDirectoryA(text, sizeof text), 17u);
  EXPECT_STREQ(text, "D:\\WINNT\\System32");
  EXPECT_EQ(ExpandEnvironmentStringsA("%SystemRoot%\\x %nope%", text, sizeof text), 18u);
  EXPECT_STREQ(text, "D:\\WINNT\\x %nope%") << "unknown variables stay as they are";

  EXPECT_EQ(GetTickCount(), 4294967000u);
  Sleep(1000);
  EXPECT_EQ(GetTickCount(), 704u) << "the tick count wraps at 32 bits";
  EXPECT_EQ(CurrentMachine().clock().CalendarTime(), 1001u);
}

TEST(SimCages, ExpandersAreQuasiBidirectional) {
  CageWiring wiring;
  wiring.position = 2;
  wiring.strap4 = true;
  wiring.bit7 = true;
  wiring.occupied = {true, false, false};
  CageBoard cage(wiring);
  EXPECT_EQ(cage.portAAddress(), 0x3D);
  EXPECT_EQ(cage.portBAddress(), 0x25);
  EXPECT_EQ(cage.ReadB(), 0xDB) << "bit 7, bit 6, strap 4, bit 3 and the empty bays 2 and 3 read high";
  cage.WriteB(0x0F);
  EXPECT_EQ(cage.ReadB(), 0x0B) << "a low latch pulls its line low; the occupied bay stays low";
  cage.WriteA(0xFA);
  EXPECT_EQ(cage.ReadA(), 0xFA);
  EXPECT_TRUE(cage.PowerLedFlashing(1));
  EXPECT_FALSE(cage.PowerLedFlashing(2));
  EXPECT_TRUE(cage.PowerLedFlashing(3));
}

TEST(SimCages, I2cLibraryNeedsAnOpenBusAndAnAnsweringDevice) {
  Use(R"({"cages":[{"position":0}]})");
  std::uint8_t byte = 0;
  EXPECT_EQ(I2C_ReceiveMessage(0x27, &byte, 1), kI2cBusNotOpen);
  EXPECT_EQ(I2C_CloseDevice(), kI2cBusNotOpen);
  ASSERT_EQ(I2C_OpenDevice(), 0u);
  EXPECT_EQ(I2C_OpenDevice(), kI2cAlreadyOpen);
  EXPECT_EQ(I2C_GetOutputShadow(0x3C, &byte), 0u) << "a shadow exists for every address";
  EXPECT_EQ(byte, 0xFF);
  EXPECT_EQ(I2C_ReceiveMessage(0x24, &byte, 1), kI2cNoAcknowledge);
  EXPECT_EQ(I2C_SendMessage(0x3C, &byte, 1), kI2cNoAcknowledge);
  EXPECT_EQ(I2C_ReceiveMessage(0x27, &byte, 0), kI2cBadRequest);
  const std::uint8_t value = 0xFE;
  EXPECT_EQ(I2C_SendMessage(0x3F, &value, 1), 0u);
  EXPECT_EQ(I2C_GetOutputShadow(0x3F, &byte), 0u);
  EXPECT_EQ(byte, 0xFE);
  EXPECT_EQ(I2C_CloseDevice(), 0u);
}

TEST(SimFaults, SkipCountAndAttributes) {
  Use(R"({"cages":[{"position":0}],
          "faults":[{"call":"I2C_SendMessage","address":"0x3F","skip":1,"count":2,"error":7}]})");
  ASSERT_EQ(I2C_OpenDevice(), 0u);
  const std::uint8_t value = 0xFF;
  EXPECT_EQ(I2C_SendMessage(0x27, &value, 1), 0u) << "another address does not match";
  EXPECT_EQ(I2C_SendMessage(0x3F, &value, 1), 0u) << "skipped";
  EXPECT_EQ(I2C_SendMessage(0x3F, &value, 1), 7u);
  EXPECT_EQ(I2C_SendMessage(0x3F, &value, 1), 7u);
  EXPECT_EQ(I2C_SendMessage(0x3F, &value, 1), 0u) << "spent after its count";
  I2C_CloseDevice();

  const auto records = CurrentMachine().trace().Records();
  ASSERT_EQ(records.size(), 7u);
  EXPECT_EQ(records[0]["seq"], 1);
  EXPECT_EQ(records[3]["call"], "I2C_SendMessage");
  EXPECT_EQ(records[3]["address"], 63);
  EXPECT_EQ(records[3]["data"], "FF");
  EXPECT_EQ(records[3]["result"], 7);
  EXPECT_EQ(records[3]["injected"], true);

  Faults faults;
  EXPECT_THROW(faults.Add({"I2C_Send", {}, 1, 0, {}}), std::invalid_argument) << "no such call";
  EXPECT_THROW(faults.Add({"I2C_OpenDevice", {{"address", std::uint64_t{3}}}, 1, 0, {}}), std::invalid_argument)
      << "an attribute the call does not offer";
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
