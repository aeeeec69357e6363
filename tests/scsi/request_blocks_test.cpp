// The request blocks as they leave for the drivers, field by field, and the
// way each block's status becomes a result.
#include <array>
#include <vector>

#include <gtest/gtest.h>

#include "platform/runtime.h"
#include "scsi/dac960_direct_cdb.h"
#include "scsi/megaraid_direct_cdb.h"
#include "scsi/scsi_commands.h"
#include "scsi/scsi_pass_through.h"
#include "scsi/scsi_request_block.h"

namespace lumbrel::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
struct Expected {
  Field field;
  std::uint32_t value;  // a field of 1, 2 or 4 bytes holds it, a longer one has it in every byte
};

class RequestBlockTest : public ::testing::Test {
 protected:
  RequestBlockTest() { block.fill(0xEE); }  // what no fill writes stays 0xEE
  CommandRequest Command(const Cdb& built, std::uint8_t bus, std::uint8_t target, bool dataIn) {
    cdb = built;
    return CommandRequest{bus, target, cdb.bytes, cdb.length, dataIn, CdbTransferLength(cdb)};
  }
  void ExpectFields(std::initializer_list<Expected> fields) const {
    for (const Expected& e : fields) {
      const std::uint8_t* at = block.data() + e.field.offset;
      const std::uint32_t size = e.field.size;
      if (size == 1 || size == 2 || size == 4) {
        const std::uint32_t value = size == 1 ? at[0] : size == 2 ? LoadLe16(at) : LoadLe32(at);
        EXPECT_EQ(value, e.value) << "field at " << e.field.offset;
      } else {
        EXPECT_EQ(Bytes(at, at + size), Bytes(size, e.value)) << "field at " << e.field.offset;
      }
    }
  }
  // The CDB field holds the command's bytes, the rest zero.
  void ExpectCdbIn(Field field) const {
    EXPECT_EQ(Bytes(block.data() + field.offset, block.data() + field.end()), Bytes(cdb.bytes, cdb.bytes + field.size));
  }
  std::uint32_t Ours(std::uint32_t offset) const { return platform::ProcessAddress(block.data() + offset); }

  std::array<std::uint8_t, 32768 + kTransferBufferExtra> block;
  Cdb cdb;
};

TEST_F(RequestBlockTest, PassThroughNamesTheDriveAndTheCommandAndLeavesTheSenseArea) {
  using namespace scsi_pass_through;
  Fill(block.data(), Command(cdb::Inquiry(), 1, 3, true));
  ExpectFields({{kLength, 44}, {kScsiStatus, 0}, {kPathId, 1}, {kTargetId, 3}, {kLun, 0}, {kCdbLength, 6},
                {kSenseInfoLength, 32}, {kDataIn, 1}, {kPadding, 0}, {kDataTransferLength, 240}, {kTimeOutValue, 5000},
                {kDataBufferOffset, 160}, {kSenseInfoOffset, 44}, {kSenseArea, 0xEE}, {kUnused, 0xEE}});
  ExpectCdbIn(kCdb);
}

TEST_F(RequestBlockTest, PassThroughInputReturnsTheDataAreaAfterTheBlock) {
  const ControlLengths lengths = scsi_pass_through::Fill(block.data(), Command(cdb::Inquiry(), 0, 0, true));
  EXPECT_EQ(lengths.input, 44u);
  EXPECT_EQ(lengths.output, 160u + 240);
}

TEST_F(RequestBlockTest, PassThroughOutputSendsTheDataAreaWithTheBlock) {
  using namespace scsi_pass_through;
  const ControlLengths lengths = Fill(block.data(), Command(cdb::WriteBuffer10(5, 0, 0, 512), 0, 9, false));
  ExpectFields({{kDataIn, 0}, {kCdbLength, 10}, {kDataTransferLength, 512}});
  EXPECT_EQ(lengths.input, 160u + 512);
  EXPECT_EQ(lengths.output, 160u);
}

TEST_F(RequestBlockTest, SrbNamesTheDriveTheCommandAndTheProcessAddressesOfDataAndSense) {
  using namespace scsi_request_block;
  Fill(block.data(), Command(cdb::Inquiry(), 2, 5, true));
  ExpectFields({{kLength, 64}, {kFunction, 0}, {kSrbStatus, 0}, {kScsiStatus, 0}, {kPathId, 2}, {kTargetId, 5},
                {kLun, 0}, {kQueueTag, 0xFF}, {kQueueAction, 0}, {kCdbLength, 6}, {kSenseInfoBufferLength, 32},
                {kDataBuffer, Ours(96)}, {kSenseInfoBuffer, Ours(64)}, {kNextSrb, 0}, {kOriginalRequest, 0},
                {kSrbExtension, 0}, {kInternalStatus, 0}, {kSenseArea, 0}});
  ExpectCdbIn(kCdb);
  EXPECT_EQ(block[kDataOffset], 0xEE) << "the data area is not cleared";
}

TEST_F(RequestBlockTest, SrbFlagsLengthAndTimeOutFollowTheDirectionAndTheCommand) {
  using namespace scsi_request_block;
  const struct {
    Cdb cdb;
    bool dataIn;
    std::uint32_t flags, length, timeOut;
  } cases[] = {
      {cdb::TestUnitReady(), true, 0x00010048, 32, 5},  // input asks for at least 32 bytes
      {cdb::TestUnitReady(), false, 0x00010088, 0, 5},
      {cdb::Inquiry(), true, 0x00010048, 240, 5},
      {cdb::FormatUnit(), true, 0x00010048, 32, 7500},
      {cdb::FormatUnit(), false, 0x00010088, 0, 5},
      {cdb::WriteBuffer10(5, 0, 0, 0x4000), false, 0x00010088, 0x4000, 600},
      {cdb::WriteBuffer10(5, 0, 0, 0x4000), true, 0x00010048, 0x4000, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "operation " << int(c.cdb.bytes[0]) << (c.dataIn ? " in" : " out"));
    Fill(block.data(), Command(c.cdb, 0, 0, c.dataIn));
    ExpectFields({{kSrbFlags, c.flags}, {kDataTransferLength, c.length}, {kTimeOutValue, c.timeOut}});
  }
}

TEST_F(RequestBlockTest, SrbResultIsTheScsiStatusOnSuccessOrOverrunElseTheSrbStatus) {
  using namespace scsi_request_block;
  struct { std::uint8_t srbStatus, scsiStatus; std::uint32_t result; } cases[] = {
      {0x01, 0, 0}, {0x01, 2, 2}, {0x12, 0, 0}, {0x12, 8, 8}, {0x0A, 2, 130}, {0x04, 0, 4}, {0x20, 2, 0x20}};
  for (const auto& c : cases) {
    Put8(block.data(), kSrbStatus, c.srbStatus);
    Put8(block.data(), kScsiStatus, c.scsiStatus);
    EXPECT_EQ(Result(block.data()), c.result) << "SRB status " << int(c.srbStatus);
  }
}

TEST_F(RequestBlockTest, TheOtherBlocksResultIsTheirStatusWithNoDeviceAs130) {
  const struct {
    const char* name;
    Field status;
    std::uint32_t (*result)(const std::uint8_t*);
    std::vector<std::pair<std::uint16_t, std::uint32_t>> results;
  } blocks[] = {
      {"pass-through", scsi_pass_through::kScsiStatus, scsi_pass_through::Status, {{0, 0}, {2, 2}, {8, 8}}},
      {"MegaRAID", megaraid_direct_cdb::kCommandStatus, megaraid_direct_cdb::Result,
       {{0, 0}, {2, 2}, {0xF0, 130}, {0xF4, 0xF4}}},
      {"DAC960", dac960_direct_cdb::kControllerStatus, dac960_direct_cdb::Result,
       {{0, 0}, {2, 2}, {14, 130}, {15, 130}, {0x0102, 0x0102}}},
  };
  for (const auto& b : blocks) {
    for (auto [status, result] : b.results) {
      if (b.status.size == 1) Put8(block.data(), b.status, static_cast<std::uint8_t>(status));
      if (b.status.size == 2) Put16(block.data(), b.status, status);
      EXPECT_EQ(b.result(block.data()), result) << b.name << " status " << status;
    }
  }
}

TEST_F(RequestBlockTest, EachSenseViewIsTheBlocksSenseAreaAndNeverReachesPastIt) {
  const struct {
    const char* name;
    Field length, area;
    SenseView (*sense)(const std::uint8_t*);
  } blocks[] = {
      {"pass-through", scsi_pass_through::kSenseInfoLength, scsi_pass_through::kSenseArea, scsi_pass_through::Sense},
      {"SRB", scsi_request_block::kSenseInfoBufferLength, scsi_request_block::kSenseArea, scsi_request_block::Sense},
      {"MegaRAID", megaraid_direct_cdb::kRequestSenseLength, megaraid_direct_cdb::kSenseArea,
       megaraid_direct_cdb::Sense},
      {"DAC960", dac960_direct_cdb::kSenseLength, dac960_direct_cdb::kSenseArea, dac960_direct_cdb::Sense},
  };
  for (const auto& b : blocks) {
    Put8(block.data(), b.length, 18);
    EXPECT_EQ(b.sense(block.data()).bytes, block.data() + b.area.offset) << b.name;
    EXPECT_EQ(b.sense(block.data()).length, 18u) << b.name;
    Put8(block.data(), b.length, 255);
    EXPECT_EQ(b.sense(block.data()).length, b.area.size) << b.name;
  }
}

TEST_F(RequestBlockTest, MegaRaidInputAsksForTheWholeDataArea) {
  using namespace megaraid_direct_cdb;
  namespace header = srb_io_control;
  EXPECT_EQ(Fill(block.data(), Command(cdb::Inquiry(), 1, 4, true), 32768), 96u + 32768);
  ExpectFields({{header::kHeaderLength, 28}, {header::kSignature, 0}, {header::kTimeout, 0xFFFFFFFF},
                {header::kControlCode, 0}, {header::kReturnCode, 0}, {header::kLength, 68 + 32768}, {kCommand, 3},
                {kCommandStatus, 0xAA}, {kReserved, 0}, {kControl, 0x08}, {kLogicalDrive, 0}, {kChannel, 1},
                {kTarget, 4}, {kQueueTag, 0}, {kQueueAction, 0}, {kCdbLength, 6}, {kRequestSenseLength, 32},
                {kSenseArea, 0}, {kScatterGatherCount, 0}, {kScsiStatus, 0}, {kDataAddress, Ours(96)},
                {kDataLength, 240}});
  ExpectCdbIn(kCdb);
}

TEST_F(RequestBlockTest, MegaRaidOutputSendsOnlyItsData) {
  EXPECT_EQ(megaraid_direct_cdb::Fill(block.data(), Command(cdb::Read6(0, 1), 0, 2, false), 32768), 96u + 512);
  ExpectFields({{srb_io_control::kControlCode, 1}, {srb_io_control::kLength, 68 + 512},
                {megaraid_direct_cdb::kDataLength, 512}});
}

TEST_F(RequestBlockTest, MegaRaidControlByteGivesFormatAndWriteBufferTheirTimeOutClass) {
  const struct { Cdb cdb; bool dataIn; std::uint8_t control; } cases[] = {
      {cdb::FormatUnit(), true, 0x0B}, {cdb::FormatUnit(), false, 0x08},
      {cdb::WriteBuffer10(5, 0, 0, 512), false, 0x0A}, {cdb::WriteBuffer10(5, 0, 0, 512), true, 0x08}};
  for (const auto& c : cases) {
    megaraid_direct_cdb::Fill(block.data(), Command(c.cdb, 0, 2, c.dataIn), 32768);
    EXPECT_EQ(Get8(block.data(), megaraid_direct_cdb::kControl), c.control) << int(c.cdb.bytes[0]) << " " << c.dataIn;
  }
}

TEST_F(RequestBlockTest, Dac960NamesTheDriveInOneByteAndTheDataByItsProcessAddress) {
  using namespace dac960_direct_cdb;
  namespace header = srb_io_control;
  EXPECT_EQ(Fill(block.data(), Command(cdb::Read6(0, 1), 3, 9, true)), 148u + 512);
  ExpectFields({{header::kHeaderLength, 28}, {header::kSignature, 0}, {header::kTimeout, 60},
                {header::kControlCode, 0}, {header::kReturnCode, 0}, {header::kLength, 120 + 512}, {kReserved1, 0},
                {kControllerStatus, 0}, {kReserved2, 0}, {kCommand, 0x04}, {kParameters, 0}, {kDevice, 0x39},
                {kControl, 0x81}, {kTransferLength, 512}, {kDataAddress, Ours(148)}, {kCdbLength, 6},
                {kSenseLength, 64}, {kSenseArea, 0}, {kStatus, 0}, {kReserved3, 0}});
  ExpectCdbIn(kCdb);
}

TEST_F(RequestBlockTest, Dac960TakesBusAndTargetModulo16AndMarksOutput) {
  using namespace dac960_direct_cdb;
  EXPECT_EQ(Fill(block.data(), Command(cdb::Read6(0, 2), 17, 18, false)), 148u + 1024);
  ExpectFields({{kDevice, 0x12}, {kControl, 0x82}, {srb_io_control::kLength, 120 + 1024}});
}

TEST_F(RequestBlockTest, Dac960ControllerCommandCarriesItsParametersAndOnlyOpcodeA0SendsData) {
  using namespace dac960_controller_command;
  namespace header = srb_io_control;
  const std::uint8_t data[64] = {7, 1, 2};
  EXPECT_EQ(Fill(block.data(), 0xA0, 0x11, 0x22, data, 64), 60u + 64);
  ExpectFields({{header::kHeaderLength, 28}, {header::kSignature, 0}, {header::kTimeout, 5},
                {header::kControlCode, 0}, {header::kReturnCode, 0}, {header::kLength, 32 + 64}, {kReserved1, 0},
                {kControllerStatus, 0}, {kReserved2, 0}, {kOpcode, 0xA0}, {kReserved3, 0}, {kParameter1, 0x11},
                {kParameter2, 0x22}, {kZero, 0}, {kReserved4, 0}, {kParameter1Again, 0x11}, {kReserved5, 0}});
  EXPECT_EQ(Bytes(block.begin() + kDataOffset, block.begin() + kDataOffset + 64), Bytes(data, data + 64));
  Fill(block.data(), 0x3D, 0, 0, data, 64);
  EXPECT_EQ(block[kDataOffset], 0) << "0x3D receives into a cleared block";
}

}  // namespace
}  // namespace lumbrel::test
