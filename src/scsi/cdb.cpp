#include "scsi/cdb.h"

namespace lumbrel {
namespace {

constexpr std::uint32_t kBlockSize = 512;

}  // namespace

std::uint32_t CdbTransferLength(const std::uint8_t* cdb, std::uint32_t cdbLength) {
  if (cdb == nullptr || cdbLength == 0) return 0;
  // A field that lies past the CDB's end reads as zero.
  auto at = [&](std::uint32_t i) -> std::uint32_t { return i < cdbLength ? cdb[i] : 0; };
  switch (cdb[0]) {
    case scsi_op::kRead6:
    case scsi_op::kWrite6:
      return at(4) * kBlockSize;  // 0 blocks moves nothing here, not 256
    case scsi_op::kVendor20:
    case scsi_op::kLogSelect:
    case scsi_op::kLogSense:
      return (at(7) << 8) | at(8);
    case scsi_op::kReadCapacity:
      return 8;
    case scsi_op::kRead10:
    case scsi_op::kWrite10:
      return ((at(7) << 8) | at(8)) * kBlockSize;
    case scsi_op::kWriteBuffer:
    case scsi_op::kReadBuffer:
      return (at(6) << 16) | (at(7) << 8) | at(8);
    default:
      return cdbLength == 6 ? at(4) : 0;
  }
}

}  // namespace lumbrel
