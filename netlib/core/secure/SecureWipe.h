#pragma once
// The one way the library clears key material and the scratch that held it:
// explicit_bzero is a call the compiler may not drop, even for memory that is
// never read again.
#include <string.h>

#include <cstddef>

namespace tornell {

inline void SecureWipe(void* data, size_t size) {
  if (data != nullptr && size > 0) explicit_bzero(data, size);
}

// Wipes a whole object or array of plain values (limbs, schedules, states).
template <class T>
inline void SecureWipeObject(T& object) {
  SecureWipe(&object, sizeof object);
}

}  // namespace tornell
