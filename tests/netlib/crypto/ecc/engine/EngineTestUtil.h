#pragma once
// Helpers of the engine tests: hex text with "-" for no bytes, and the
// reference script of this folder run through the curve tests' tool runner.
#include <filesystem>
#include <string>
#include <vector>

#include "../curve/EcTestUtil.h"
#include "TestSupport.h"
#include "core/text/ByteString.h"
#include "crypto/ecc/curve/EcKey.h"

namespace enginetest {

using Row = std::vector<std::string>;

// Runs engine_reference.py (beside this header) with the arguments.
inline std::vector<Row> Reference(const std::string& args) {
  const std::string script = (testsupport::SourceDir() / "tests/netlib/crypto/ecc/engine/engine_reference.py").string();
  return ectest::RunScript(script + " " + args);
}

using ectest::HasOpenssl;
using ectest::HasPython;
using ectest::RunTool;

// "-" stands for no bytes.
inline std::string Bytes(const std::string& hex) { return hex == "-" ? std::string() : ectest::Bytes(hex); }

inline tornell::ByteString Str(const std::string& hex) {
  return hex == "-" ? tornell::ByteString() : ectest::ByteStr(hex);
}

inline std::string Hex(const char* data, int length) {
  return length <= 0 ? "-" : testsupport::Hex(data, static_cast<size_t>(length));
}

inline std::string Hex(const tornell::ByteString& s) { return Hex(s.Data(), s.Length()); }

inline void SetKey(tornell::EcKey& key, int curveIndex, const std::string& d, const std::string& x,
                   const std::string& y) {
  key.curveIndex = curveIndex;
  key.curve = nullptr;
  EXPECT_EQ(key.D.Assign(Str(d)), 0);
  key.X = Str(x);
  key.Y = Str(y);
}

}  // namespace enginetest
