// Drive identification: exact revision codes, code patterns, the vendor
// search of the INQUIRY data, and the code chosen when the revision is blank.
#include <cstring>
#include <set>
#include <string>

#include "drives/drive_identifier.h"
#include "drives/scripted_drive.h"
#include "result_codes.h"

namespace lumbrel::test {
namespace {

struct Identified {
  bool matched;
  DriveIdentity identity;
};

Identified Match(const Bytes& inquiry) {
  Bytes data = inquiry;
  data.resize(kInquiryViewSize, 0);
  Identified result{};
  result.matched = DriveIdentifier().MatchInquiryData(data.data(), data[4] + 44u, &result.identity);
  return result;
}

TEST(DriveIdentificationTest, AVendorSearchWindowBeyondTheLargestIsCutToIt) {
  Bytes data(kInquiryViewSize, 0);
  std::memcpy(&data[kMaxIdentityWindow], "IBM", 3);
  DriveIdentity identity;
  EXPECT_FALSE(DriveIdentifier().MatchInquiryData(data.data(), 0xFFFFFFFF, &identity));
  std::memcpy(&data[kMaxIdentityWindow - 1], "IBM", 3);
  EXPECT_TRUE(DriveIdentifier().MatchInquiryData(data.data(), 0xFFFFFFFF, &identity));
  EXPECT_STREQ(identity.vendorName, "IBM");
}

Bytes WithRevision(const std::string& vendor, const std::string& revision) {
  return ScriptedTarget::Inquiry(vendor, "DISK", revision);
}

TEST(DriveIdentificationTest, RevisionCodesAreDistinct) {
  const DriveIdentifier identifier;
  std::set<std::string> codes;
  for (std::uint32_t row = 0; row < identifier.revisionRows(); ++row) codes.insert(RevisionTable[row].code);
  EXPECT_EQ(codes.size(), identifier.revisionRows());
}

TEST(DriveIdentificationTest, AnExactCodeGivesItsRowAndAPatternItsRowWithTheDrivesOwnCode) {
  const struct {
    const char *vendor, *revision;
    VendorNumber number;
    std::uint32_t capabilities;
  } rows[] = {
      {"IBM", "S80J", VendorIbm, 0x213},    {"FUJITSU", "5301", VendorFujitsu, 0x005},  // exact wins over 53??
      {"WDC", "24.3", VendorWesternDigital, 0x200}, {"FUJITSU", "5399", VendorFujitsu, 0x00D},
      {"XXX", "SA55", VendorIbm, 0x113},
  };
  for (const auto& row : rows) {
    const Identified found = Match(WithRevision(row.vendor, row.revision));
    ASSERT_TRUE(found.matched) << row.revision;
    EXPECT_EQ(found.identity.vendorNumber, row.number) << row.revision;
    EXPECT_EQ(found.identity.capabilities, row.capabilities) << row.revision;
    EXPECT_STREQ(found.identity.revisionCode, row.revision);
  }
  EXPECT_EQ(Match(WithRevision("IBM", "S80J")).identity.revisionCode, RevisionTable[1].code) << "the table's own text";
  const DriveIdentity copy = Match(WithRevision("XXX", "SA55")).identity;
  EXPECT_EQ(copy.revisionCode, copy.codeText) << "a copy carries its own code text";
}

TEST(DriveIdentificationTest, TheVendorSearchFindsACaseSensitiveNameInTheWindow) {
  const Identified ibm = Match(WithRevision("IBM", "XYZ1"));
  ASSERT_TRUE(ibm.matched);
  EXPECT_EQ(ibm.identity.capabilities, 0x213u) << "row 0 through the vendor search";

  const Identified capitals = Match(WithRevision("SEAGATE", "XYZ1"));
  EXPECT_FALSE(capitals.matched);
  EXPECT_EQ(capitals.identity.vendorName, nullptr);
  EXPECT_EQ(capitals.identity.vendorNumber, VendorUnknown);
  EXPECT_EQ(capitals.identity.capabilities, 0x205u);
  EXPECT_STREQ(capitals.identity.revisionCode, "XYZ1");

  Bytes late = WithRevision("ACME", "XYZ1");
  late[4] = 0;  // a window of 44 bytes
  std::memcpy(late.data() + 60, "Quantum", 7);
  EXPECT_FALSE(Match(late).matched) << "a name past the window is not found";
  std::memcpy(late.data() + 43, "Quantum", 7);
  EXPECT_EQ(Match(late).identity.vendorNumber, VendorQuantum) << "a name may start at the window's last byte";
}

TEST(DriveIdentificationTest, ABlankRevisionTakesTheLastFourCharactersOfTheProduct) {
  for (const std::string& blank : {std::string("    "), std::string(4, '\0')}) {
    Bytes data = ScriptedTarget::Inquiry("ACME", "DISK     S80J", "");
    std::memcpy(data.data() + 32, blank.data(), 4);
    const Identified found = Match(data);
    EXPECT_TRUE(found.matched);
    EXPECT_EQ(found.identity.capabilities, 0x213u) << "bytes 25-28 hold S80J";
  }
}

class IdentifyDriveTest : public DriveTest {};

TEST_F(IdentifyDriveTest, ReportsTheInquiryFailureAndLeavesTheRecord) {
  ScriptedTarget drive;
  drive.handlers[scsi_op::kInquiry] = [](const Bytes&, const Bytes&) { return ScriptedTarget::Reply{2, {}}; };
  ScriptedTarget seagate;
  LoadDrives({{1, &drive}, {2, &seagate}});
  ASSERT_EQ(Module().adapterList.BuildAdapterList(), 0u);
  ScsiAdapter& adapter = *Module().adapterList.GetAdapter(0);

  DriveIdentity identity;
  identity.capabilities = 0xABC;
  EXPECT_EQ(Module().driveIdentifier.IdentifyDrive(adapter, 0, 1, &identity), kCheckCondition);
  EXPECT_EQ(identity.capabilities, 0xABCu);
  EXPECT_EQ(Module().driveIdentifier.IdentifyDrive(adapter, 0, 2, &identity), 0u);
  EXPECT_EQ(identity.vendorNumber, VendorSeagate);
  EXPECT_EQ(Commands(seagate, scsi_op::kInquiry).at(0), Built(cdb::Inquiry()));
}

}  // namespace
}  // namespace lumbrel::test
