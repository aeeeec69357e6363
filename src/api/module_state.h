// Every piece of process-wide state of the library, in one place.
//
// The module constructs one ModuleState when it is loaded and destroys it
// after the process-detach notification, so a test can start from a freshly
// loaded module. Members are constructed in declaration order: the port
// table first, whose construction reads the registry at once. Everything
// else starts empty and is built lazily by the first export that needs it.
#pragma once

#include <atomic>

#include "api/jobs.h"
#include "discovery/port_table.h"
#include "drives/drive_identifier.h"
#include "lumbrel.h"
#include "panel/front_panel.h"
#include "scsi/adapter_list.h"
#include "scsi/address_cache.h"

namespace lumbrel {

// The callback slots through which background jobs report their end. A job
// reads its slot once, when it ends, on its worker thread.
struct CallbackSlots {
  std::atomic<ActivityCallback> activity{nullptr};
  std::atomic<FormatCallback> format{nullptr};
  std::atomic<FirmwareCallback> firmware{nullptr};
};

struct ModuleState {
  PortTable portTable;  // scans the registry at construction
  DriveIdentifier driveIdentifier;
  CallbackSlots callbacks;
  JobMarks jobs;
  std::atomic<std::uint32_t> flashRunning{0};  // the flash loop runs while 1; re-read every pass
  FrontPanel frontPanel;  // the cage tables; filled by InitializeDiags
  ScsiAddressCache addressCache;  // class-driver devices by SCSI address
  // Built by the first export that needs an adapter; declared after what
  // its adapters use, so destroyed before it.
  AdapterList adapterList{portTable, addressCache};
};

// The state of the loaded module. Valid between load and unload only.
ModuleState& Module();

// Module lifecycle, shared by the Windows entry point and the host loader.
void ConstructModuleState();  // before the process-attach notification
void OnProcessAttach();
void OnProcessDetach();
void DestroyModuleState();  // after the process-detach notification
bool IsModuleLoaded();

}  // namespace lumbrel
