// Loading and unloading the library in the host build, as the Windows loader
// does for LUMBREL.dll. The module has a reference count: the first
// reference constructs the process-wide objects and gives the
// process-attach notification; the last one gives process detach and
// destroys them, on the thread that lets it go. Every job worker holds a
// reference of its own from before its creation to its very end
// (platform::PinLibrary, platform::EndPinnedWorker: FreeLibraryAndExitThread
// on Windows), so with a job running the unload happens on the worker's
// thread when it ends, in the same order of events as on Windows.
// Configure the simulated machine first: the port table reads its registry
// during the load.
#pragma once

namespace lumbrel::host {

// LoadLibrary: takes a reference; the first one loads the module.
void LoadModule();
// FreeLibrary: gives back one reference taken by LoadModule and returns at
// once; a running job keeps the module loaded until it ends.
void FreeModule();
// The end of a host program or test: stops the flash loop (as a caller's
// flash-stop does), gives back every reference taken by LoadModule and waits
// until the workers have let the module go, so that the simulated machine
// under it can be replaced.
void UnloadModule();

}  // namespace lumbrel::host
