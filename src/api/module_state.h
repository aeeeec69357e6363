// Every piece of process-wide state of the library, in one place.
//
// The module constructs one ModuleState when it is loaded and destroys it
// after the process-detach notification, so a test can start from a freshly
// loaded module. Members are constructed in declaration order: the port
// table first, whose construction reads the registry at once. Everything
// else starts empty and is built lazily by the first export that needs it.
#pragma once

#include <atomic>
#include <mutex>

#include "api/jobs.h"
#include "discovery/port_table.h"
#include "drives/drive_identifier.h"
#include "drives/drive_letter_map.h"
#include "drives/member_expansion.h"
#include "lumbrel.h"
#include "panel/front_panel.h"
#include "platform/lock.h"
#include "raid/array_library.h"
#include "raid/raid_config_list.h"
#include "reports/disk_config_report.h"
#include "reports/drive_readiness.h"
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

// The drive-letter map's view of the RAID views: the members behind an address.
class RaidMemberExpansion final : public MemberExpansion {
 public:
  explicit RaidMemberExpansion(RaidConfigList& raidConfigs) : raidConfigs_(raidConfigs) {}
  std::uint32_t ExpandLogicalDrive(DriveAddress address, std::uint32_t* count, DriveAddress* members) override {
    return raidConfigs_.ExpandLogicalDrive(address, count, members);
  }

 private:
  RaidConfigList& raidConfigs_;
};

struct ModuleState {
  // Taken by every export for its work on the caller's thread (CallerTurn).
  platform::RecursiveLock callerLock;
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
  ArrayLibrary arrayLibrary;  // loaded only while a view of the maker's controller refreshes
  // Built by the first RAID-level, readiness, disk-configuration or
  // drive-letter query; its views point at adapters of the list above.
  RaidConfigList raidConfigs{portTable, adapterList, arrayLibrary};
  RaidMemberExpansion memberExpansion{raidConfigs};
  // Constructed empty, like everything after the identifier: the objects
  // between them only hold references, so nothing else happens at load.
  DriveLetterMap driveLetterMap{memberExpansion};
  DriveReadiness readiness{adapterList, raidConfigs, driveLetterMap};
  DiskConfigReport diskConfigReport{adapterList, raidConfigs, driveLetterMap, driveIdentifier};
};

// The state of the loaded module. Valid between load and unload only.
ModuleState& Module();

// One export's turn on its caller's thread. Callers may call from many
// threads at once, but the adapter list, the adapters' own handles and data
// areas, the RAID views and the letter map are built and used by one caller
// at a time. Job workers run on request blocks and handles of their own and
// never take it, and no export waits for a worker while holding it.
class CallerTurn {
  std::lock_guard<platform::RecursiveLock> held_{Module().callerLock};
};

// Module lifecycle, shared by the Windows entry point and the host loader.
// Detach and destruction come with the module's last reference, which no
// worker holds any more: they wait for nothing. At process exit neither
// runs (the process's other threads are gone, perhaps mid-update).
void ConstructModuleState();  // before the process-attach notification
void OnProcessAttach();
void OnProcessDetach();
void DestroyModuleState();  // after the process-detach notification
bool IsModuleLoaded();

}  // namespace lumbrel
