// The drive-letter map over simulated volumes: the three ways of finding
// letters, array members, the 20-second rebuild rule and hostile registry
// records.
#include <map>

#include "drives/drive_letter_map.h"
#include "platform/byte_order.h"
#include "scsi/fake_driver.h"
#include "support/module_fixture.h"

namespace lumbrel::test {
namespace {

constexpr std::uint32_t Bit(char letter) { return 1u << (letter - 'A'); }

// Expands the addresses it was told about to their members; every other
// address to itself, as a port without arrays does.
struct FakeExpansion : MemberExpansion {
  virtual ~FakeExpansion() = default;
  std::uint32_t ExpandLogicalDrive(DriveAddress address, std::uint32_t* count, DriveAddress* members) override {
    const auto it = arrays.find(Key(address));
    const std::vector<DriveAddress> found = it != arrays.end() ? it->second : std::vector<DriveAddress>{address};
    for (std::size_t i = 0; i < found.size(); ++i) members[i] = found[i];
    *count = static_cast<std::uint32_t>(found.size());
    return 0;
  }
  static int Key(DriveAddress a) { return a.port << 16 | a.bus << 8 | a.target; }
  std::map<int, std::vector<DriveAddress>> arrays;
};

// Disks at targets 0-3 of port 0 as PhysicalDrive0-3; `rest` adds top-level keys.
std::string Machine(const std::string& rest) {
  return R"({"ports":[{"driver":"aic78xx","buses":[{"devices":[
      {"target":0,"physicalDrive":0},{"target":1,"physicalDrive":1},
      {"target":2,"physicalDrive":2},{"target":3,"physicalDrive":3}]}]}],)" +
         rest + "}";
}

DriveAddress Disk(std::uint8_t target) { return DriveAddress{target, 0, 0}; }

class DriveLetterMapTest : public ModuleTest {
 protected:
  std::uint32_t Mask(std::uint8_t target) { return map.GetDriveLetterMask(Disk(target)); }
  std::size_t Rebuilds() { return Calls("GetLogicalDrives").size(); }

  FakeExpansion expansion;
  DriveLetterMap map{expansion};
};

TEST_F(DriveLetterMapTest, OnlyRemovableAndFixedLettersAreEntered) {
  Install(Machine(R"("volumes":[{"letter":"C","extents":[0]},{"letter":"E","type":"cdrom","extents":[0]},
      {"letter":"F","type":"remote","extents":[0]},{"letter":"G","type":"ramdisk","extents":[0]},
      {"letter":"H","type":"removable","extents":[0]}])"));
  EXPECT_EQ(Mask(0), Bit('C') | Bit('H'));
  for (const auto& open : Calls("CreateFileA")) {
    EXPECT_NE(open["name"], "\\\\.\\E:");
    EXPECT_NE(open["name"], "\\\\.\\F:");
  }
}

TEST_F(DriveLetterMapTest, AFailedRebuildIsTriedAgainAtTheNextQuery) {
  // No extents anywhere, and a disk record too large to read.
  Install(Machine(R"("volumes":[{"letter":"D","extentsFail":true,"scsiAddress":[0,0,2]}],
      "diskInformation":")" + std::string(2 * 4097, '0') + "\""));
  EXPECT_EQ(map.Rebuild(), 234u);
  EXPECT_EQ(Mask(2), Bit('D')) << "what was found still answers";
  EXPECT_EQ(Mask(2), Bit('D'));
  EXPECT_EQ(Calls("RegOpenKeyExA").size(), 3u) << "each query rebuilt again";
}

TEST_F(DriveLetterMapTest, WithoutExtentsVolumeAddressesAndThePartitionTableTogetherGiveTheMap) {
  Install(Machine(R"("volumes":[{"letter":"D","extentsFail":true,"scsiAddress":[0,0,2]},
      {"letter":"E","extentsFail":true,"extents":[3]}])"));
  EXPECT_EQ(map.Rebuild(), 0u);
  EXPECT_EQ(Mask(2), Bit('D'));
  EXPECT_EQ(Mask(3), Bit('E'));
  EXPECT_EQ(Rebuilds(), 2u) << "methods 2 and 3 each take the candidate letters once";
}

// A disk configuration record of one disk with these partition letter bytes.
std::vector<std::uint8_t> DiskRecord(std::vector<std::uint8_t> letters) {
  std::vector<std::uint8_t> value(16 + 4 + 8 + 52 * letters.size(), 0);
  StoreLe32(value.data() + 12, 16);  // the disk list
  StoreLe16(value.data() + 16, 1);   // disks
  StoreLe16(value.data() + 20, static_cast<std::uint16_t>(letters.size()));
  for (std::size_t i = 0; i < letters.size(); ++i) value[28 + 52 * i + 40] = letters[i];
  return value;
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string hex;
  for (std::uint8_t byte : bytes) hex += "0123456789abcdef"[byte >> 4], hex += "0123456789abcdef"[byte & 15];
  return hex;
}

TEST_F(DriveLetterMapTest, PartitionLettersBelowAAddNothingAndLowerCaseCountsAsUpper) {
  Install(Machine(R"("volumes":[{"letter":"Z","extentsFail":true}],"diskInformation":")" +
                  Hex(DiskRecord({0x00, 0x80, 0xC5, 'e', 'F', '@'})) + "\""));
  EXPECT_EQ(map.Rebuild(), 0u);
  EXPECT_EQ(Mask(0), Bit('E') | Bit('F'));
  EXPECT_EQ(map.EntryCount(), 2u);
  EXPECT_EQ(map.EntryAt(0).letter, 'e') << "kept as found";
}

TEST_F(DriveLetterMapTest, TheMapHoldsAtMost100Entries) {
  Install(Machine(R"("volumes":[{"letter":"D","extents":[0]},{"letter":"E","extents":[0]},
      {"letter":"F","extents":[0]},{"letter":"G","extents":[0]}])"));
  std::vector<DriveAddress> members;
  for (std::uint8_t i = 0; i < 32; ++i) members.push_back(DriveAddress{i, 1, 0});
  expansion.arrays[FakeExpansion::Key(Disk(0))] = members;
  EXPECT_EQ(map.Rebuild(), 0u);
  EXPECT_EQ(map.EntryCount(), DriveLetterMap::kCapacity);
  EXPECT_EQ(map.GetDriveLetterMask(DriveAddress{3, 1, 0}), Bit('D') | Bit('E') | Bit('F') | Bit('G'));
  EXPECT_EQ(map.GetDriveLetterMask(DriveAddress{4, 1, 0}), Bit('D') | Bit('E') | Bit('F'));
}

TEST_F(DriveLetterMapTest, ARepeatedLetterAndAddressIsEnteredOnce) {
  Install(Machine(R"("volumes":[{"letter":"D","extents":[0,0,0]}])"));
  EXPECT_EQ(map.Rebuild(), 0u);
  EXPECT_EQ(map.EntryCount(), 1u);
}

TEST_F(DriveLetterMapTest, AnExtentCountBeyondTheReplyIsCutTo16) {
  Install(Machine(R"("volumes":[{"letter":"D","extents":[0]}])"));
  auto volume = AddFakeDevice("D:");
  volume->answer = [](sim::ControlRequest& request) {
    StoreLe32(request.buffer, 1000);
    return 0u;
  };
  EXPECT_EQ(map.Rebuild(), 0u);
  std::size_t lookups = 0;
  for (const auto& open : Calls("CreateFileA")) lookups += open["name"] == "\\\\.\\PhysicalDrive0";
  EXPECT_EQ(lookups, 16u);
}

TEST_F(DriveLetterMapTest, ARecordThatPointsOutsideTheRegistryValueIsNotFollowed) {
  const auto with = [](auto change) {
    std::vector<std::uint8_t> value = DiskRecord({'D'});
    change(value);
    return value;
  };
  struct Case {
    const char* name;
    std::vector<std::uint8_t> value;
    std::uint32_t mask;  // of disk 0
  } cases[] = {
      {"list offset past the value", with([](auto& v) { StoreLe32(v.data() + 12, 0x7FFFFFF0); }), 0},
      {"shorter than the header", {0, 0, 0, 0, 0, 0}, 0},
      {"more disks than records", with([](auto& v) { StoreLe16(v.data() + 16, 0xFFFF); }), Bit('D')},
      {"more partitions than the record holds", with([](auto& v) { StoreLe16(v.data() + 20, 0xFFFF); }), Bit('D')},
      {"a record header cut by the end", with([](auto& v) { v.resize(24); }), 0},
  };
  for (const Case& c : cases) {
    Install(Machine(R"("volumes":[{"letter":"Z","extentsFail":true}],"diskInformation":")" + Hex(c.value) + "\""));
    DriveLetterMap fresh(expansion);
    EXPECT_EQ(fresh.Rebuild(), 0u) << c.name;
    EXPECT_EQ(fresh.GetDriveLetterMask(Disk(0)), c.mask) << c.name;
  }
}

TEST_F(DriveLetterMapTest, APartitionTableThatCannotBeReadLeavesNothingOpen) {
  const std::string volumes = R"("volumes":[{"letter":"D","extentsFail":true}])";
  Install(Machine(volumes + R"(,"faults":[{"call":"allocate","size":4096}])"));
  EXPECT_EQ(map.Rebuild(), 8u);
  Install(Machine(volumes + R"(,"faults":[{"call":"RegQueryValueExA","value":"Information","error":5}])"));
  EXPECT_EQ(map.Rebuild(), 5u);
  EXPECT_EQ(machine().OpenKeyCount(), 0u);
  Install(Machine(volumes + R"(,"diskInformation":null)"));
  EXPECT_EQ(map.Rebuild(), 0u) << "no such key: a system without the record";
}

}  // namespace
}  // namespace lumbrel::test
