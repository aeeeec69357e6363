// The registry and the Windows directory as the SCSI port drivers leave
// them: port keys (volatile, under HKEY_LOCAL_MACHINE\HARDWARE), service
// keys and driver images. LUMBREL.dll reads the ports when it loads, so a
// test writes them first.
#pragma once

namespace wine_tests {

// Removes every SCSI port key, whatever the prefix recorded itself.
void RemoveScsiPorts();

// Adds "Scsi Port NUMBER" with its Driver value and `buses` bus keys.
bool AddScsiPort(unsigned number, const char* driver, unsigned buses);

// A service key; with `imagePath` null it has no ImagePath value.
bool AddService(const char* name, const char* imagePath);

// Places a driver image built next to this program as
// <Windows directory>\System32\drivers\NAME.sys.
bool PlaceDriverImage(const char* name);

}  // namespace wine_tests
