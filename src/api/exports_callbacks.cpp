// Registration of the callbacks through which background jobs report.
#include "api/module_state.h"

using lumbrel::Module;

extern "C" {

void LUMBREL_CALL SetActivityCallback(ActivityCallback callback) { Module().callbacks.activity.store(callback); }

void LUMBREL_CALL SetFormatCallback(FormatCallback callback) { Module().callbacks.format.store(callback); }

void LUMBREL_CALL SetFirmwareCallback(FirmwareCallback callback) { Module().callbacks.firmware.store(callback); }

}  // extern "C"
