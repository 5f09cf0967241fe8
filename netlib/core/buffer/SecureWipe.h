#pragma once
// Clears key material and the scratch that held it. The stores go through a
// volatile pointer, so the compiler may not drop a clear of memory that is
// never read again.
#include <cstddef>

namespace tornell {

inline void SecureWipe(void* data, size_t size) {
  volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) p[i] = 0;
}

}  // namespace tornell
