#include "sim/trace.h"

#include <stdexcept>

#include "sim/text_util.h"

namespace lumbrel::sim {

void Trace::WriteTo(const std::string& path) {
  std::lock_guard lock(mutex_);
  file_.open(path, std::ios::out | std::ios::trunc);
  if (!file_) throw std::runtime_error("cannot create the trace file " + path);
  enabled_ = true;
}

void Trace::Capture(bool on) {
  std::lock_guard lock(mutex_);
  capture_ = on;
  enabled_ = capture_ || file_.is_open();
}

void Trace::Write(nlohmann::ordered_json record) {
  std::lock_guard lock(mutex_);
  record["seq"] = ++sequence_;
  if (file_.is_open()) {
    // TraceRecord::Set writes texts one character per byte, so records are
    // UTF-8; a nested object that slipped past it is cut, not thrown on.
    file_ << record.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    file_.flush();
  }
  if (capture_) records_.push_back(std::move(record));
}

std::vector<nlohmann::ordered_json> Trace::Records() const {
  std::lock_guard lock(mutex_);
  return records_;
}

void Trace::ClearRecords() {
  std::lock_guard lock(mutex_);
  records_.clear();
}

void TraceRecord::Begin(const char* call) {
  json_.emplace();
  (*json_)["seq"] = 0;  // numbered when written, first in the record
  (*json_)["call"] = call;
}

void TraceRecord::PutHex(const char* key, const void* data, std::size_t size) { (*json_)[key] = Hex(data, size); }

void TraceRecord::PutReturnedHex(const char* key, const void* data, std::size_t size) {
  if (size <= kReturnedBytesKept || trace_->keepsAllReturnedData()) return PutHex(key, data, size);
  (*json_)[key] = Hex(data, kReturnedBytesKept);
  (*json_)[std::string(key) + "Length"] = size;
}

void TraceRecord::Write(std::uint32_t result) {
  (*json_)["result"] = result;
  trace_->Write(std::move(*json_));
  json_.reset();
  trace_ = nullptr;
}

}  // namespace lumbrel::sim
