#pragma once
// Owning list of heap objects: the list makes every element (default
// construction or a Clone of a caller's object) and deletes every element.
// Up to 20 pointers live inside the object; more move to a heap array.
#include <climits>
#include <concepts>
#include <cstdint>
#include <cstring>
#include <new>

#include "core/buffer/Allocation.h"
#include "core/base/StatusCodes.h"

namespace tornell {

template <typename T>
class PtrList {
 public:
  static constexpr int kInlineSlots = 20;

  PtrList() = default;
  ~PtrList() { Clear(); }
  PtrList(const PtrList&) = delete;
  PtrList& operator=(const PtrList&) = delete;

  int Count() const { return count_; }
  int Capacity() const { return capacity_; }

  T* Get(int i) { return GetOrCreate(i); }
  // Element i, made on first access when its slot is still empty. Null for an
  // index outside the list (or when the element cannot be made).
  T* GetOrCreate(int i) {
    if (i < 0 || i >= count_) return nullptr;
    T*& slot = Slots()[i];
    if (slot == nullptr) slot = new (std::nothrow) T();
    return slot;
  }

  // Inserts a deep copy of the element at i (any index past the end appends).
  [[nodiscard]] int InsertCopy(int i, const T* element) {
    if (i < 0) return kStatusNegativeIndex;
    T* copy = CloneOf(element);
    if (copy == nullptr || count_ == INT_MAX) {
      delete copy;
      return kStatusNoMemory;
    }
    int status = Resize(count_ + 1);
    if (status != kStatusOk) {
      delete copy;
      return status;
    }
    if (i > count_ - 1) i = count_ - 1;
    T** slots = Slots();
    std::memmove(slots + i + 1, slots + i, sizeof(T*) * static_cast<size_t>(count_ - 1 - i));
    slots[i] = copy;
    return kStatusOk;
  }
  [[nodiscard]] int InsertAt(const T* element, int i) { return InsertCopy(i, element); }
  [[nodiscard]] int Append(const T& element) { return InsertAt(&element, count_); }
  [[nodiscard]] int Add(const T& element) { return Append(element); }
  [[nodiscard]] int Add(int i, const T& element) { return InsertAt(&element, i); }

  // Sets the count; new slots are empty. When the pointer array cannot be
  // allocated the list stays exactly as it was and 200 is returned.
  [[nodiscard]] int Resize(int n) {
    if (n < 0) n = 0;
    if (n > capacity_) {
      int64_t wanted = static_cast<int64_t>(n) * 2;
      if (wanted > INT_MAX) wanted = INT_MAX;
      T** array = AllocationFaultInjected() ? nullptr
                                            : new (std::nothrow) T*[static_cast<size_t>(wanted)]();
      if (array == nullptr) return kStatusNoMemory;
      std::memcpy(array, Slots(), sizeof(T*) * static_cast<size_t>(count_));
      if (heap_ != nullptr) {
        delete[] heap_;
      } else {
        std::memset(inline_, 0, sizeof inline_);
      }
      heap_ = array;
      capacity_ = static_cast<int>(wanted);
    } else {
      DestroyFrom(n);
      if (n <= kInlineSlots && heap_ != nullptr) {
        std::memcpy(inline_, heap_, sizeof(T*) * static_cast<size_t>(n));
        delete[] heap_;
        heap_ = nullptr;
        capacity_ = kInlineSlots;
      }
    }
    count_ = n;
    return kStatusOk;
  }

  int Clear() {
    DestroyFrom(0);
    delete[] heap_;
    heap_ = nullptr;
    capacity_ = kInlineSlots;
    count_ = 0;
    return kStatusOk;
  }
  int RemoveAll() { return Clear(); }

  int RemoveAt(int i) {
    if (i < 0 || i >= count_) return kStatusOk;
    T** slots = Slots();
    delete slots[i];
    std::memmove(slots + i, slots + i + 1, sizeof(T*) * static_cast<size_t>(count_ - 1 - i));
    slots[--count_] = nullptr;
    return kStatusOk;
  }
  int Remove(int i) { return RemoveAt(i); }

 private:
  // Element types copy themselves either through a static T::Clone(const T*)
  // or through a member Clone() returning a new heap copy.
  static T* CloneOf(const T* element) {
    if constexpr (requires { { T::Clone(element) } -> std::convertible_to<T*>; }) {
      return T::Clone(element);
    } else if constexpr (requires { { element->Clone() } -> std::convertible_to<T*>; }) {
      return element->Clone();
    } else {
      return const_cast<T*>(element)->Clone();
    }
  }

  T** Slots() { return heap_ != nullptr ? heap_ : inline_; }

  void DestroyFrom(int n) {
    T** slots = Slots();
    for (int i = n; i < count_; ++i) {
      delete slots[i];
      slots[i] = nullptr;
    }
  }

  int count_ = 0;
  int capacity_ = kInlineSlots;
  T* inline_[kInlineSlots] = {};
  T** heap_ = nullptr;
};

}  // namespace tornell
