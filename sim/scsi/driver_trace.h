// What the simulated SCSI drivers add to the trace record of the
// DeviceIoControl call they serve: the command as it reached the target, the
// data areas reached through addresses, and why a request was rejected.
#pragma once

#include <cstdint>
#include <span>

#include "sim/scsi/scsi_port.h"
#include "sim/trace.h"

namespace lumbrel::sim {

class DriverTrace {
 public:
  explicit DriverTrace(TraceRecord* record) : record_(record) {}

  // Records why the driver refused the request; returns `result` so that a
  // driver can write `return trace.Reject(87, "...")`.
  template <typename T>
  T Reject(T result, const char* reason) {
    if (record_ != nullptr) record_->Set("rejected", reason);
    return result;
  }
  // The command as the target saw it and how it ended.
  void Command(const ScsiPort& port, std::uint32_t bus, std::uint32_t target, std::span<const std::uint8_t> cdb,
               const Delivery& delivery);
  // Data that went to the target ("dataOut"): kept whole.
  void Bytes(const char* key, const std::uint8_t* data, std::size_t size) {
    if (record_ != nullptr) record_->SetHex(key, data, size);
  }
  // Data that came back ("dataIn", "sense"): cut as the trace keeps it.
  void Returned(const char* key, const std::uint8_t* data, std::size_t size) {
    if (record_ != nullptr) record_->SetReturnedHex(key, data, size);
  }
  template <typename T>
  void Set(const char* key, T&& value) {
    if (record_ != nullptr) record_->Set(key, std::forward<T>(value));
  }

 private:
  TraceRecord* record_;
};

}  // namespace lumbrel::sim
