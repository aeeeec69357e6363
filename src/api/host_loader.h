// Loading and unloading the library in the host build, as the Windows loader
// does for LUMBREL.dll: the process-wide objects are constructed before the
// process-attach notification and destroyed after the process-detach one.
// Configure the simulated machine first: the port table reads its registry
// during the load. As FreeLibrary, UnloadModule lets the format and firmware
// workers finish first: they hold the module (platform::PinLibrary).
#pragma once

namespace lumbrel::host {

void LoadModule();
void UnloadModule();

}  // namespace lumbrel::host
