// The request formats of the SCSI layer, checked against the Windows SDK's
// own structures and control codes.
#include <cstddef>

#include "platform/win32.h"

#include <winioctl.h>
#include <ntddscsi.h>

#include "scsi/cdb.h"
#include "scsi/request_formats.h"

namespace lumbrel {

static_assert(kIoctlScsiPassThrough == IOCTL_SCSI_PASS_THROUGH);
static_assert(kIoctlScsiMiniport == IOCTL_SCSI_MINIPORT);
static_assert(kIoctlScsiGetAddress == IOCTL_SCSI_GET_ADDRESS);
static_assert(kIoctlQzvExecuteSrb == CTL_CODE(FILE_DEVICE_CONTROLLER, 0x813, METHOD_BUFFERED, FILE_ANY_ACCESS));
static_assert(kFileDeviceController == FILE_DEVICE_CONTROLLER);

// A: SCSI_PASS_THROUGH.
static_assert(sizeof(SCSI_PASS_THROUGH) == pass_through::kHeaderSize);
static_assert(offsetof(SCSI_PASS_THROUGH, Length) == pass_through::kLength.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, ScsiStatus) == pass_through::kScsiStatus.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, PathId) == pass_through::kPathId.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, TargetId) == pass_through::kTargetId.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, Lun) == pass_through::kLun.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, CdbLength) == pass_through::kCdbLength.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoLength) == pass_through::kSenseInfoLength.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, DataIn) == pass_through::kDataIn.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, DataTransferLength) == pass_through::kDataTransferLength.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, TimeOutValue) == pass_through::kTimeOutValue.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == pass_through::kDataBufferOffset.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoOffset) == pass_through::kSenseInfoOffset.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, Cdb) == pass_through::kCdb.offset);
static_assert(sizeof(SCSI_PASS_THROUGH::Cdb) == pass_through::kCdb.size);
static_assert(SCSI_IOCTL_DATA_IN == pass_through::kDataInValue && SCSI_IOCTL_DATA_OUT == pass_through::kDataOut);

// SRB_IO_CONTROL, the header of formats C and D.
static_assert(sizeof(SRB_IO_CONTROL) == srb_io_control::kSize);
static_assert(offsetof(SRB_IO_CONTROL, HeaderLength) == srb_io_control::kHeaderLength.offset);
static_assert(offsetof(SRB_IO_CONTROL, Signature) == srb_io_control::kSignature.offset);
static_assert(sizeof(SRB_IO_CONTROL::Signature) == srb_io_control::kSignature.size);
static_assert(offsetof(SRB_IO_CONTROL, Timeout) == srb_io_control::kTimeout.offset);
static_assert(offsetof(SRB_IO_CONTROL, ControlCode) == srb_io_control::kControlCode.offset);
static_assert(offsetof(SRB_IO_CONTROL, ReturnCode) == srb_io_control::kReturnCode.offset);
static_assert(offsetof(SRB_IO_CONTROL, Length) == srb_io_control::kLength.offset);

// E: SCSI_ADDRESS.
static_assert(sizeof(SCSI_ADDRESS) == scsi_address::kSize);
static_assert(offsetof(SCSI_ADDRESS, Length) == scsi_address::kLength.offset);
static_assert(offsetof(SCSI_ADDRESS, PortNumber) == scsi_address::kPortNumber.offset);
static_assert(offsetof(SCSI_ADDRESS, PathId) == scsi_address::kPathId.offset);
static_assert(offsetof(SCSI_ADDRESS, TargetId) == scsi_address::kTargetId.offset);
static_assert(offsetof(SCSI_ADDRESS, Lun) == scsi_address::kLun.offset);

}  // namespace lumbrel
