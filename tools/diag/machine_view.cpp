#include "machine_view.h"

#include <algorithm>

namespace lumbrel::diag {
namespace {

nlohmann::ordered_json DescribeCages(sim::Machine& machine) {
  std::vector<const sim::CageBoard*> cages;
  for (const sim::CageBoard& cage : machine.i2c().cages()) cages.push_back(&cage);
  std::sort(cages.begin(), cages.end(),
            [](const auto* a, const auto* b) { return a->wiring().position < b->wiring().position; });
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const sim::CageBoard* cage : cages) {
    nlohmann::ordered_json bays = nlohmann::ordered_json::array();
    for (int bay = 1; bay <= 3; ++bay) {
      bays.push_back({{"bay", bay},
                      {"occupied", cage->Occupied(bay)},
                      {"powerLed", cage->PowerLedFlashing(bay) ? "flashing" : "steady"}});
    }
    list.push_back({{"position", cage->wiring().position},
                    {"cageId", cage->portBAddress()},
                    {"portA", cage->latchA()},
                    {"portB", cage->latchB()},
                    {"bays", std::move(bays)}});
  }
  return list;
}

}  // namespace

nlohmann::ordered_json DescribeMachine(sim::Machine& machine) {
  std::lock_guard lock(machine.mutex());
  nlohmann::ordered_json view;
  view["cages"] = DescribeCages(machine);
  view["openHandles"] = machine.OpenHandleCount();
  view["openKeys"] = machine.OpenKeyCount();
  return view;
}

}  // namespace lumbrel::diag
