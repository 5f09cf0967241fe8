#pragma once
// Helpers of the elliptic-curve tests: hex conversions and running the
// Python and OpenSSL reference tools.
#include <string>
#include <vector>

#include "TestText.h"
#include "core/text/ByteString.h"
#include "crypto/ecc/curve/EcBigInt.h"
#include "crypto/ecc/curve/EcPointMath.h"

namespace ectest {

// What the command printed, whatever its exit status.
inline std::string RunTool(const std::string& command) {
  bool ok = false;
  return testsupport::RunCommand(command, ok);
}

// The helper scripts live beside this header.
inline std::string ScriptPath(const char* name) {
  return (testsupport::SourceDir() / "tests/netlib/crypto/ecc/curve" / name).string();
}

// Runs a helper script of this folder with /usr/bin/python3; lines of '|' fields.
inline std::vector<std::vector<std::string>> RunScript(const std::string& args) {
  const std::string out = RunTool("timeout 120 /usr/bin/python3 " + args + " 2>/dev/null");
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : testsupport::Lines(out)) {
    if (line.empty()) continue;
    std::vector<std::string> fields;
    size_t s = 0;
    for (;;) {
      const size_t bar = line.find('|', s);
      fields.push_back(line.substr(s, bar == std::string::npos ? std::string::npos : bar - s));
      if (bar == std::string::npos) break;
      s = bar + 1;
    }
    rows.push_back(fields);
  }
  return rows;
}

inline bool HasPython() { return RunTool("/usr/bin/python3 -c 'import cryptography; print(1)' 2>/dev/null") == "1\n"; }

inline bool HasOpenssl() { return testsupport::HaveOpenssl(); }

// Hex to bytes; an odd digit count reads as if led by a zero.
inline std::string Bytes(const std::string& hex) { return testsupport::Unhex(hex.size() % 2 != 0 ? "0" + hex : hex); }

inline tornell::ByteString ByteStr(const std::string& hex) {
  tornell::ByteString s;
  const std::string b = Bytes(hex);
  s.Set(b.data(), static_cast<int>(b.size()));
  return s;
}

// Signed hex ("-" for negative) to a value.
inline tornell::EcBigInt Big(const std::string& hex) {
  tornell::EcBigInt v;
  const bool negative = !hex.empty() && hex[0] == '-';
  const std::string b = Bytes(negative ? hex.substr(1) : hex);
  EXPECT_EQ(tornell::EcBigInt::FromBytes(b.data(), static_cast<int64_t>(b.size()), v), 0);
  v.sign = negative ? 0u : 1u;
  if (tornell::EcBigInt::IsZero(v)) v.sign = 1;
  return v;
}

// Lower-case hex without leading zeros ("0" for zero), "-" for negative.
inline std::string Hex(const tornell::EcBigInt& v) {
  tornell::ByteString bytes;
  EXPECT_EQ(tornell::EcPointMath::ToBytes(v, bytes), 0);
  std::string out = testsupport::Hex(bytes.Data(), static_cast<size_t>(bytes.Length()));
  const size_t nz = out.find_first_not_of('0');
  out = nz == std::string::npos ? "0" : out.substr(nz);
  if (v.sign == 0 && out != "0") out = "-" + out;
  return out;
}

// A curve parameter as a value, and widened to the word count of p.
inline tornell::EcBigInt Param(const tornell::ByteString& bytes) {
  tornell::EcBigInt v;
  EXPECT_EQ(tornell::EcBigInt::FromBytes(bytes.Data(), bytes.Length(), v), 0);
  return v;
}

inline tornell::EcBigInt Widened(const tornell::ByteString& bytes, const tornell::EcBigInt& p) {
  tornell::EcBigInt v = Param(bytes);
  for (int i = v.wordCount; i < p.wordCount; ++i) v.words[i] = 0;
  v.wordCount = p.wordCount;
  return v;
}

inline std::string HexOf(const tornell::ByteString& s) {
  return testsupport::Hex(s.Data(), static_cast<size_t>(s.Length()));
}

}  // namespace ectest
