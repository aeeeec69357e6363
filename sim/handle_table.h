// The machine's kernel handles and the objects behind them.
//
// Handles are numbered upward in steps of 4, as Windows numbers them, and
// never reused. They are kept in that order in a vector: finding one is a
// binary search among the few that are open, and closing the latest one
// opened (a device opened for one request) moves nothing. The objects of
// closed handles are kept for the next opens, so that an open and its close
// allocate nothing once the table has served a few.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "sim/kernel_object.h"

namespace lumbrel::sim {

class HandleTable {
 public:
  explicit HandleTable(std::uintptr_t first) : next_(first) {}

  void* Add(KernelObject&& object) {
    void* handle = nullptr;
    Open(&handle) = std::move(object);
    return handle;
  }

  // Opens a handle to an empty object for the caller to fill in place (a
  // kept object reuses its name's storage).
  KernelObject& Open(void** handle) {
    std::unique_ptr<KernelObject> stored;
    if (spare_.empty()) {
      stored = std::make_unique<KernelObject>();
    } else {
      stored = std::move(spare_.back());
      spare_.pop_back();
    }
    *handle = reinterpret_cast<void*>(next_);
    open_.push_back({next_, std::move(stored)});
    next_ += 4;
    return *open_.back().object;
  }

  KernelObject* Find(void* handle) const {
    const std::size_t at = Position(handle);
    return at == open_.size() ? nullptr : open_[at].object.get();
  }

  // Closes `handle`; false when it is not open. Its object lets go of the
  // file, device or thread at once.
  bool Remove(void* handle) {
    const std::size_t at = Position(handle);
    if (at == open_.size()) return false;
    std::unique_ptr<KernelObject> object = std::move(open_[at].object);
    open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(at));
    object->Clear();
    if (spare_.size() < kSpareKept) spare_.push_back(std::move(object));
    return true;
  }

  std::size_t size() const { return open_.size(); }

 private:
  struct Entry {
    std::uintptr_t handle;
    std::unique_ptr<KernelObject> object;
  };
  static constexpr std::size_t kSpareKept = 16;

  // The place of `handle` in open_; open_.size() when it is not open.
  std::size_t Position(void* handle) const {
    const auto number = reinterpret_cast<std::uintptr_t>(handle);
    // The latest handle first: most closes and requests are to it.
    if (!open_.empty() && open_.back().handle == number) return open_.size() - 1;
    const auto it = std::lower_bound(open_.begin(), open_.end(), number,
                                     [](const Entry& entry, std::uintptr_t wanted) { return entry.handle < wanted; });
    return it != open_.end() && it->handle == number ? static_cast<std::size_t>(it - open_.begin()) : open_.size();
  }

  std::uintptr_t next_;
  std::vector<Entry> open_;  // by handle
  std::vector<std::unique_ptr<KernelObject>> spare_;
};

}  // namespace lumbrel::sim
