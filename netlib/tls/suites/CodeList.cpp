#include "tls/suites/CodeList.h"

#include <cstring>
#include <new>

#include "core/base/Status.h"

namespace tornell {

int CodeList::Grow(int value) {
  TORNELL_TRY(Reserve(count_ < (1 << 29) ? 2 * count_ : count_ + 1));
  items_[count_++] = value;
  return kStatusOk;
}

int CodeList::Assign(const CodeList& other) {
  if (this == &other) return kStatusOk;
  TORNELL_TRY(Reserve(other.count_));
  if (other.count_ > 0) std::memcpy(items_, other.items_, sizeof(int32_t) * size_t(other.count_));
  count_ = other.count_;
  return kStatusOk;
}

int CodeList::Reserve(int wanted) {
  if (wanted <= capacity_) return kStatusOk;
  std::unique_ptr<int32_t[]> grown(new (std::nothrow) int32_t[size_t(wanted)]);
  if (grown == nullptr) return kStatusNoMemory;
  if (count_ > 0) std::memcpy(grown.get(), items_, sizeof(int32_t) * size_t(count_));
  heap_ = std::move(grown);
  items_ = heap_.get();
  capacity_ = wanted;
  return kStatusOk;
}

}  // namespace tornell
