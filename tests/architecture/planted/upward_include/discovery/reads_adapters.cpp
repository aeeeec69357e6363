// Planted violation: discovery reaching up into the SCSI layer.
#include "scsi/adapter_list.h"
