// The request blocks as they leave for the drivers, byte for byte, the way
// each format's status becomes a result, and the CDB rules that every
// adapter shares: the data length of a CDB and the HHBA5100 wrapping.
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/byte_order.h"
#include "platform/runtime.h"
#include "scsi/scsi_commands.h"
#include "scsi/hhba5100_wrap.h"
#include "scsi/dac960_direct_cdb.h"
#include "scsi/megaraid_direct_cdb.h"
#include "scsi/scsi_pass_through.h"
#include "scsi/scsi_request_block.h"

namespace lumbrel::test {
namespace {

std::string Hex(const std::uint8_t* data, std::size_t size) {
  static const char* digits = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    text += digits[data[i] >> 4];
    text += digits[data[i] & 15];
  }
  return text;
}

std::uint32_t Length(std::vector<std::uint8_t> cdb) {
  return CdbTransferLength(cdb.data(), static_cast<std::uint32_t>(cdb.size()));
}

TEST(CdbTransferLengthTest, FollowsTheOperationCode) {
  EXPECT_EQ(Length({0x08, 0, 0, 0, 4, 0}), 2048u);
  EXPECT_EQ(Length({0x0A, 0, 0, 0, 0, 0}), 0u) << "0 blocks move nothing, not 256";
  EXPECT_EQ(Length({0x28, 0, 0, 0, 0x10, 0, 0, 0x01, 0x02, 0}), 0x102u * 512);
  EXPECT_EQ(Length({0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0}), 512u);
  EXPECT_EQ(Length({0x4D, 0, 0x72, 0, 0, 0, 0, 0x02, 0x58, 0}), 600u);
  EXPECT_EQ(Length({0x4C, 0, 0, 0, 0, 0, 0, 0, 0xD0, 0}), 208u);
  EXPECT_EQ(Length({0x20, 0, 0x10, 0, 0, 0, 0, 0x14, 0x00, 0}), 5120u);
  EXPECT_EQ(Length({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 8u);
  EXPECT_EQ(Length({0x3B, 0x05, 0, 0, 0, 0, 0x01, 0x80, 0x00, 0}), 0x18000u);
  EXPECT_EQ(Length({0x3C, 0x02, 0, 0, 0, 0, 0, 0x02, 0x00, 0}), 512u);
  EXPECT_EQ(Length({0x2F, 0, 0, 0, 0, 0, 0, 0, 8, 0}), 0u) << "unlisted 10-byte CDB";
  EXPECT_EQ(Length({0x12, 0, 0, 0, 0xF0, 0}), 240u) << "unlisted 6-byte CDB: byte 4";
  EXPECT_EQ(Length({0x03, 0, 0, 0, 0xFF, 0}), 255u);
  EXPECT_EQ(Length({0x00, 0, 0, 0, 0, 0}), 0u);
}

class RequestBlockTest : public ::testing::Test {
 protected:
  RequestBlockTest() { block.fill(0xEE); }
  CommandRequest Command(std::vector<std::uint8_t> bytes, std::uint8_t bus, std::uint8_t target, bool dataIn) {
    cdb = std::move(bytes);
    const auto length = static_cast<std::uint32_t>(cdb.size());
    return CommandRequest{bus, target, cdb.data(), length, dataIn, CdbTransferLength(cdb.data(), length)};
  }
  std::string Bytes(std::size_t from, std::size_t to) { return Hex(block.data() + from, to - from); }
  std::uint32_t Address(std::size_t offset) { return LoadLe32(block.data() + offset); }
  std::uint32_t Ours(std::size_t offset) { return platform::ProcessAddress(block.data() + offset); }

  std::array<std::uint8_t, 32768 + 160> block;
  std::vector<std::uint8_t> cdb;
};

TEST_F(RequestBlockTest, PassThroughCarriesAddressCdbAndLengths) {
  const ControlLengths in = scsi_pass_through::Fill(block.data(), Command({0x12, 0, 0, 0, 0xF0, 0}, 1, 3, true));
  EXPECT_EQ(Bytes(0, 44), "2C0000010300062001000000F000000088130000A00000002C000000120000" "00F000" + std::string(20, '0'));
  EXPECT_EQ(Bytes(44, 160), std::string(232, 'E')) << "the sense area and the rest are not cleared";
  EXPECT_EQ(in.input, 44u);
  EXPECT_EQ(in.output, 160u + 240);

  const ControlLengths out = scsi_pass_through::Fill(block.data(), Command({0x3B, 5, 0, 0, 0, 0, 0, 2, 0, 0}, 0, 9, false));
  EXPECT_EQ(Bytes(0, 16), "2C00" "0000" "0900" "0A20" "00000000" "00020000");
  EXPECT_EQ(out.input, 160u + 512);
  EXPECT_EQ(out.output, 160u);
  block[2] = 2;
  block[7] = 18;
  EXPECT_EQ(scsi_pass_through::Status(block.data()), 2u);
  const SenseView sense = scsi_pass_through::Sense(block.data());
  EXPECT_EQ(sense.bytes, block.data() + 44);
  EXPECT_EQ(sense.length, 18u);
}

TEST_F(RequestBlockTest, SrbAsksForAtLeast32BytesAndTimesOutPerCommand) {
  scsi_request_block::Fill(block.data(), Command({0, 0, 0, 0, 0, 0}, 2, 5, true));
  EXPECT_EQ(Bytes(0, 24), "4000" "000000" "020500" "FF00" "0620" "48000100" "20000000" "05000000");
  EXPECT_EQ(Address(24), Ours(96));
  EXPECT_EQ(Address(28), Ours(64));
  EXPECT_EQ(Bytes(32, 96), std::string(128, '0'));
  EXPECT_EQ(Bytes(96, 100), "EEEEEEEE") << "the data area is not cleared";

  scsi_request_block::Fill(block.data(), Command({0x04, 0x18, 0, 0, 0, 0}, 0, 0, true));
  EXPECT_EQ(Address(20), 7500u);
  scsi_request_block::Fill(block.data(), Command({0x3B, 5, 0, 0, 0, 0, 0, 0x40, 0, 0}, 0, 0, false));
  EXPECT_EQ(Address(12), 0x00010088u);
  EXPECT_EQ(Address(16), 0x4000u) << "output keeps its exact length";
  EXPECT_EQ(Address(20), 600u);
  scsi_request_block::Fill(block.data(), Command({0x3B, 5, 0, 0, 0, 0, 0, 0x40, 0, 0}, 0, 0, true));
  EXPECT_EQ(Address(20), 5u) << "7500 and 600 belong to FORMAT UNIT in and WRITE BUFFER out only";

  struct { std::uint8_t srbStatus, scsiStatus; std::uint32_t result; } cases[] = {
      {0x01, 0, 0}, {0x01, 2, 2}, {0x12, 0, 0}, {0x12, 8, 8}, {0x0A, 2, 130}, {0x04, 0, 4}, {0x20, 2, 0x20}};
  for (const auto& c : cases) {
    block[3] = c.srbStatus;
    block[4] = c.scsiStatus;
    EXPECT_EQ(scsi_request_block::Result(block.data()), c.result) << "SRB status " << int(c.srbStatus);
  }
  block[11] = 250;
  EXPECT_EQ(scsi_request_block::Sense(block.data()).bytes, block.data() + 64);
  EXPECT_EQ(scsi_request_block::Sense(block.data()).length, 32u) << "the view stays inside the sense area";
}

TEST_F(RequestBlockTest, MegaRaidInputAsksForTheWholeDataArea) {
  EXPECT_EQ(megaraid_direct_cdb::Fill(block.data(), Command({0x12, 0, 0, 0, 0xF0, 0}, 1, 4, true), 32768), 96u + 32768);
  EXPECT_EQ(Bytes(0, 54), "1C000000" "0000000000000000" "FFFFFFFF" "00000000" "00000000" "44800000" "03AA000000000000"
                          "08000104" "0000" "120000" "00F00000000000" "06" "20");
  EXPECT_EQ(Bytes(54, 88), std::string(68, '0'));
  EXPECT_EQ(Address(88), Ours(96));
  EXPECT_EQ(Address(92), 240u);

  EXPECT_EQ(megaraid_direct_cdb::Fill(block.data(), Command({0x3B, 5, 0, 0, 0, 0, 0, 2, 0, 0}, 0, 2, false), 32768), 96u + 512);
  EXPECT_EQ(Address(16), 1u);
  EXPECT_EQ(Address(24), 68u + 512);
  EXPECT_EQ(block[36], 0x0A);
  megaraid_direct_cdb::Fill(block.data(), Command({0x04, 0x18, 0, 0, 0, 0}, 0, 2, true), 32768);
  EXPECT_EQ(block[36], 0x0B);
  megaraid_direct_cdb::Fill(block.data(), Command({0x04, 0x18, 0, 0, 0, 0}, 0, 2, false), 32768);
  EXPECT_EQ(block[36], 0x08);

  for (auto [status, result] : {std::pair{0x00u, 0u}, {0x02u, 2u}, {0xF0u, 130u}, {0xF4u, 0xF4u}}) {
    block[29] = static_cast<std::uint8_t>(status);
    EXPECT_EQ(megaraid_direct_cdb::Result(block.data()), result);
  }
  block[53] = 255;
  EXPECT_EQ(megaraid_direct_cdb::Sense(block.data()).bytes, block.data() + 54);
  EXPECT_EQ(megaraid_direct_cdb::Sense(block.data()).length, 32u);
}

TEST_F(RequestBlockTest, Dac960PacksBusAndTargetIntoOneByte) {
  EXPECT_EQ(dac960_direct_cdb::Fill(block.data(), Command({0x08, 0, 0, 0, 1, 0}, 3, 9, true)), 148u + 512);
  EXPECT_EQ(Bytes(0, 64), "1C000000" "0000000000000000" "3C000000" "00000000" "00000000" "78020000" + std::string(32, '0') +
                              "04" + std::string(30, '0') + "39" "81" "0002");
  EXPECT_EQ(Address(64), Ours(148));
  EXPECT_EQ(Bytes(68, 82), "0640" "080000000100" "000000000000");
  EXPECT_EQ(Bytes(82, 148), std::string(132, '0'));

  EXPECT_EQ(dac960_direct_cdb::Fill(block.data(), Command({0x0A, 0, 0, 0, 2, 0}, 17, 18, false)), 148u + 1024);
  EXPECT_EQ(block[60], 0x12) << "bus and target are each taken modulo 16";
  EXPECT_EQ(block[61], 0x82);
  EXPECT_EQ(Address(24), 120u + 1024);
  for (auto [status, result] : {std::pair{0u, 0u}, {2u, 2u}, {14u, 130u}, {15u, 130u}, {0x0102u, 0x0102u}}) {
    StoreLe16(block.data() + 32, static_cast<std::uint16_t>(status));
    EXPECT_EQ(dac960_direct_cdb::Result(block.data()), result);
  }
  block[69] = 100;
  EXPECT_EQ(dac960_direct_cdb::Sense(block.data()).bytes, block.data() + 82);
  EXPECT_EQ(dac960_direct_cdb::Sense(block.data()).length, 64u);

  std::uint8_t data[64] = {7, 1, 2};
  EXPECT_EQ(dac960_controller_command::Fill(block.data(), 0xA0, 0x11, 0x22, data, 64), 124u);
  EXPECT_EQ(Bytes(0, 28), "1C000000" "0000000000000000" "05000000" "00000000" "00000000" "60000000");
  EXPECT_EQ(Bytes(44, 66), "A0001122000000110000000000000000" "070102000000");
  dac960_controller_command::Fill(block.data(), 0x3D, 0, 0, data, 64);
  EXPECT_EQ(Bytes(60, 63), "000000") << "only 0xA0 sends its data";
}

std::string Wrap(std::vector<std::uint8_t> cdb, std::uint8_t bus, std::uint8_t target) {
  std::uint8_t out[10];
  if (!WrapCdb(cdb.data(), static_cast<std::uint32_t>(cdb.size()), out, bus, target)) return "none";
  return Hex(out, 10);
}

TEST(WrapCdbTest, MovesEachByteWhereItsLayoutSays) {
  EXPECT_EQ(Wrap({0x12, 0, 0, 0, 0xF0, 0}, 0, 3), "21001203000000" "00F000");
  EXPECT_EQ(Wrap({0x28, 0, 0, 0, 0x10, 0, 0xAA, 0xBB, 0x08, 0}, 1, 2), "21002812000010000800");
  EXPECT_EQ(Wrap({0x21, 0xE1, 2, 3, 4, 5, 6, 7, 8, 9}, 5, 5), "21E10203040506070809") << "sent unchanged";
  EXPECT_EQ(Wrap({0x20, 0, 0x10, 0, 0, 0, 0, 0x14, 0, 0}, 1, 1), "20001000000000140000");
  EXPECT_EQ(Wrap({0xA0, 0, 0, 0, 0x10, 0, 0, 0, 0, 0, 0, 0}, 0, 1), "2100A001000000001000") << "layout 0x00";
  EXPECT_EQ(Wrap({0x4D, 0xE0, 0x72, 0x33, 0x44, 0x55, 0x66, 0x02, 0x58, 0x99}, 2, 0x1F), "2100" "4D2F" "72" "55660258" "99")
      << "LOG SENSE: byte 3 and 4 dropped, LUN bits cleared, target cut to 4 bits";
  EXPECT_EQ(Wrap({0x3B, 0x05, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}, 0, 0), "2105" "3B00" "0102030607" "08");
  EXPECT_EQ(Wrap({0x3F, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09}, 0, 0), "2101" "3F00" "030405" "07" "0809");
  EXPECT_EQ(Wrap({0x4C, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09}, 0, 0), "2101" "4C00" "0203" "00" "070809");
  EXPECT_EQ(Wrap({0x2A, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09}, 0, 0), "2101" "2A00" "02030405" "0809");
  EXPECT_EQ(Wrap({0x5E, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 0), "none");
  EXPECT_EQ(Wrap({0x12}, 0, 0), "21001200000000000000") << "a short CDB reads as zeros past its end";
}

TEST(WrapCdbTest, EveryOperationCodeOfAGroupMovesItsBytesLikeTheOthers) {
  // The operation codes by the layout they share; every other code has no translation.
  const std::vector<std::vector<std::uint8_t>> groups = {
      {0x04, 0x12, 0x15, 0x1A, 0x1E, 0x08, 0x07, 0x1C, 0x03, 0xA0, 0x01, 0x0B, 0x1D, 0x1B, 0x00, 0x0A},
      {0x4C, 0x55, 0x5A, 0x25, 0x37},
      {0x4D},
      {0x3C, 0x3B},
      {0x28, 0x2B, 0x2F, 0x2A, 0x2E, 0x41},
      {0x3E, 0x3F},
      {0x20, 0x21}};
  std::vector<bool> mapped(256, false);
  std::set<std::string> layouts;
  for (const auto& group : groups) {
    const std::size_t opcodeAt = group[0] == 0x20 ? 0 : 2;  // unchanged CDBs keep their code in front
    std::string first;
    for (const std::uint8_t opcode : group) {
      mapped[opcode] = true;
      std::string wrapped = Wrap({opcode, 0xE1, 2, 3, 4, 5, 6, 7, 8, 9}, 3, 4);
      ASSERT_NE(wrapped, "none") << int(opcode);
      wrapped.replace(2 * opcodeAt, 2, "..");
      if (first.empty()) first = wrapped;
      EXPECT_EQ(wrapped, first) << "operation code " << int(opcode) << " left its group's layout";
    }
    layouts.insert(first);
  }
  EXPECT_EQ(layouts.size(), groups.size()) << "each group has a layout of its own";
  for (int opcode = 0; opcode < 256; ++opcode) {
    if (!mapped[opcode]) {
      EXPECT_EQ(Wrap({static_cast<std::uint8_t>(opcode), 0, 0, 0, 0, 0}, 0, 0), "none") << opcode;
    }
  }
}

}  // namespace
}  // namespace lumbrel::test
