// The trace: one JSON record per call that reaches the simulated platform.
//
// Records go to a JSON Lines file, to memory for tests, or both. Each has
// "seq" (from 1), "call", call-specific fields and "result" (0, or the error
// code that the call gave). Bytes are upper-case hex without separators;
// texts are the platform's bytes, one character per byte (U+0000 to U+00FF).
// Data that a device returns is kept up to kReturnedBytesKept bytes unless
// the trace keeps it all; what the library sends is always kept whole.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/sim_lock.h"
#include "sim/text_util.h"

namespace lumbrel::sim {

// The bytes of returned data that a record keeps by default.
inline constexpr std::size_t kReturnedBytesKept = 64;

class Trace {
 public:
  // Starts writing records to a file; throws std::runtime_error when it
  // cannot be created.
  void WriteTo(const std::string& path);
  // Keeps records in memory (for tests) from now on.
  void Capture(bool on);

  // Whether records keep all the data that devices return (else its first
  // kReturnedBytesKept bytes and its full length).
  void KeepAllReturnedData(bool all) { keepAllReturned_ = all; }
  bool keepsAllReturnedData() const { return keepAllReturned_; }

  // Also read without any lock, by calls that skip their record when it is off.
  bool enabled() const { return enabled_.load(std::memory_order_acquire); }
  // Whether a record could not be written to the file (a full disk).
  bool WriteFailed() const {
    std::lock_guard lock(mutex_);
    return file_.is_open() && !file_.good();
  }
  void Write(nlohmann::ordered_json record);

  std::vector<nlohmann::ordered_json> Records() const;
  void ClearRecords();

 private:
  mutable SimMutex mutex_;
  std::atomic<bool> enabled_{false};
  std::atomic<bool> keepAllReturned_{false};
  bool capture_ = false;
  std::uint64_t sequence_ = 0;
  std::ofstream file_;
  std::vector<nlohmann::ordered_json> records_;
};

// Builds one record. While the trace is off every member is a test that
// the compiler inlines: the simulated platform's calls make one record each.
class TraceRecord {
 public:
  TraceRecord(Trace& trace, const char* call) : trace_(trace.enabled() ? &trace : nullptr) {
    if (trace_ != nullptr) Begin(call);
  }
  TraceRecord(const TraceRecord&) = delete;
  TraceRecord& operator=(const TraceRecord&) = delete;

  // A text is the platform's bytes, written one character per byte.
  template <typename T>
  TraceRecord& Set(const char* key, T&& value) {
    if (trace_ != nullptr) Put(key, std::forward<T>(value));
    return *this;
  }
  TraceRecord& SetHex(const char* key, const void* data, std::size_t size) {
    if (trace_ != nullptr) PutHex(key, data, size);
    return *this;
  }
  // Data that a device returned: whole, or cut to its first
  // kReturnedBytesKept bytes with the full length as `key` + "Length".
  TraceRecord& SetReturnedHex(const char* key, const void* data, std::size_t size) {
    if (trace_ != nullptr) PutReturnedHex(key, data, size);
    return *this;
  }
  // Marks the record as carrying an injected failure.
  TraceRecord& Injected() { return Set("injected", true); }
  // Completes the record with its result and writes it.
  void Finish(std::uint32_t result) {
    if (trace_ != nullptr) Write(result);
  }

 private:
  template <typename T>
  void Put(const char* key, T&& value) {
    using Value = std::decay_t<T>;
    if constexpr (std::is_same_v<Value, std::string> || std::is_same_v<Value, std::string_view> ||
                  std::is_same_v<Value, const char*> || std::is_same_v<Value, char*>) {
      (*json_)[key] = TextOfBytes(value);
    } else {
      (*json_)[key] = std::forward<T>(value);
    }
  }
  void Begin(const char* call);
  void PutHex(const char* key, const void* data, std::size_t size);
  void PutReturnedHex(const char* key, const void* data, std::size_t size);
  void Write(std::uint32_t result);

  Trace* trace_;
  std::optional<nlohmann::ordered_json> json_;  // only while the trace is on
};

}  // namespace lumbrel::sim
