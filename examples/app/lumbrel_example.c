/* A management application's use of LUMBREL.dll: linked against its import
 * library (libLUMBREL.dll.a or LUMBREL.lib), so Windows loads the DLL with
 * the program. Every export once: the cages and their LEDs, the adapter and
 * disk reports, the drive services, and the three background jobs, each
 * waited for through its callback.
 *
 *   lumbrel_example [ADAPTER BUS TARGET]   the drive to work on (default 0 0 1),
 *                                          on the SCSI port driver class
 */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "lumbrel.h"

/* The jobs call back on their worker threads: each callback keeps its
 * result and wakes the main thread. */
static HANDLE g_done[3];
static volatile LONG g_result[3];

static void Finish(int job, uint32_t result) {
  InterlockedExchange(&g_result[job], (LONG)result);
  SetEvent(g_done[job]);
}
static void LUMBREL_CALL OnActivity(uint32_t result) { Finish(0, result); }
static void LUMBREL_CALL OnFormat(uint32_t result) { Finish(1, result); }
static void LUMBREL_CALL OnFirmware(uint32_t result) { Finish(2, result); }

/* Starts a job and waits for its callback (a job that did not start
 * never calls back); 600 s leaves a format a wide margin. */
static void AwaitJob(const char* name, int job, uint32_t started) {
  printf("%s: started with %lu\n", name, (unsigned long)started);
  if (started != LUMBREL_SUCCESS) return;
  if (WaitForSingleObject(g_done[job], 600000) != WAIT_OBJECT_0) {
    printf("%s: no callback within 600 s\n", name);
    return;
  }
  printf("%s: called back with %lu\n", name, (unsigned long)(uint32_t)g_result[job]);
}

/* Starts the drive's activity light for one unit of 30 seconds and stops it
 * at once: duration 0 ends the flash after its current pass, and the job then
 * calls back. A stop that comes before the job's loop has begun is not seen
 * by it, so the stop is repeated until the callback arrives. */
static void StopFlashAfterItsFirstPass(uint32_t adapter, uint32_t bus, uint32_t target) {
  const uint32_t started = FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, adapter, bus, target, 1);
  int tries;
  printf("FlashDriveActivityLight: started with %lu\n", (unsigned long)started);
  if (started != LUMBREL_SUCCESS) return;
  for (tries = 0; tries < 600; ++tries) {
    FlashDriveActivityLight(LUMBREL_CLASS_SCSIPORT, adapter, bus, target, 0);
    if (WaitForSingleObject(g_done[0], 1000) == WAIT_OBJECT_0) {
      printf("FlashDriveActivityLight: stopped, called back with %lu\n", (unsigned long)(uint32_t)g_result[0]);
      return;
    }
  }
  printf("FlashDriveActivityLight: no callback within 600 s\n");
}

static void PrintCages(void) {
  CageInfo cages[4];
  uint32_t count = 4, c, b;
  const uint32_t result = InitializeDiags(cages, &count);
  printf("InitializeDiags: %lu, %lu cages\n", (unsigned long)result, (unsigned long)count);
  for (c = 0; result == LUMBREL_SUCCESS && c < count && c < 4; ++c) {
    printf("  cage 0x%02X:", cages[c].cageId);
    for (b = 0; b < cages[c].bayCount && b < 3; ++b) {
      printf(" bay %u target %u%s", cages[c].bays[b].bayNumber, cages[c].bays[b].targetId,
             cages[c].bays[b].present ? " (drive)" : "");
    }
    printf("\n");
  }
  if (result == LUMBREL_SUCCESS && count > 0) {
    const uint32_t cage = cages[0].cageId, target = cages[0].bays[0].targetId;
    printf("SFStartFlashPower: %lu\n", (unsigned long)SFStartFlashPower(target, cage));
    printf("SFStopFlashPower: %lu\n", (unsigned long)SFStopFlashPower(target, cage));
    printf("SFAdjustPowerLED: %lu\n", (unsigned long)SFAdjustPowerLED(target, cage, 0));
  }
}

static void PrintReports(void) {
  static AdapterInfoRecord adapters[256];
  static DiskConfigRecord disks[64];
  uint32_t units = 0, adapterCount = 0, i;
  const uint32_t result = CountAdapterUnits(&units, &adapterCount);
  printf("CountAdapterUnits: %lu, %lu units on %lu adapters\n", (unsigned long)result, (unsigned long)units,
         (unsigned long)adapterCount);
  printf("GetAllAdapterInfo: %lu\n", (unsigned long)GetAllAdapterInfo(adapters));
  for (i = 0; i < adapterCount && i < 256; ++i) {
    printf("  adapter %lu: class %lu, %s, %s %s\n", (unsigned long)adapters[i].adapterNumber,
           (unsigned long)adapters[i].classCode, adapters[i].vendorName, adapters[i].driverName,
           adapters[i].driverVersion);
  }
  memset(disks, 0, sizeof disks);
  printf("GetAllDiskConfigInfo: %lu\n", (unsigned long)GetAllDiskConfigInfo(disks, 64));
  for (i = 0; i < 64 && disks[i].vendorProduct[0] != '\0'; ++i) {
    printf("  disk %lu/%lu/%lu: %s rev %s serial %s letters 0x%lX raid %u\n", (unsigned long)disks[i].adapterNumber,
           (unsigned long)disks[i].bus, (unsigned long)disks[i].target, disks[i].vendorProduct,
           disks[i].revisionCode, disks[i].serialNumber, (unsigned long)disks[i].driveLetters, disks[i].raidLevel);
  }
}

static void DriveServices(uint32_t adapter, uint32_t bus, uint32_t target) {
  uint8_t page[LUMBREL_LOG_DATA_SIZE];
  uint32_t raid = 0, readiness = 0, result;
  result = GetRaidLevel(adapter, bus, target, &raid);
  printf("GetRaidLevel: %lu, level %lu\n", (unsigned long)result, (unsigned long)raid);
  printf("GetAllDriveLetters: 0x%lX\n", (unsigned long)GetAllDriveLetters(adapter, bus, target));
  result = GetDriveReadiness(LUMBREL_CLASS_SCSIPORT, adapter, bus, target, &readiness);
  printf("GetDriveReadiness: %lu, readiness %lu\n", (unsigned long)result, (unsigned long)readiness);
  memset(page, 0, sizeof page);
  memcpy(page, "serviced by lumbrel_example", 27);
  printf("WriteDriveLogPage: %lu\n", (unsigned long)WriteDriveLogPage(adapter, bus, target, page, sizeof page, 0));
  memset(page, 0, sizeof page);
  result = ReadDriveLogPage(adapter, bus, target, page, sizeof page);
  printf("ReadDriveLogPage: %lu, \"%.27s\"\n", (unsigned long)result, (const char*)page);
}

int main(int argc, char** argv) {
  static uint8_t image[4096];
  const uint32_t adapter = argc > 3 ? (uint32_t)strtoul(argv[1], NULL, 0) : 0;
  const uint32_t bus = argc > 3 ? (uint32_t)strtoul(argv[2], NULL, 0) : 0;
  const uint32_t target = argc > 3 ? (uint32_t)strtoul(argv[3], NULL, 0) : 1;
  int job;
  for (job = 0; job < 3; ++job) g_done[job] = CreateEventA(NULL, FALSE, FALSE, NULL);

  SetActivityCallback(OnActivity);
  SetFormatCallback(OnFormat);
  SetFirmwareCallback(OnFirmware);
  PrintCages();
  PrintReports();
  DriveServices(adapter, bus, target);

  StopFlashAfterItsFirstPass(adapter, bus, target);
  AwaitJob("DeepFormatDrive", 1, DeepFormatDrive(LUMBREL_CLASS_SCSIPORT, adapter, bus, target));
  /* The image stays valid until the firmware callback. */
  AwaitJob("UpdateDriveFWImage", 2,
           UpdateDriveFWImage(LUMBREL_CLASS_SCSIPORT, adapter, bus, target, image, sizeof image));
  /* Duration 0 stops every light of the bus that still blinks. */
  printf("FlashActivityLightAllDrives: %lu\n",
         (unsigned long)FlashActivityLightAllDrives(LUMBREL_CLASS_SCSIPORT, adapter, bus, 0));

  SetActivityCallback(NULL);
  SetFormatCallback(NULL);
  SetFirmwareCallback(NULL);
  for (job = 0; job < 3; ++job) CloseHandle(g_done[job]);
  return 0;
}
