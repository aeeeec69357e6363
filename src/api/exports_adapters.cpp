// Exports of the adapter list and the adapter report.
#include "api/module_state.h"
#include "discovery/adapter_info_report.h"
#include "scsi/adapter_list.h"

extern "C" {

std::uint32_t LUMBREL_CALL CountAdapterUnits(std::uint32_t* unitCount, std::uint32_t* adapterCount) {
  const lumbrel::CallerTurn turn;
  using namespace lumbrel;
  AdapterList& list = Module().adapterList;
  if (const std::uint32_t error = list.BuildAdapterList(); error != 0) {
    list.FreeAdapterList();
    return error;
  }
  const std::uint32_t adapters = list.GetAdapterCount();
  std::uint32_t units = 0;
  for (std::uint32_t i = 0; i < adapters; ++i) {
    if (list.OpenAdapter(AdapterClassBase, i) != nullptr) units += list.CountUnitsOnAdapter(i);
  }
  if (unitCount != nullptr) *unitCount = units;
  if (adapterCount != nullptr) *adapterCount = adapters;
  return 0;
}

std::uint32_t LUMBREL_CALL GetAllAdapterInfo(AdapterInfoRecord* records) {
  const lumbrel::CallerTurn turn;
  lumbrel::ModuleState& module = lumbrel::Module();
  return lumbrel::ReportAdapterInfo(module.portTable, module.adapterList.GetAdapterCount(),
                                    reinterpret_cast<std::uint8_t*>(records));
}

}  // extern "C"
