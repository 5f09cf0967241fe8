#pragma once
// Hex in and out of the DER writer's buffer for the DER tests.
#include <string>

#include "TestText.h"
#include "core/text/ByteString.h"

namespace dertest {

inline std::string HexOf(const tornell::ByteString& s) { return testsupport::Hex(s.Data(), static_cast<size_t>(s.Length())); }

inline void SetHex(tornell::ByteString& s, const std::string& hex) {
  const std::string bytes = testsupport::Unhex(hex);
  ASSERT_EQ(s.Set(bytes.data(), static_cast<int>(bytes.size())), 0);
}

}  // namespace dertest
