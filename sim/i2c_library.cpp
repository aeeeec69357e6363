// The I2C access library of the simulated server: the five calls of
// I2CDLL.dll over the machine's cages, with tracing and injected failures.
#include <cstdint>

#include "platform/i2c_library.h"
#include "sim/platform_call.h"

using lumbrel::sim::Machine;
using lumbrel::sim::PlatformCall;
using lumbrel::sim::TraceRecord;

namespace {

// Runs one call: an injected failure replaces it, else `body` serves it.
// `sent` is the data a send carries, traced whatever the outcome.
template <typename Body>
std::uint32_t Serve(lumbrel::sim::CallName name, std::int64_t address, Body body, const std::uint8_t* sent = nullptr,
                    std::uint32_t count = 0) {
  PlatformCall call(name);
  if (address >= 0) call.trace().Set("address", address);
  if (sent != nullptr) call.trace().SetHex("data", sent, count);
  const auto fault = address >= 0 ? call.Fault({{"address", static_cast<std::uint64_t>(address)}}) : call.Fault();
  if (fault) return call.Finish(*fault);
  return call.Finish(body(call.machine(), call.trace()));
}

}  // namespace

extern "C" {

std::uint32_t I2C_OpenDevice(void) {
  return Serve("I2C_OpenDevice", -1, [](Machine& machine, TraceRecord&) { return machine.i2c().Open(); });
}

std::uint32_t I2C_CloseDevice(void) {
  return Serve("I2C_CloseDevice", -1, [](Machine& machine, TraceRecord&) { return machine.i2c().Close(); });
}

std::uint32_t I2C_GetOutputShadow(std::uint32_t address, std::uint8_t* output) {
  return Serve("I2C_GetOutputShadow", address, [&](Machine& machine, TraceRecord& trace) {
    const std::uint32_t r = machine.i2c().GetOutputShadow(address, output);
    if (r == 0) trace.SetHex("data", output, 1);
    return r;
  });
}

std::uint32_t I2C_ReceiveMessage(std::uint32_t address, std::uint8_t* buffer, std::uint32_t count) {
  return Serve("I2C_ReceiveMessage", address, [&](Machine& machine, TraceRecord& trace) {
    const std::uint32_t r = machine.i2c().Receive(address, buffer, count);
    if (r == 0) trace.SetReturnedHex("data", buffer, count);
    return r;
  });
}

std::uint32_t I2C_SendMessage(std::uint32_t address, const std::uint8_t* buffer, std::uint32_t count) {
  return Serve(
      "I2C_SendMessage", address,
      [&](Machine& machine, TraceRecord&) { return machine.i2c().Send(address, buffer, count); }, buffer, count);
}

}  // extern "C"
