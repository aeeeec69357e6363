// Exports of the cages' front-panel indicators.
#include "api/module_state.h"

using lumbrel::Module;

extern "C" {

std::uint32_t LUMBREL_CALL InitializeDiags(CageInfo* cages, std::uint32_t* cageCount) {
  const lumbrel::CallerTurn turn;
  return Module().frontPanel.InitializeDiags(cages, cageCount);
}

std::uint32_t LUMBREL_CALL SFStartFlashPower(std::uint32_t targetId, std::uint32_t cageId) {
  const lumbrel::CallerTurn turn;
  return Module().frontPanel.SetBayFlashing(static_cast<std::uint8_t>(targetId), static_cast<std::uint8_t>(cageId),
                                            true);
}

std::uint32_t LUMBREL_CALL SFStopFlashPower(std::uint32_t targetId, std::uint32_t cageId) {
  const lumbrel::CallerTurn turn;
  return Module().frontPanel.SetBayFlashing(static_cast<std::uint8_t>(targetId), static_cast<std::uint8_t>(cageId),
                                            false);
}

std::uint32_t LUMBREL_CALL SFAdjustPowerLED(std::uint32_t targetId, std::uint32_t cageId, std::uint32_t flash) {
  const lumbrel::CallerTurn turn;
  return Module().frontPanel.SetBayFlashing(static_cast<std::uint8_t>(targetId), static_cast<std::uint8_t>(cageId),
                                            flash != 0);
}

}  // extern "C"
