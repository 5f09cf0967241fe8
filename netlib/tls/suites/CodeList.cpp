#include "tls/suites/CodeList.h"

#include <cstring>
#include <new>

#include "core/base/Status.h"

namespace tornell {

bool CodeList::Has(int value) const {
  const int32_t* items = Items();
  for (int i = 0; i < count_; ++i) {
    if (items[i] == value) return true;
  }
  return false;
}

int CodeList::Add(int value) {
  if (count_ == capacity_) TORNELL_TRY(Reserve(count_ < (1 << 29) ? 2 * count_ : count_ + 1));
  Items()[count_++] = value;
  return kStatusOk;
}

int CodeList::Assign(const CodeList& other) {
  if (this == &other) return kStatusOk;
  TORNELL_TRY(Reserve(other.count_));
  if (other.count_ > 0) std::memcpy(Items(), other.Items(), sizeof(int32_t) * size_t(other.count_));
  count_ = other.count_;
  return kStatusOk;
}

int CodeList::Reserve(int wanted) {
  if (wanted <= capacity_) return kStatusOk;
  std::unique_ptr<int32_t[]> grown(new (std::nothrow) int32_t[size_t(wanted)]);
  if (grown == nullptr) return kStatusNoMemory;
  if (count_ > 0) std::memcpy(grown.get(), Items(), sizeof(int32_t) * size_t(count_));
  heap_ = std::move(grown);
  capacity_ = wanted;
  return kStatusOk;
}

}  // namespace tornell
