#pragma once
// How the stand-in runtime writes an argument into its call record: pointers
// as their address, integers sign- or zero-extended by their own type.
#include <cstdint>
#include <type_traits>

namespace standin {

template <class T>
uint64_t ArgWord(T value) {
  if constexpr (std::is_pointer_v<T>) {
    return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(value));
  } else {
    return static_cast<uint64_t>(static_cast<int64_t>(value));
  }
}

}  // namespace standin
