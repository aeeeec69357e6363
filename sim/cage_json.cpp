#include "sim/cage_json.h"

#include <set>

#include "sim/json_reader.h"

namespace lumbrel::sim {
namespace {

CageWiring ParseCage(const nlohmann::json& json, const std::string& path) {
  ObjectReader reader(json, path);
  CageWiring cage;
  const auto position = reader.Uint("position", 3);
  if (!position) reader.Fail("position", "every cage needs its position, 0 to 3");
  cage.position = static_cast<int>(*position);
  cage.strap4 = reader.Bool("strap4").value_or(false);
  cage.strap5 = reader.Bool("strap5").value_or(false);
  cage.bit7 = reader.Bool("bit7").value_or(false);
  const nlohmann::json* bays = reader.Raw("bays");
  if (bays != nullptr) {
    if (!bays->is_array() || bays->size() != 3) reader.Fail("bays", "expected three booleans, bays 1 to 3");
    for (std::size_t i = 0; i < 3; ++i) {
      if (!(*bays)[i].is_boolean()) reader.Fail("bays", "expected three booleans, bays 1 to 3");
      cage.occupied[i] = (*bays)[i].get<bool>();
    }
  }
  reader.Finish();
  return cage;
}

}  // namespace

std::vector<CageWiring> ParseCages(const nlohmann::json* cages, const std::string& path) {
  std::vector<CageWiring> wiring;
  std::set<int> positions;
  ForEach(cages, path, [&](const nlohmann::json& json, const std::string& cagePath) {
    CageWiring cage = ParseCage(json, cagePath);
    if (!positions.insert(cage.position).second) {
      throw MachineFormatError(cagePath + ".position: two cages at position " + std::to_string(cage.position));
    }
    wiring.push_back(cage);
  });
  return wiring;
}

}  // namespace lumbrel::sim
