// The request blocks that the simulated drivers accept, as the drivers see
// them: named fields (offset, size) of the 32-bit Windows structures and of
// the controllers' direct-CDB blocks. Fields are read and written through
// the byte-order helpers; the layouts are checked field by field below.
#pragma once

#include <cstdint>

#include "platform/byte_order.h"

namespace lumbrel::sim::layout {

struct Field {
  std::uint32_t offset;
  std::uint32_t size;
  constexpr std::uint32_t end() const { return offset + size; }
};

constexpr bool Follows(Field next, Field previous) { return next.offset == previous.end(); }

// Little-endian integer fields of 1, 2 or 4 bytes.
inline std::uint32_t Load(const std::uint8_t* block, Field field) {
  const std::uint8_t* p = block + field.offset;
  return field.size == 1 ? *p : field.size == 2 ? LoadLe16(p) : LoadLe32(p);
}
inline void Store(std::uint8_t* block, Field field, std::uint32_t value) {
  std::uint8_t* p = block + field.offset;
  if (field.size == 1) *p = static_cast<std::uint8_t>(value);
  if (field.size == 2) StoreLe16(p, static_cast<std::uint16_t>(value));
  if (field.size == 4) StoreLe32(p, value);
}

// IOCTL codes.
inline constexpr std::uint32_t kIoctlScsiPassThrough = 0x0004D004;  // IOCTL_SCSI_PASS_THROUGH
inline constexpr std::uint32_t kIoctlScsiMiniport = 0x0004D008;     // IOCTL_SCSI_MINIPORT
inline constexpr std::uint32_t kIoctlScsiGetAddress = 0x00041018;   // IOCTL_SCSI_GET_ADDRESS
inline constexpr std::uint32_t kIoctlQzvExecuteSrb = 0x0004204C;    // the maker's controller: device 4, function 0x813
inline constexpr std::uint32_t kIoctlVolumeGetVolumeDiskExtents = 0x00560000;  // IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS

// The access that a control code requires of the handle (bits 14-15):
// 1 read, 2 write.
constexpr std::uint32_t RequiredAccess(std::uint32_t ioctl) { return (ioctl >> 14) & 3; }
static_assert(RequiredAccess(kIoctlScsiPassThrough) == 3 && RequiredAccess(kIoctlScsiMiniport) == 3);
static_assert(RequiredAccess(kIoctlScsiGetAddress) == 0 && RequiredAccess(kIoctlQzvExecuteSrb) == 0);

// SCSI_PASS_THROUGH (32-bit process).
namespace pass_through {
inline constexpr Field kLength{0, 2};
inline constexpr Field kScsiStatus{2, 1};
inline constexpr Field kPathId{3, 1};
inline constexpr Field kTargetId{4, 1};
inline constexpr Field kLun{5, 1};
inline constexpr Field kCdbLength{6, 1};
inline constexpr Field kSenseInfoLength{7, 1};
inline constexpr Field kDataIn{8, 1};
inline constexpr Field kPadding{9, 3};
inline constexpr Field kDataTransferLength{12, 4};
inline constexpr Field kTimeOutValue{16, 4};
inline constexpr Field kDataBufferOffset{20, 4};
inline constexpr Field kSenseInfoOffset{24, 4};
inline constexpr Field kCdb{28, 16};
inline constexpr std::uint32_t kSize = 44;
static_assert(Follows(kScsiStatus, kLength) && Follows(kPathId, kScsiStatus) && Follows(kTargetId, kPathId) &&
              Follows(kLun, kTargetId) && Follows(kCdbLength, kLun) && Follows(kSenseInfoLength, kCdbLength) &&
              Follows(kDataIn, kSenseInfoLength) && Follows(kPadding, kDataIn) &&
              Follows(kDataTransferLength, kPadding) && Follows(kTimeOutValue, kDataTransferLength) &&
              Follows(kDataBufferOffset, kTimeOutValue) && Follows(kSenseInfoOffset, kDataBufferOffset) &&
              Follows(kCdb, kSenseInfoOffset) && kCdb.end() == kSize);
inline constexpr std::uint8_t kDataOut = 0;          // SCSI_IOCTL_DATA_OUT
inline constexpr std::uint8_t kDataInput = 1;        // SCSI_IOCTL_DATA_IN
inline constexpr std::uint8_t kDataUnspecified = 2;  // SCSI_IOCTL_DATA_UNSPECIFIED
inline constexpr std::uint32_t kMaxTimeOut = 30 * 60 * 60;
}  // namespace pass_through

// SCSI_ADDRESS.
namespace scsi_address {
inline constexpr Field kLength{0, 4};
inline constexpr Field kPortNumber{4, 1};
inline constexpr Field kPathId{5, 1};
inline constexpr Field kTargetId{6, 1};
inline constexpr Field kLun{7, 1};
inline constexpr std::uint32_t kSize = 8;
static_assert(Follows(kPortNumber, kLength) && Follows(kPathId, kPortNumber) && Follows(kTargetId, kPathId) &&
              Follows(kLun, kTargetId) && kLun.end() == kSize);
}  // namespace scsi_address

// VOLUME_DISK_EXTENTS: the extent count, then DISK_EXTENTs from offset 8.
namespace volume_disk_extents {
inline constexpr Field kNumberOfDiskExtents{0, 4};
inline constexpr std::uint32_t kFirstExtent = 8;  // DISK_EXTENT holds a LONGLONG: 8-byte aligned
namespace extent {
inline constexpr Field kDiskNumber{0, 4};
inline constexpr std::uint32_t kStartingOffset = 8;  // LARGE_INTEGER
inline constexpr std::uint32_t kExtentLength = 16;   // LARGE_INTEGER
inline constexpr std::uint32_t kSize = 24;
}  // namespace extent
}  // namespace volume_disk_extents

// SRB_IO_CONTROL, the header of every IOCTL_SCSI_MINIPORT request.
namespace srb_io_control {
inline constexpr Field kHeaderLength{0, 4};
inline constexpr Field kSignature{4, 8};
inline constexpr Field kTimeout{12, 4};
inline constexpr Field kControlCode{16, 4};
inline constexpr Field kReturnCode{20, 4};
inline constexpr Field kLength{24, 4};  // bytes after the header
inline constexpr std::uint32_t kSize = 28;
static_assert(Follows(kSignature, kHeaderLength) && Follows(kTimeout, kSignature) && Follows(kControlCode, kTimeout) &&
              Follows(kReturnCode, kControlCode) && Follows(kLength, kReturnCode) && kLength.end() == kSize);
}  // namespace srb_io_control

// SCSI_REQUEST_BLOCK (32-bit process), as the maker's controller driver
// takes it on its private control code.
namespace srb {
inline constexpr Field kLength{0, 2};
inline constexpr Field kFunction{2, 1};
inline constexpr Field kSrbStatus{3, 1};
inline constexpr Field kScsiStatus{4, 1};
inline constexpr Field kPathId{5, 1};
inline constexpr Field kTargetId{6, 1};
inline constexpr Field kLun{7, 1};
inline constexpr Field kQueueTag{8, 1};
inline constexpr Field kQueueAction{9, 1};
inline constexpr Field kCdbLength{10, 1};
inline constexpr Field kSenseInfoBufferLength{11, 1};
inline constexpr Field kSrbFlags{12, 4};
inline constexpr Field kDataTransferLength{16, 4};
inline constexpr Field kTimeOutValue{20, 4};
inline constexpr Field kDataBuffer{24, 4};
inline constexpr Field kSenseInfoBuffer{28, 4};
inline constexpr Field kNextSrb{32, 4};
inline constexpr Field kOriginalRequest{36, 4};
inline constexpr Field kSrbExtension{40, 4};
inline constexpr Field kInternalStatus{44, 4};
inline constexpr Field kCdb{48, 16};
inline constexpr std::uint32_t kSize = 64;
static_assert(Follows(kFunction, kLength) && Follows(kSrbStatus, kFunction) && Follows(kScsiStatus, kSrbStatus) &&
              Follows(kPathId, kScsiStatus) && Follows(kTargetId, kPathId) && Follows(kLun, kTargetId) &&
              Follows(kQueueTag, kLun) && Follows(kQueueAction, kQueueTag) && Follows(kCdbLength, kQueueAction) &&
              Follows(kSenseInfoBufferLength, kCdbLength) && Follows(kSrbFlags, kSenseInfoBufferLength) &&
              Follows(kDataTransferLength, kSrbFlags) && Follows(kTimeOutValue, kDataTransferLength) &&
              Follows(kDataBuffer, kTimeOutValue) && Follows(kSenseInfoBuffer, kDataBuffer) &&
              Follows(kNextSrb, kSenseInfoBuffer) && Follows(kOriginalRequest, kNextSrb) &&
              Follows(kSrbExtension, kOriginalRequest) && Follows(kInternalStatus, kSrbExtension) &&
              Follows(kCdb, kInternalStatus) && kCdb.end() == kSize);
inline constexpr std::uint8_t kFunctionExecuteScsi = 0x00;
inline constexpr std::uint8_t kQueueTagUntagged = 0xFF;  // SP_UNTAGGED
inline constexpr std::uint32_t kFlagDataIn = 0x00000040;
inline constexpr std::uint32_t kFlagDataOut = 0x00000080;
// SrbFlags of the two directions the controller takes: SRB_FLAGS_IS_ACTIVE,
// SRB_FLAGS_DISABLE_SYNCH_TRANSFER and one data direction.
inline constexpr std::uint32_t kFlagsIn = 0x00010048;
inline constexpr std::uint32_t kFlagsOut = 0x00010088;
// TimeOutValue by command, seconds: FORMAT UNIT (in), WRITE BUFFER (out),
// anything else.
inline constexpr std::uint32_t kTimeOutFormat = 7500;
inline constexpr std::uint32_t kTimeOutWriteBuffer = 600;
inline constexpr std::uint32_t kTimeOutDefault = 5;
// An input transfer is at least this long.
inline constexpr std::uint32_t kMinInputLength = 32;
// Where the caller's block puts its sense and data areas, relative to the
// request block: the driver reaches them through the two addresses.
inline constexpr std::uint32_t kSenseArea = 64;
inline constexpr std::uint32_t kSenseAreaSize = 32;
inline constexpr std::uint32_t kDataArea = 96;
static_assert(kSenseArea == kSize && kSenseArea + kSenseAreaSize == kDataArea);
// SRB status codes.
inline constexpr std::uint8_t kStatusSuccess = 0x01;
inline constexpr std::uint8_t kStatusInvalidRequest = 0x06;
inline constexpr std::uint8_t kStatusSelectionTimeout = 0x0A;
inline constexpr std::uint8_t kStatusInvalidPathId = 0x10;
inline constexpr std::uint8_t kStatusInvalidTargetId = 0x11;
inline constexpr std::uint8_t kStatusDataOverrun = 0x12;
inline constexpr std::uint8_t kStatusPhaseSequenceFailure = 0x14;
inline constexpr std::uint8_t kStatusInvalidLun = 0x22;
}  // namespace srb

// MegaRAID request: SRB_IO_CONTROL, then a mailbox whose direct-CDB form
// (command 3) carries the CDB block; the data area follows it.
namespace megaraid {
inline constexpr Field kCommand{28, 1};
inline constexpr Field kCommandStatus{29, 1};
inline constexpr Field kReserved{30, 6};
inline constexpr Field kControl{36, 1};
inline constexpr Field kLogicalDrive{37, 1};
inline constexpr Field kChannel{38, 1};
inline constexpr Field kTarget{39, 1};
inline constexpr Field kQueueTag{40, 1};
inline constexpr Field kQueueAction{41, 1};
inline constexpr Field kCdb{42, 10};
inline constexpr Field kCdbLength{52, 1};
inline constexpr Field kRequestSenseLength{53, 1};
inline constexpr Field kRequestSenseArea{54, 32};
inline constexpr Field kScatterGatherCount{86, 1};
inline constexpr Field kScsiStatus{87, 1};
inline constexpr Field kDataAddress{88, 4};
inline constexpr Field kDataLength{92, 4};
inline constexpr std::uint32_t kDataArea = 96;
static_assert(kCommand.offset == srb_io_control::kSize && Follows(kCommandStatus, kCommand) &&
              Follows(kReserved, kCommandStatus) && Follows(kControl, kReserved) && Follows(kLogicalDrive, kControl) &&
              Follows(kChannel, kLogicalDrive) && Follows(kTarget, kChannel) && Follows(kQueueTag, kTarget) &&
              Follows(kQueueAction, kQueueTag) && Follows(kCdb, kQueueAction) && Follows(kCdbLength, kCdb) &&
              Follows(kRequestSenseLength, kCdbLength) && Follows(kRequestSenseArea, kRequestSenseLength) &&
              Follows(kScatterGatherCount, kRequestSenseArea) && Follows(kScsiStatus, kScatterGatherCount) &&
              Follows(kDataAddress, kScsiStatus) && Follows(kDataLength, kDataAddress) && kDataLength.end() == kDataArea);
inline constexpr std::uint8_t kCommandDirectCdb = 0x03;
inline constexpr std::uint32_t kTimeoutForever = 0xFFFFFFFF;  // SRB_IO_CONTROL.Timeout of every mailbox
// The control byte: bits 0-2 the time-out class, bit 3 automatic request sense.
inline constexpr std::uint8_t kControlAutoSense = 0x08;
inline constexpr std::uint8_t kTimeoutClassDefault = 0;
inline constexpr std::uint8_t kTimeoutClassWriteBuffer = 2;
inline constexpr std::uint8_t kTimeoutClassFormat = 3;
inline constexpr std::uint32_t kControlCodeIn = 0;
inline constexpr std::uint32_t kControlCodeOut = 1;
// SRB_IO_CONTROL.Length counts the mailbox from offset 28: 68 bytes before the data.
inline constexpr std::uint32_t kMailboxBeforeData = kDataArea - srb_io_control::kSize;
static_assert(kMailboxBeforeData == 68);
// Command status bytes.
inline constexpr std::uint8_t kStatusInvalid = 0x01;
inline constexpr std::uint8_t kStatusNoDevice = 0xF0;
inline constexpr std::uint8_t kStatusPreset = 0xAA;  // what the caller presets; a driver always replaces it
inline constexpr std::uint32_t kMaxTransfer = 0x10000;
}  // namespace megaraid

// DAC960 request: SRB_IO_CONTROL, the controller status, the command
// mailbox and, for command 0x04, the direct-CDB block; data follows.
namespace dac960 {
inline constexpr Field kReserved0{28, 4};
inline constexpr Field kControllerStatus{32, 2};
inline constexpr Field kReserved1{34, 10};
inline constexpr Field kCommand{44, 1};
inline constexpr Field kParameters{45, 15};
// Direct CDB (command 0x04).
inline constexpr Field kDevice{60, 1};
inline constexpr Field kControl{61, 1};
inline constexpr Field kTransferLength{62, 2};
inline constexpr Field kDataAddress{64, 4};
inline constexpr Field kCdbLength{68, 1};
inline constexpr Field kSenseLength{69, 1};
inline constexpr Field kCdb{70, 12};
inline constexpr Field kSenseArea{82, 64};
inline constexpr Field kStatus{146, 1};
inline constexpr Field kReserved2{147, 1};
inline constexpr std::uint32_t kDataArea = 148;
static_assert(kReserved0.offset == srb_io_control::kSize && Follows(kControllerStatus, kReserved0) &&
              Follows(kReserved1, kControllerStatus) && Follows(kCommand, kReserved1) &&
              Follows(kParameters, kCommand) && Follows(kDevice, kParameters) && Follows(kControl, kDevice) &&
              Follows(kTransferLength, kControl) && Follows(kDataAddress, kTransferLength) &&
              Follows(kCdbLength, kDataAddress) && Follows(kSenseLength, kCdbLength) && Follows(kCdb, kSenseLength) &&
              Follows(kSenseArea, kCdb) && Follows(kStatus, kSenseArea) && Follows(kReserved2, kStatus) &&
              kReserved2.end() == kDataArea);
// SRB_IO_CONTROL.Length of a direct CDB: 120 bytes before the data.
inline constexpr std::uint32_t kDirectCdbBeforeData = kDataArea - srb_io_control::kSize;
static_assert(kDirectCdbBeforeData == 120);
// Controller commands: parameters at 46 (also 51) and 47, 0 at 48, data
// from 60.
inline constexpr Field kFirstParameter{46, 1};
inline constexpr Field kFirstParameterCopy{51, 1};
inline constexpr Field kSecondParameter{47, 1};
inline constexpr Field kParameterZero{48, 1};
inline constexpr std::uint32_t kCommandData = 60;
inline constexpr std::uint32_t kCommandBeforeData = kCommandData - srb_io_control::kSize;
static_assert(kCommandBeforeData == 32 && kFirstParameter.offset == kParameters.offset + 1);
inline constexpr std::uint8_t kCommandDirectCdb = 0x04;
inline constexpr std::uint8_t kCommandSetHostNumber = 0xA0;
inline constexpr std::uint8_t kCommandControllerInfo = 0x3D;
inline constexpr std::uint32_t kControllerBlockSize = 64;
inline constexpr std::uint32_t kTimeoutDirectCdb = 60;        // SRB_IO_CONTROL.Timeout, seconds
inline constexpr std::uint32_t kTimeoutControllerCommand = 5;
inline constexpr std::uint32_t kControlCode = 0;              // SRB_IO_CONTROL.ControlCode of every request
// The direct CDB's control byte: the direction in bits 0-1, bit 7 set,
// bits 2-6 clear.
inline constexpr std::uint8_t kControlBit7 = 0x80;
inline constexpr std::uint8_t kControlReservedMask = 0x7C;
inline constexpr std::uint8_t kDirectionMask = 0x03;
inline constexpr std::uint8_t kDirectionNone = 0;
inline constexpr std::uint8_t kDirectionIn = 1;
inline constexpr std::uint8_t kDirectionOut = 2;
// Controller status values.
inline constexpr std::uint16_t kStatusNoDevice = 0x000E;
inline constexpr std::uint16_t kStatusTimeout = 0x000F;
inline constexpr std::uint16_t kStatusInvalidCommand = 0x0104;
inline constexpr std::uint16_t kStatusInvalidParameter = 0x0105;
inline constexpr std::uint32_t kMaxTransfer = 4096;
}  // namespace dac960

}  // namespace lumbrel::sim::layout
