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

TraceRecord::TraceRecord(Trace& trace, const char* call) : trace_(trace.enabled() ? &trace : nullptr) {
  if (trace_ != nullptr) {
    json_["seq"] = 0;  // numbered when written, first in the record
    json_["call"] = call;
  }
}

TraceRecord& TraceRecord::SetHex(const char* key, const void* data, std::size_t size) {
  if (trace_ != nullptr) json_[key] = Hex(data, size);
  return *this;
}

TraceRecord& TraceRecord::SetReturnedHex(const char* key, const void* data, std::size_t size) {
  if (trace_ == nullptr) return *this;
  if (size <= kReturnedBytesKept || trace_->keepsAllReturnedData()) return SetHex(key, data, size);
  json_[key] = Hex(data, kReturnedBytesKept);
  json_[std::string(key) + "Length"] = size;
  return *this;
}

TraceRecord& TraceRecord::Injected() {
  if (trace_ != nullptr) json_["injected"] = true;
  return *this;
}

void TraceRecord::Finish(std::uint32_t result) {
  if (trace_ == nullptr) return;
  json_["result"] = result;
  trace_->Write(std::move(json_));
  trace_ = nullptr;
}

}  // namespace lumbrel::sim
