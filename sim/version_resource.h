// Driver image files with a Windows version resource, so that the library's
// search for "FileVersion" has real bytes to read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumbrel::sim {

// A small image: a DOS header, then a VS_VERSIONINFO block whose string table
// holds FileVersion and ProductVersion set to `fileVersion` (UTF-8, stored
// as UTF-16 like every version resource).
std::vector<std::uint8_t> MakeDriverImage(const std::string& fileVersion);

}  // namespace lumbrel::sim
