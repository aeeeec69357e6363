/*
 * LUMBREL.dll: diagnostics and service of the drives in a server's hot-swap
 * cages, and of the cages' front-panel indicators.
 *
 * Every export uses the standard Windows calling convention (the callee
 * removes the arguments) and takes 32-bit arguments. Adapter, ordinal, bus,
 * target and cage arguments use only their low 8 bits; durations their low
 * 16 bits. Records are byte-packed and little-endian; text fields are 8-bit,
 * NUL-terminated and zero-padded.
 *
 * The firmware export is exported under its decorated name only:
 * GetProcAddress(module, "_UpdateDriveFWImage@24").
 */
#ifndef LUMBREL_H
#define LUMBREL_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define LUMBREL_CALL __stdcall
#else
#define LUMBREL_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Result codes ------------------------------------------------------
 * One 32-bit space for every export; 0 is success. Besides the codes below,
 * SCSI statuses (2 = CHECK CONDITION), controller statuses, Windows error
 * codes and the I2C library's own codes pass through unchanged. */
#define LUMBREL_SUCCESS 0u
#define LUMBREL_JOB_EXISTS_OR_NO_ADAPTER 0xFFFFFFFFu /* -1: a job of that kind runs, or no such adapter */
#define LUMBREL_NO_JOB_BLOCK 0xFFFFFFFEu             /* -2: the job's start block could not be allocated */
#define LUMBREL_CHECK_CONDITION 2u                   /* SCSI status CHECK CONDITION */
#define LUMBREL_NO_MEMORY 8u                         /* an adapter object or buffer could not be allocated */
#define LUMBREL_NO_CAGE 20u                          /* no cage answered on the I2C bus */
#define LUMBREL_TARGET_NOT_IN_CAGE 22u               /* the target id is none of the cage's bays */
#define LUMBREL_CAGE_NOT_FOUND 24u                   /* no cage with that id was found by InitializeDiags */
#define LUMBREL_BAD_BUS 55u                          /* bus beyond the adapter's buses; device handle not open */
#define LUMBREL_INVALID_PARAMETER 87u                /* the driver refused the request block */
#define LUMBREL_NO_DEVICE 130u                       /* no device answered at that address */
#define LUMBREL_NOT_SUPPORTED 1200u                  /* no such adapter, or the adapter cannot do it */
#define LUMBREL_OPERATION_REFUSED 1004001u           /* drive or adapter does not allow the operation */
#define LUMBREL_NO_LOG_PAGE 55555u                   /* the drive does not offer the log page service */

/* ---- Adapter classes (the family of a SCSI port's driver) -------------- */
#define LUMBREL_CLASS_BASE 0u
#define LUMBREL_CLASS_MEGARAID 1u
#define LUMBREL_CLASS_DAC960 2u
#define LUMBREL_CLASS_HHBA5100 3u
#define LUMBREL_CLASS_SCSIPORT 4u
#define LUMBREL_CLASS_ATAPI 5u
#define LUMBREL_CLASS_QZV 6u

/* ---- Callbacks: called on the job's worker thread with its result ------- */
typedef void(LUMBREL_CALL* ActivityCallback)(uint32_t result);
typedef void(LUMBREL_CALL* FormatCallback)(uint32_t result);
typedef void(LUMBREL_CALL* FirmwareCallback)(uint32_t result);

/* ---- Caller-visible records --------------------------------------------- */
#pragma pack(push, 1)

/* One bay of a cage. */
typedef struct BayInfo {
  uint8_t targetId;   /* SCSI target id of the bay */
  uint8_t present;    /* 1 when a drive sits in the bay */
  uint16_t bayNumber; /* 1, 2 or 3 */
} BayInfo;

/* One cage, as InitializeDiags reports it. Only bays[0..2] are written. */
typedef struct CageInfo {
  uint16_t cageId;   /* the cage's port B address, 0x24 to 0x27 */
  uint16_t bayCount; /* 3, or 0 when the cage could not be read */
  BayInfo bays[8];
} CageInfo;

/* One host adapter, as GetAllAdapterInfo reports it. */
typedef struct AdapterInfoRecord {
  uint32_t adapterNumber; /* SCSI port number */
  uint32_t classCode;     /* LUMBREL_CLASS_* */
  char vendorName[20];    /* "???" when unknown */
  char driverName[20];
  char driverVersion[30]; /* FileVersion of the driver's image; empty when not found */
} AdapterInfoRecord;

/* One drive, as GetAllDiskConfigInfo reports it. */
typedef struct DiskConfigRecord {
  uint32_t adapterNumber;
  uint32_t bus;
  uint32_t target;
  char revisionCode[20];
  uint32_t vendorNumber; /* 255 when the device is not a direct-access device */
  char description[9];
  char serialNumber[20];
  char vendorProduct[30];
  uint32_t driveLetters; /* bit 0 = A: */
  uint8_t raidLevel;     /* 255 when the drive belongs to no array */
  uint8_t reserved[8];
} DiskConfigRecord;

#pragma pack(pop)

/* The data area kept in a drive's log page, in bytes. */
#define LUMBREL_LOG_DATA_SIZE 600u

/* Layout checks at compile time, in every C and C++ dialect: a negative
 * array size where neither static_assert nor _Static_assert exists. */
#if defined(__cplusplus) && (__cplusplus >= 201103L || (defined(_MSC_VER) && _MSC_VER >= 1600))
#define LUMBREL_STATIC_ASSERT(cond, name) static_assert(cond, #name)
#elif !defined(__cplusplus) && defined(__STDC_VERSION__) && __STDC_VERSION__ >= 201112L
#define LUMBREL_STATIC_ASSERT(cond, name) _Static_assert(cond, #name)
#else
#define LUMBREL_STATIC_ASSERT(cond, name) typedef char lumbrel_check_##name[(cond) ? 1 : -1]
#endif
LUMBREL_STATIC_ASSERT(sizeof(BayInfo) == 4, BayInfo_size);
LUMBREL_STATIC_ASSERT(sizeof(CageInfo) == 36, CageInfo_size);
LUMBREL_STATIC_ASSERT(offsetof(CageInfo, bays) == 4, CageInfo_bays);
LUMBREL_STATIC_ASSERT(sizeof(AdapterInfoRecord) == 78, AdapterInfoRecord_size);
LUMBREL_STATIC_ASSERT(offsetof(AdapterInfoRecord, vendorName) == 8, AdapterInfoRecord_vendorName);
LUMBREL_STATIC_ASSERT(offsetof(AdapterInfoRecord, driverName) == 28, AdapterInfoRecord_driverName);
LUMBREL_STATIC_ASSERT(offsetof(AdapterInfoRecord, driverVersion) == 48, AdapterInfoRecord_driverVersion);
LUMBREL_STATIC_ASSERT(sizeof(DiskConfigRecord) == 108, DiskConfigRecord_size);
LUMBREL_STATIC_ASSERT(offsetof(DiskConfigRecord, revisionCode) == 12, DiskConfigRecord_revisionCode);
LUMBREL_STATIC_ASSERT(offsetof(DiskConfigRecord, vendorNumber) == 32, DiskConfigRecord_vendorNumber);
LUMBREL_STATIC_ASSERT(offsetof(DiskConfigRecord, description) == 36, DiskConfigRecord_description);
LUMBREL_STATIC_ASSERT(offsetof(DiskConfigRecord, serialNumber) == 45, DiskConfigRecord_serialNumber);
LUMBREL_STATIC_ASSERT(offsetof(DiskConfigRecord, vendorProduct) == 65, DiskConfigRecord_vendorProduct);
LUMBREL_STATIC_ASSERT(offsetof(DiskConfigRecord, driveLetters) == 95, DiskConfigRecord_driveLetters);
LUMBREL_STATIC_ASSERT(offsetof(DiskConfigRecord, raidLevel) == 99, DiskConfigRecord_raidLevel);
LUMBREL_STATIC_ASSERT(offsetof(DiskConfigRecord, reserved) == 100, DiskConfigRecord_reserved);

/* ---- Exports -------------------------------------------------------------
 * Drives are named by adapter, bus and target. The adapter is either its
 * number (the SCSI port number) or a class code and ordinal: for classes 0, 4
 * and 5 the ordinal is the adapter number itself, for 1, 2, 3 and 6 it counts
 * the ports of that class from 0. */

/* Cages and front-panel indicators. */
uint32_t LUMBREL_CALL InitializeDiags(CageInfo* cages, uint32_t* cageCount);
uint32_t LUMBREL_CALL SFStartFlashPower(uint32_t targetId, uint32_t cageId);
uint32_t LUMBREL_CALL SFStopFlashPower(uint32_t targetId, uint32_t cageId);
uint32_t LUMBREL_CALL SFAdjustPowerLED(uint32_t targetId, uint32_t cageId, uint32_t flash);

/* Callback registration; null switches the report off. */
void LUMBREL_CALL SetActivityCallback(ActivityCallback callback);
void LUMBREL_CALL SetFormatCallback(FormatCallback callback);
void LUMBREL_CALL SetFirmwareCallback(FirmwareCallback callback);

/* Background jobs: the result is the start's; the job reports through its callback.
 * A job keeps the DLL loaded until it has called back: FreeLibrary does not end it
 * (a flash ends at its time, or at once with duration 0). At process exit the DLL
 * waits for nothing: running jobs end with the process, without a callback. */
uint32_t LUMBREL_CALL FlashDriveActivityLight(uint32_t adapterClass, uint32_t ordinal, uint32_t bus, uint32_t target,
                                              uint32_t duration);
uint32_t LUMBREL_CALL FlashActivityLightAllDrives(uint32_t adapterClass, uint32_t ordinal, uint32_t bus,
                                                  uint32_t duration);
uint32_t LUMBREL_CALL DeepFormatDrive(uint32_t adapterClass, uint32_t ordinal, uint32_t bus, uint32_t target);
/* Exported as "_UpdateDriveFWImage@24". The image must stay valid until the firmware callback. */
uint32_t LUMBREL_CALL UpdateDriveFWImage(uint32_t adapterClass, uint32_t ordinal, uint32_t bus, uint32_t target,
                                         const uint8_t* image, uint32_t length);

/* Reports and drive services. */
uint32_t LUMBREL_CALL GetRaidLevel(uint32_t adapterNumber, uint32_t bus, uint32_t target, uint32_t* raidLevel);
uint32_t LUMBREL_CALL GetAllDriveLetters(uint32_t adapterNumber, uint32_t bus, uint32_t target); /* letter mask */
uint32_t LUMBREL_CALL CountAdapterUnits(uint32_t* unitCount, uint32_t* adapterCount);
uint32_t LUMBREL_CALL GetAllDiskConfigInfo(DiskConfigRecord* records, uint32_t capacity); /* always 0 */
uint32_t LUMBREL_CALL GetAllAdapterInfo(AdapterInfoRecord* records);
uint32_t LUMBREL_CALL ReadDriveLogPage(uint32_t adapterNumber, uint32_t bus, uint32_t target, uint8_t* buffer,
                                       uint32_t bufferSize);
uint32_t LUMBREL_CALL WriteDriveLogPage(uint32_t adapterNumber, uint32_t bus, uint32_t target, const uint8_t* data,
                                        uint32_t dataLength, uint32_t mode);
uint32_t LUMBREL_CALL GetDriveReadiness(uint32_t adapterClass, uint32_t ordinal, uint32_t bus, uint32_t target,
                                        uint32_t* readiness);

/* ---- Pointer types for callers that resolve the exports at run time ---- */
typedef uint32_t(LUMBREL_CALL* InitializeDiagsFn)(CageInfo*, uint32_t*);
typedef uint32_t(LUMBREL_CALL* SFStartFlashPowerFn)(uint32_t, uint32_t);
typedef uint32_t(LUMBREL_CALL* SFStopFlashPowerFn)(uint32_t, uint32_t);
typedef uint32_t(LUMBREL_CALL* SFAdjustPowerLEDFn)(uint32_t, uint32_t, uint32_t);
typedef void(LUMBREL_CALL* SetActivityCallbackFn)(ActivityCallback);
typedef void(LUMBREL_CALL* SetFormatCallbackFn)(FormatCallback);
typedef void(LUMBREL_CALL* SetFirmwareCallbackFn)(FirmwareCallback);
typedef uint32_t(LUMBREL_CALL* FlashDriveActivityLightFn)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t);
typedef uint32_t(LUMBREL_CALL* FlashActivityLightAllDrivesFn)(uint32_t, uint32_t, uint32_t, uint32_t);
typedef uint32_t(LUMBREL_CALL* DeepFormatDriveFn)(uint32_t, uint32_t, uint32_t, uint32_t);
typedef uint32_t(LUMBREL_CALL* UpdateDriveFWImageFn)(uint32_t, uint32_t, uint32_t, uint32_t, const uint8_t*, uint32_t);
typedef uint32_t(LUMBREL_CALL* GetRaidLevelFn)(uint32_t, uint32_t, uint32_t, uint32_t*);
typedef uint32_t(LUMBREL_CALL* GetAllDriveLettersFn)(uint32_t, uint32_t, uint32_t);
typedef uint32_t(LUMBREL_CALL* CountAdapterUnitsFn)(uint32_t*, uint32_t*);
typedef uint32_t(LUMBREL_CALL* GetAllDiskConfigInfoFn)(DiskConfigRecord*, uint32_t);
typedef uint32_t(LUMBREL_CALL* GetAllAdapterInfoFn)(AdapterInfoRecord*);
typedef uint32_t(LUMBREL_CALL* ReadDriveLogPageFn)(uint32_t, uint32_t, uint32_t, uint8_t*, uint32_t);
typedef uint32_t(LUMBREL_CALL* WriteDriveLogPageFn)(uint32_t, uint32_t, uint32_t, const uint8_t*, uint32_t, uint32_t);
typedef uint32_t(LUMBREL_CALL* GetDriveReadinessFn)(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t*);

#ifdef __cplusplus
}
#endif

#endif /* LUMBREL_H */
