// The CDBs that the library builds, the data length that every adapter
// derives from a CDB, and the HHBA5100 wrapping of a CDB for one drive.
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "scsi/hhba5100_wrap.h"
#include "scsi/scsi_commands.h"

namespace lumbrel::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Built {
  const char* name;
  Cdb cdb;
  Bytes bytes;           // the CDB as the drive receives it
  std::uint32_t moves;   // the data length of the command
};

TEST(ScsiCommandsTest, EachBuilderFillsItsFieldsBigEndianAndItsDataLengthIsWhatTheCommandMoves) {
  const Built built[] = {
      {"INQUIRY", cdb::Inquiry(), {0x12, 0, 0, 0, 0xF0, 0}, 240},
      {"INQUIRY 36", cdb::Inquiry(36), {0x12, 0, 0, 0, 36, 0}, 36},
      {"TEST UNIT READY", cdb::TestUnitReady(), {0x00, 0, 0, 0, 0, 0}, 0},
      {"READ(6)", cdb::Read6(0x123456, 4), {0x08, 0x12, 0x34, 0x56, 4, 0}, 2048},
      {"READ(6) 21 bits", cdb::Read6(0xE01234, 1), {0x08, 0x00, 0x12, 0x34, 1, 0}, 512},
      {"READ(6) no blocks", cdb::Read6(5, 0), {0x08, 0, 0, 5, 0, 0}, 0},
      {"MODE SENSE(6)", cdb::ModeSense6(PageControl::Saved, 0x08, 0xC0), {0x1A, 0x08, 0xC8, 0, 0xC0, 0}, 0xC0},
      {"MODE SENSE(6) page", cdb::ModeSense6(PageControl::Changeable, 0xFF, 4), {0x1A, 0x08, 0x7F, 0, 4, 0}, 4},
      {"MODE SELECT(6)", cdb::ModeSelect6(0x18), {0x15, 0, 0, 0, 0x18, 0}, 0x18},
      {"FORMAT UNIT", cdb::FormatUnit(), {0x04, 0, 0, 0, 0, 0}, 0},
      {"WRITE BUFFER", cdb::WriteBuffer10(5, 2, 0x012345, 0x018000),
       {0x3B, 0x05, 0x02, 0x01, 0x23, 0x45, 0x01, 0x80, 0x00, 0}, 0x18000},
      {"WRITE BUFFER mode", cdb::WriteBuffer10(0xE7, 0, 0, 0x200), {0x3B, 0x07, 0, 0, 0, 0, 0, 0x02, 0, 0}, 512},
      {"LOG SENSE", cdb::LogSense(kCumulativeValues, 0x32, 0x0102, 0x0258),
       {0x4D, 0, 0x72, 0, 0, 0x01, 0x02, 0x02, 0x58, 0}, 600},
      {"LOG SELECT save", cdb::LogSelect(true, kCumulativeValues, 0xD0),
       {0x4C, 0x01, 0x40, 0, 0, 0, 0, 0, 0xD0, 0}, 208},
      {"LOG SELECT", cdb::LogSelect(false, PageControl::Default, 0x1234), {0x4C, 0, 0x80, 0, 0, 0, 0, 0x12, 0x34, 0},
       0x1234},
      {"HHBA5100", cdb::Hhba5100Command(0x10, 0x1400), {0x20, 0, 0x10, 0, 0, 0, 0, 0x14, 0x00, 0}, 5120},
  };
  for (const Built& b : built) {
    SCOPED_TRACE(b.name);
    Bytes expected = b.bytes;
    expected.resize(kMaxCdbLength);
    EXPECT_EQ(Bytes(b.cdb.bytes, b.cdb.bytes + kMaxCdbLength), expected) << "the rest of the CDB stays zero";
    EXPECT_EQ(b.cdb.length, b.bytes.size());
    EXPECT_EQ(CdbTransferLength(b.cdb), b.moves);
  }
}

std::uint32_t Length(Bytes cdb) { return CdbTransferLength(cdb.data(), static_cast<std::uint32_t>(cdb.size())); }

TEST(CdbTransferLengthTest, FollowsTheOperationCodeOfCdbsThatNoBuilderMakes) {
  EXPECT_EQ(Length({0x0A, 0, 0, 0, 0, 0}), 0u) << "WRITE(6) of 0 blocks moves nothing, not 256";
  EXPECT_EQ(Length({0x28, 0, 0, 0, 0x10, 0, 0, 0x01, 0x02, 0}), 0x102u * 512);
  EXPECT_EQ(Length({0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0}), 512u);
  EXPECT_EQ(Length({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 8u);
  EXPECT_EQ(Length({0x3C, 0x02, 0, 0, 0, 0, 0, 0x02, 0x00, 0}), 512u);
  EXPECT_EQ(Length({0x2F, 0, 0, 0, 0, 0, 0, 0, 8, 0}), 0u) << "unlisted 10-byte CDB";
  EXPECT_EQ(Length({0x03, 0, 0, 0, 0xFF, 0}), 255u) << "unlisted 6-byte CDB: byte 4";
  EXPECT_EQ(Length({0x28, 0, 0, 0, 0, 0, 0, 0x01}), 0x100u * 512) << "a field past the CDB's end reads as zero";
  EXPECT_EQ(Length({}), 0u);
}

// The wrapped CDB, or nothing when the operation code has no translation.
Bytes Wrap(Bytes cdb, std::uint8_t bus, std::uint8_t target) {
  std::uint8_t out[kWrappedCdbLength];
  if (!WrapCdb(cdb.data(), static_cast<std::uint32_t>(cdb.size()), out, bus, target)) return {};
  return Bytes(out, out + kWrappedCdbLength);
}

TEST(WrapCdbTest, MovesEachByteWhereItsLayoutSays) {
  EXPECT_EQ(Wrap({0x12, 0, 0, 0, 0xF0, 0}, 0, 3), (Bytes{0x21, 0, 0x12, 0x03, 0, 0, 0, 0, 0xF0, 0}));
  EXPECT_EQ(Wrap({0x28, 0, 0, 0, 0x10, 0, 0xAA, 0xBB, 0x08, 0}, 1, 2),
            (Bytes{0x21, 0, 0x28, 0x12, 0, 0, 0x10, 0, 0x08, 0}))
      << "bytes 6 and 7 are dropped";
  EXPECT_EQ(Wrap({0x21, 0xE1, 2, 3, 4, 5, 6, 7, 8, 9}, 5, 5), (Bytes{0x21, 0xE1, 2, 3, 4, 5, 6, 7, 8, 9}))
      << "sent unchanged";
  EXPECT_EQ(Wrap({0x20, 0, 0x10, 0, 0, 0, 0, 0x14, 0, 0}, 1, 1), (Bytes{0x20, 0, 0x10, 0, 0, 0, 0, 0x14, 0, 0}));
  EXPECT_EQ(Wrap({0xA0, 0, 0, 0, 0x10, 0, 0, 0, 0, 0, 0, 0}, 0, 1), (Bytes{0x21, 0, 0xA0, 0x01, 0, 0, 0, 0, 0x10, 0}))
      << "REPORT LUNS is laid out like a 6-byte CDB";
  EXPECT_EQ(Wrap({0x4D, 0xE0, 0x72, 0x33, 0x44, 0x55, 0x66, 0x02, 0x58, 0x99}, 2, 0x1F),
            (Bytes{0x21, 0, 0x4D, 0x2F, 0x72, 0x55, 0x66, 0x02, 0x58, 0x99}))
      << "LOG SENSE: byte 3 and 4 dropped, LUN bits cleared, target cut to 4 bits";
  EXPECT_EQ(Wrap({0x3B, 5, 1, 2, 3, 4, 5, 6, 7, 8}, 0, 0), (Bytes{0x21, 5, 0x3B, 0, 1, 2, 3, 6, 7, 8}));
  EXPECT_EQ(Wrap({0x3F, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 0, 0), (Bytes{0x21, 1, 0x3F, 0, 3, 4, 5, 7, 8, 9}));
  EXPECT_EQ(Wrap({0x4C, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 0, 0), (Bytes{0x21, 1, 0x4C, 0, 2, 3, 0, 7, 8, 9}));
  EXPECT_EQ(Wrap({0x2A, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 0, 0), (Bytes{0x21, 1, 0x2A, 0, 2, 3, 4, 5, 8, 9}));
  EXPECT_EQ(Wrap({0x12}, 0, 0), (Bytes{0x21, 0, 0x12, 0, 0, 0, 0, 0, 0, 0})) << "a short CDB reads zeros past its end";
  EXPECT_EQ(Wrap({0x5E, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0), Bytes{}) << "no translation";
}

TEST(WrapCdbTest, EveryOperationCodeOfAGroupMovesItsBytesLikeTheOthers) {
  // The operation codes by the layout they share; every other code has no translation.
  const std::vector<Bytes> groups = {
      {0x04, 0x12, 0x15, 0x1A, 0x1E, 0x08, 0x07, 0x1C, 0x03, 0xA0, 0x01, 0x0B, 0x1D, 0x1B, 0x00, 0x0A},
      {0x4C, 0x55, 0x5A, 0x25, 0x37},
      {0x4D},
      {0x3C, 0x3B},
      {0x28, 0x2B, 0x2F, 0x2A, 0x2E, 0x41},
      {0x3E, 0x3F},
      {0x20, 0x21}};
  std::vector<bool> mapped(256, false);
  std::set<Bytes> layouts;
  for (const Bytes& group : groups) {
    const std::size_t opcodeAt = group[0] == 0x20 ? 0 : 2;  // unchanged CDBs keep their code in front
    Bytes first;
    for (const std::uint8_t opcode : group) {
      mapped[opcode] = true;
      Bytes wrapped = Wrap({opcode, 0xE1, 2, 3, 4, 5, 6, 7, 8, 9}, 3, 4);
      ASSERT_FALSE(wrapped.empty()) << int(opcode);
      wrapped[opcodeAt] = 0;
      if (first.empty()) first = wrapped;
      EXPECT_EQ(wrapped, first) << "operation code " << int(opcode) << " left its group's layout";
    }
    layouts.insert(first);
  }
  EXPECT_EQ(layouts.size(), groups.size()) << "each group has a layout of its own";
  for (int opcode = 0; opcode < 256; ++opcode) {
    if (!mapped[opcode]) {
      EXPECT_EQ(Wrap({static_cast<std::uint8_t>(opcode), 0, 0, 0, 0, 0}, 0, 0), Bytes{}) << opcode;
    }
  }
}

}  // namespace
}  // namespace lumbrel::test
