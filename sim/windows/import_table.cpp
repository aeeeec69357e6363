#include "import_table.h"

#include <cstdint>
#include <cstring>

namespace lumbrel::sim::windows {
namespace {

// A part of the loaded image, or null when the range lies outside it.
template <typename T>
const T* At(const std::uint8_t* base, std::size_t imageSize, std::uint32_t rva, std::size_t count = 1) {
  if (rva == 0 || rva > imageSize || count > (imageSize - rva) / sizeof(T)) return nullptr;
  return reinterpret_cast<const T*>(base + rva);
}

bool WriteSlot(IMAGE_THUNK_DATA32* slot, void* target) {
  DWORD previous = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &previous)) return false;
  slot->u1.Function = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(target));
  DWORD ignored = 0;
  VirtualProtect(slot, sizeof *slot, previous, &ignored);
  FlushInstructionCache(GetCurrentProcess(), slot, sizeof *slot);
  return true;
}

}  // namespace

int RouteImports(HMODULE module, const ImportRoute* routes, std::size_t count) {
  auto* base = reinterpret_cast<std::uint8_t*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) return 0;
  const std::size_t imageSize = nt->OptionalHeader.SizeOfImage;
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  int rewritten = 0;
  for (std::uint32_t d = 0;; ++d) {
    const auto* descriptor =
        At<IMAGE_IMPORT_DESCRIPTOR>(base, imageSize, directory.VirtualAddress + d * sizeof(IMAGE_IMPORT_DESCRIPTOR));
    if (descriptor == nullptr || descriptor->Name == 0) break;
    // The names come from the lookup table; the loader wrote the addresses
    // into the address table beside it.
    const std::uint32_t lookup = descriptor->OriginalFirstThunk != 0 ? descriptor->OriginalFirstThunk
                                                                     : descriptor->FirstThunk;
    for (std::uint32_t i = 0;; ++i) {
      const auto* name = At<IMAGE_THUNK_DATA32>(base, imageSize, lookup + i * sizeof(IMAGE_THUNK_DATA32));
      const auto* slot = At<IMAGE_THUNK_DATA32>(base, imageSize, descriptor->FirstThunk + i * sizeof(IMAGE_THUNK_DATA32));
      if (name == nullptr || slot == nullptr || name->u1.AddressOfData == 0) break;
      if ((name->u1.Ordinal & IMAGE_ORDINAL_FLAG32) != 0) continue;
      const auto* byName = At<IMAGE_IMPORT_BY_NAME>(base, imageSize, name->u1.AddressOfData);
      if (byName == nullptr) continue;
      const auto* text = reinterpret_cast<const char*>(byName->Name);
      const std::size_t room = imageSize - (reinterpret_cast<const std::uint8_t*>(text) - base);
      const std::string_view imported(text, strnlen(text, room));
      for (std::size_t r = 0; r < count; ++r) {
        if (imported == routes[r].name && WriteSlot(const_cast<IMAGE_THUNK_DATA32*>(slot), routes[r].target)) {
          ++rewritten;
        }
      }
    }
  }
  return rewritten;
}

}  // namespace lumbrel::sim::windows
