// Exports of the drive services that run on the caller's thread.
#include "api/module_state.h"
#include "drives/log_pages.h"
#include "result_codes.h"

namespace lumbrel {
namespace {

// The adapter named by its number, opened; null when the list cannot be
// built (`error` then holds why) or the number names none.
ScsiAdapter* AdapterByNumber(std::uint32_t number, std::uint32_t& error) {
  AdapterList& list = Module().adapterList;
  error = list.BuildAdapterList();
  if (error != 0) return nullptr;
  ScsiAdapter* adapter = list.OpenAdapter(AdapterClassBase, number & 0xFF);
  if (adapter == nullptr) error = kJobExistsOrNoAdapter;
  return adapter;
}

}  // namespace
}  // namespace lumbrel

extern "C" {

std::uint32_t LUMBREL_CALL ReadDriveLogPage(std::uint32_t adapterNumber, std::uint32_t bus, std::uint32_t target,
                                            std::uint8_t* buffer, std::uint32_t size) {
  const lumbrel::CallerTurn turn;
  using namespace lumbrel;
  std::uint32_t error = 0;
  ScsiAdapter* adapter = AdapterByNumber(adapterNumber, error);
  if (adapter == nullptr) return error;
  return ReadLogPage(*adapter, Module().driveIdentifier, bus & 0xFF, target & 0xFF, buffer, size);
}

std::uint32_t LUMBREL_CALL WriteDriveLogPage(std::uint32_t adapterNumber, std::uint32_t bus, std::uint32_t target,
                                             const std::uint8_t* data, std::uint32_t length, std::uint32_t mode) {
  const lumbrel::CallerTurn turn;
  using namespace lumbrel;
  std::uint32_t error = 0;
  ScsiAdapter* adapter = AdapterByNumber(adapterNumber, error);
  if (adapter == nullptr) return error;
  return WriteLogPage(*adapter, Module().driveIdentifier, bus & 0xFF, target & 0xFF, data, length, mode);
}

}  // extern "C"
