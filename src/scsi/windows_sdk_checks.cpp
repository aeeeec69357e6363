// The request blocks of the SCSI layer that the Windows SDK also defines,
// checked against its structures and control codes. Windows build only.
#include <cstddef>

#include "platform/win32.h"

#include <winioctl.h>
#include <ntddscsi.h>

#include "scsi/control_codes.h"
#include "scsi/scsi_address.h"
#include "scsi/scsi_pass_through.h"
#include "scsi/srb_io_control.h"

namespace lumbrel {

static_assert(kIoctlScsiPassThrough == IOCTL_SCSI_PASS_THROUGH);
static_assert(kIoctlScsiMiniport == IOCTL_SCSI_MINIPORT);
static_assert(kIoctlScsiGetAddress == IOCTL_SCSI_GET_ADDRESS);
static_assert(kIoctlQzvExecuteSrb == CTL_CODE(FILE_DEVICE_CONTROLLER, 0x813, METHOD_BUFFERED, FILE_ANY_ACCESS));
static_assert(kFileDeviceController == FILE_DEVICE_CONTROLLER);

// SCSI_PASS_THROUGH.
static_assert(sizeof(SCSI_PASS_THROUGH) == scsi_pass_through::kStructureSize);
static_assert(offsetof(SCSI_PASS_THROUGH, Length) == scsi_pass_through::kLength.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, ScsiStatus) == scsi_pass_through::kScsiStatus.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, PathId) == scsi_pass_through::kPathId.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, TargetId) == scsi_pass_through::kTargetId.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, Lun) == scsi_pass_through::kLun.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, CdbLength) == scsi_pass_through::kCdbLength.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoLength) == scsi_pass_through::kSenseInfoLength.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, DataIn) == scsi_pass_through::kDataIn.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, DataTransferLength) == scsi_pass_through::kDataTransferLength.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, TimeOutValue) == scsi_pass_through::kTimeOutValue.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == scsi_pass_through::kDataBufferOffset.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoOffset) == scsi_pass_through::kSenseInfoOffset.offset);
static_assert(offsetof(SCSI_PASS_THROUGH, Cdb) == scsi_pass_through::kCdb.offset);
static_assert(sizeof(SCSI_PASS_THROUGH::Cdb) == scsi_pass_through::kCdb.size);
static_assert(SCSI_IOCTL_DATA_IN == scsi_pass_through::kDataInValue && SCSI_IOCTL_DATA_OUT == scsi_pass_through::kDataOut);

// SRB_IO_CONTROL, the header of the MegaRAID and DAC960 requests.
static_assert(sizeof(SRB_IO_CONTROL) == srb_io_control::kSize);
static_assert(offsetof(SRB_IO_CONTROL, HeaderLength) == srb_io_control::kHeaderLength.offset);
static_assert(offsetof(SRB_IO_CONTROL, Signature) == srb_io_control::kSignature.offset);
static_assert(sizeof(SRB_IO_CONTROL::Signature) == srb_io_control::kSignature.size);
static_assert(offsetof(SRB_IO_CONTROL, Timeout) == srb_io_control::kTimeout.offset);
static_assert(offsetof(SRB_IO_CONTROL, ControlCode) == srb_io_control::kControlCode.offset);
static_assert(offsetof(SRB_IO_CONTROL, ReturnCode) == srb_io_control::kReturnCode.offset);
static_assert(offsetof(SRB_IO_CONTROL, Length) == srb_io_control::kLength.offset);

// SCSI_ADDRESS.
static_assert(sizeof(SCSI_ADDRESS) == scsi_address::kSize);
static_assert(offsetof(SCSI_ADDRESS, Length) == scsi_address::kLength.offset);
static_assert(offsetof(SCSI_ADDRESS, PortNumber) == scsi_address::kPortNumber.offset);
static_assert(offsetof(SCSI_ADDRESS, PathId) == scsi_address::kPathId.offset);
static_assert(offsetof(SCSI_ADDRESS, TargetId) == scsi_address::kTargetId.offset);
static_assert(offsetof(SCSI_ADDRESS, Lun) == scsi_address::kLun.offset);

}  // namespace lumbrel
