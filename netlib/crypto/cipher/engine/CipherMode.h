#pragma once
// Mode numbers every caller of the cipher engine passes.

namespace tornell {

struct CipherMode {
  enum : int { CBC = 1, ECB = 2, OFB = 3, CFB = 4, CTS = 5, GCM = 6 };
};

}  // namespace tornell
