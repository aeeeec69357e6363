#include "drives/unit_ready.h"

#include "result_codes.h"

namespace lumbrel {

std::uint32_t TestUnitReadyRetry(ScsiAdapter& adapter, std::uint32_t bus, std::uint32_t target) {
  const Cdb probe = cdb::TestUnitReady();
  const std::uint32_t result = adapter.ExecuteIn(bus, target, probe);
  return result == kCheckCondition ? adapter.ExecuteIn(bus, target, probe) : result;
}

}  // namespace lumbrel
