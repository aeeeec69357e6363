// Planted violation: the simulator writing a reply with the library's own layout.
#include "sim/volume_device.h"
#include "platform/byte_order.h"
#include "drives/volume_disk_extents.h"
