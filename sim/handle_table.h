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
    std::unique_ptr<KernelObject> stored;
    if (spare_.empty()) {
      stored = std::make_unique<KernelObject>(std::move(object));
    } else {
      stored = std::move(spare_.back());
      spare_.pop_back();
      *stored = std::move(object);
    }
    const std::uintptr_t handle = next_;
    next_ += 4;
    open_.push_back({handle, std::move(stored)});
    return reinterpret_cast<void*>(handle);
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
    *object = KernelObject();
    if (spare_.size() < kSpareKept) spare_.push_back(std::move(object));
    return true;
  }

  std::size_t size() const { return open_.size(); }

 private:
  struct Open {
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
                                     [](const Open& open, std::uintptr_t wanted) { return open.handle < wanted; });
    return it != open_.end() && it->handle == number ? static_cast<std::size_t>(it - open_.begin()) : open_.size();
  }

  std::uintptr_t next_;
  std::vector<Open> open_;  // by handle
  std::vector<std::unique_ptr<KernelObject>> spare_;
};

}  // namespace lumbrel::sim
