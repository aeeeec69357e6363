// The request blocks that carry SCSI commands to the drivers, byte for byte.
//
// They are wire formats shared with kernel drivers, so each is given here once
// as a table of named fields (offset, size); every table is checked at compile
// time to tile its block without gap or overlap. Multi-byte fields are
// little-endian and are read and written through byte_order.h. The Windows
// build checks the formats that the SDK also defines against its headers.
//
//   A  SCSI_PASS_THROUGH: port and class-driver devices, IOCTL_SCSI_PASS_THROUGH
//   B  SCSI_REQUEST_BLOCK: the maker's controller, its private control code
//   C  MegaRAID direct CDB: IOCTL_SCSI_MINIPORT
//   D  DAC960 direct CDB and controller command: IOCTL_SCSI_MINIPORT
//   E  SCSI_ADDRESS: the reply of IOCTL_SCSI_GET_ADDRESS
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace lumbrel {

struct Field {
  std::uint32_t offset;
  std::uint32_t size;
  constexpr std::uint32_t end() const { return offset + size; }
};

// Whether the fields, in order, cover [0, total) exactly.
constexpr bool TilesBlock(std::initializer_list<Field> fields, std::uint32_t total) {
  std::uint32_t next = 0;
  for (const Field& field : fields) {
    if (field.offset != next || field.size == 0) return false;
    next = field.end();
  }
  return next == total;
}

// Control codes: CTL_CODE(device type, function, method, access).
constexpr std::uint32_t ControlCode(std::uint32_t deviceType, std::uint32_t function, std::uint32_t method,
                                    std::uint32_t access) {
  return (deviceType << 16) | (access << 14) | (function << 2) | method;
}
inline constexpr std::uint32_t kFileDeviceController = 0x04;
inline constexpr std::uint32_t kMethodBuffered = 0;
inline constexpr std::uint32_t kFileAnyAccess = 0;
inline constexpr std::uint32_t kFileReadWriteAccess = 3;

inline constexpr std::uint32_t kIoctlScsiPassThrough =
    ControlCode(kFileDeviceController, 0x401, kMethodBuffered, kFileReadWriteAccess);
inline constexpr std::uint32_t kIoctlScsiMiniport =
    ControlCode(kFileDeviceController, 0x402, kMethodBuffered, kFileReadWriteAccess);
inline constexpr std::uint32_t kIoctlScsiGetAddress =
    ControlCode(kFileDeviceController, 0x406, kMethodBuffered, kFileAnyAccess);
// The maker's controller driver takes SCSI_REQUEST_BLOCKs on a code of its own.
inline constexpr std::uint32_t kIoctlQzvExecuteSrb = ControlCode(kFileDeviceController, 0x813, kMethodBuffered, kFileAnyAccess);
static_assert(kIoctlScsiPassThrough == 0x0004D004u);
static_assert(kIoctlScsiMiniport == 0x0004D008u);
static_assert(kIoctlScsiGetAddress == 0x00041018u);
static_assert(kIoctlQzvExecuteSrb == 0x0004204Cu);

// ---- A: SCSI_PASS_THROUGH ----------------------------------------------------
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
inline constexpr Field kSenseArea{44, 32};  // written by the port driver
inline constexpr Field kUnused{76, 84};
inline constexpr std::uint32_t kHeaderSize = 44;  // the SCSI_PASS_THROUGH structure itself
inline constexpr std::uint32_t kDataOffset = 160;
static_assert(TilesBlock({kLength, kScsiStatus, kPathId, kTargetId, kLun, kCdbLength, kSenseInfoLength, kDataIn,
                          kPadding, kDataTransferLength, kTimeOutValue, kDataBufferOffset, kSenseInfoOffset, kCdb,
                          kSenseArea, kUnused},
                         kDataOffset));
static_assert(kSenseArea.offset == kHeaderSize);

inline constexpr std::uint8_t kDataOut = 0;  // SCSI_IOCTL_DATA_OUT
inline constexpr std::uint8_t kDataInValue = 1;  // SCSI_IOCTL_DATA_IN
inline constexpr std::uint32_t kTimeOutSeconds = 5000;
}  // namespace pass_through

// ---- B: SCSI_REQUEST_BLOCK ----------------------------------------------------
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
inline constexpr Field kSenseArea{64, 32};  // reached by the driver through SenseInfoBuffer
inline constexpr std::uint32_t kBlockSize = 64;
inline constexpr std::uint32_t kDataOffset = 96;
static_assert(TilesBlock({kLength, kFunction, kSrbStatus, kScsiStatus, kPathId, kTargetId, kLun, kQueueTag,
                          kQueueAction, kCdbLength, kSenseInfoBufferLength, kSrbFlags, kDataTransferLength,
                          kTimeOutValue, kDataBuffer, kSenseInfoBuffer, kNextSrb, kOriginalRequest, kSrbExtension,
                          kInternalStatus, kCdb, kSenseArea},
                         kDataOffset));
static_assert(kSenseArea.offset == kBlockSize);

inline constexpr std::uint8_t kFunctionExecuteScsi = 0x00;
inline constexpr std::uint8_t kUntagged = 0xFF;  // SP_UNTAGGED
inline constexpr std::uint32_t kFlagDataIn = 0x00000040;
inline constexpr std::uint32_t kFlagDataOut = 0x00000080;
inline constexpr std::uint32_t kFlagDisableSynchTransfer = 0x00000008;
inline constexpr std::uint32_t kFlagIsActive = 0x00010000;
inline constexpr std::uint32_t kFlagsIn = kFlagIsActive | kFlagDataIn | kFlagDisableSynchTransfer;
inline constexpr std::uint32_t kFlagsOut = kFlagIsActive | kFlagDataOut | kFlagDisableSynchTransfer;
static_assert(kFlagsIn == 0x00010048u && kFlagsOut == 0x00010088u);
inline constexpr std::uint8_t kStatusSuccess = 0x01;
inline constexpr std::uint8_t kStatusSelectionTimeout = 0x0A;
inline constexpr std::uint8_t kStatusDataOverrun = 0x12;
inline constexpr std::uint32_t kMinimumInputLength = 32;  // input transfers ask for at least this much
inline constexpr std::uint32_t kFormatTimeOutSeconds = 7500;
inline constexpr std::uint32_t kWriteBufferTimeOutSeconds = 600;
inline constexpr std::uint32_t kTimeOutSeconds = 5;
}  // namespace srb

// ---- SRB_IO_CONTROL: the header of every IOCTL_SCSI_MINIPORT request ----------
namespace srb_io_control {
inline constexpr Field kHeaderLength{0, 4};
inline constexpr Field kSignature{4, 8};
inline constexpr Field kTimeout{12, 4};
inline constexpr Field kControlCode{16, 4};
inline constexpr Field kReturnCode{20, 4};
inline constexpr Field kLength{24, 4};
inline constexpr std::uint32_t kSize = 28;
static_assert(TilesBlock({kHeaderLength, kSignature, kTimeout, kControlCode, kReturnCode, kLength}, kSize));
}  // namespace srb_io_control

// ---- C: MegaRAID direct CDB ---------------------------------------------------
namespace megaraid {
inline constexpr Field kHeader{0, srb_io_control::kSize};
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
inline constexpr Field kSenseArea{54, 32};
inline constexpr Field kScatterGatherCount{86, 1};
inline constexpr Field kScsiStatus{87, 1};
inline constexpr Field kDataAddress{88, 4};
inline constexpr Field kDataLength{92, 4};
inline constexpr std::uint32_t kDataOffset = 96;
static_assert(TilesBlock({kHeader, kCommand, kCommandStatus, kReserved, kControl, kLogicalDrive, kChannel, kTarget,
                          kQueueTag, kQueueAction, kCdb, kCdbLength, kRequestSenseLength, kSenseArea,
                          kScatterGatherCount, kScsiStatus, kDataAddress, kDataLength},
                         kDataOffset));

inline constexpr std::uint32_t kTimeout = 0xFFFFFFFF;
inline constexpr std::uint32_t kControlCodeIn = 0;
inline constexpr std::uint32_t kControlCodeOut = 1;
inline constexpr std::uint8_t kDirectCdb = 3;
inline constexpr std::uint8_t kStatusPreset = 0xAA;  // the driver overwrites it
inline constexpr std::uint8_t kStatusNoDevice = 0xF0;
// Control byte: bits 0-2 the time-out class, bit 3 automatic request sense.
inline constexpr std::uint8_t kControlDefault = 0x08;
inline constexpr std::uint8_t kControlFormat = 0x0B;
inline constexpr std::uint8_t kControlWriteBuffer = 0x0A;
// SRB_IO_CONTROL.Length counts the bytes after the header up to the data's end.
inline constexpr std::uint32_t kLengthBase = kDataOffset - srb_io_control::kSize;
static_assert(kLengthBase == 68);
}  // namespace megaraid

// ---- D: DAC960 direct CDB ------------------------------------------------------
namespace dac960 {
inline constexpr Field kHeader{0, srb_io_control::kSize};
inline constexpr Field kReserved1{28, 4};
inline constexpr Field kControllerStatus{32, 2};
inline constexpr Field kReserved2{34, 10};
inline constexpr Field kCommand{44, 1};
inline constexpr Field kParameters{45, 15};
inline constexpr Field kDevice{60, 1};
inline constexpr Field kControl{61, 1};
inline constexpr Field kTransferLength{62, 2};
inline constexpr Field kDataAddress{64, 4};
inline constexpr Field kCdbLength{68, 1};
inline constexpr Field kSenseLength{69, 1};
inline constexpr Field kCdb{70, 12};
inline constexpr Field kSenseArea{82, 64};
inline constexpr Field kStatus{146, 1};
inline constexpr Field kReserved3{147, 1};
inline constexpr std::uint32_t kDataOffset = 148;
static_assert(TilesBlock({kHeader, kReserved1, kControllerStatus, kReserved2, kCommand, kParameters, kDevice, kControl,
                          kTransferLength, kDataAddress, kCdbLength, kSenseLength, kCdb, kSenseArea, kStatus,
                          kReserved3},
                         kDataOffset));

inline constexpr std::uint32_t kTimeout = 60;
inline constexpr std::uint8_t kDirectCdb = 0x04;
inline constexpr std::uint8_t kControlIn = 0x81;   // direction 1 (data in), bit 7 set
inline constexpr std::uint8_t kControlOut = 0x82;  // direction 2 (data out), bit 7 set
inline constexpr std::uint32_t kLengthBase = 120;
inline constexpr std::uint16_t kStatusNoDevice = 14;
inline constexpr std::uint16_t kStatusSelectionTimeout = 15;

// The controller-command form of the same block: no DCDB, the command's data
// straight after the parameters.
namespace command {
inline constexpr Field kHeader{0, srb_io_control::kSize};
inline constexpr Field kReserved1{28, 4};
inline constexpr Field kControllerStatus{32, 2};
inline constexpr Field kReserved2{34, 10};
inline constexpr Field kOpcode{44, 1};
inline constexpr Field kReserved3{45, 1};
inline constexpr Field kParameter1{46, 1};
inline constexpr Field kParameter2{47, 1};
inline constexpr Field kZero{48, 1};
inline constexpr Field kReserved4{49, 2};
inline constexpr Field kParameter1Again{51, 1};
inline constexpr Field kReserved5{52, 8};
inline constexpr std::uint32_t kDataOffset = 60;
static_assert(TilesBlock({kHeader, kReserved1, kControllerStatus, kReserved2, kOpcode, kReserved3, kParameter1,
                          kParameter2, kZero, kReserved4, kParameter1Again, kReserved5},
                         kDataOffset));
inline constexpr std::uint32_t kTimeout = 5;
inline constexpr std::uint32_t kLengthBase = 32;
inline constexpr std::uint32_t kMaxData = 4096;
inline constexpr std::uint8_t kOpcodeSendsData = 0xA0;  // the only opcode whose data goes to the controller
}  // namespace command
}  // namespace dac960

// ---- E: SCSI_ADDRESS -------------------------------------------------------------
namespace scsi_address {
inline constexpr Field kLength{0, 4};
inline constexpr Field kPortNumber{4, 1};
inline constexpr Field kPathId{5, 1};
inline constexpr Field kTargetId{6, 1};
inline constexpr Field kLun{7, 1};
inline constexpr std::uint32_t kSize = 8;
static_assert(TilesBlock({kLength, kPortNumber, kPathId, kTargetId, kLun}, kSize));
}  // namespace scsi_address

// Bytes that the variants keep after the data area's largest transfer: the
// transfer buffer is maxTransfer + kTransferBufferExtra bytes, enough for
// every format's block in front of the data.
inline constexpr std::uint32_t kTransferBufferExtra = 160;
static_assert(pass_through::kDataOffset <= kTransferBufferExtra && srb::kDataOffset <= kTransferBufferExtra &&
              megaraid::kDataOffset <= kTransferBufferExtra && dac960::kDataOffset <= kTransferBufferExtra);

}  // namespace lumbrel
