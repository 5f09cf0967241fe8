#pragma once
// Builders of NTLM CHALLENGE messages and hex helpers for the NTLM tests.
#include <cstdint>
#include <string>

#include "core/text/ByteString.h"

namespace ntlmtest {

inline std::string Hex(const void* data, int length) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (int i = 0; i < length; ++i) {
    out += digits[bytes[i] >> 4];
    out += digits[bytes[i] & 15];
  }
  return out;
}

inline std::string Hex(const tornell::ByteString& s) { return Hex(s.Data(), s.Length()); }

inline std::string FromHex(const std::string& hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  return out;
}

inline void PutLe(std::string& s, uint32_t value, int n) {
  for (int i = 0; i < n; ++i) s += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A CHALLENGE message: 48-byte header with target name, target information
// and the VERSION field, then the payload.
inline std::string Challenge(uint32_t flags, const std::string& serverChallenge,
                             const std::string& targetName = "", const std::string& targetInfo = "") {
  std::string m("NTLMSSP\0", 8);
  PutLe(m, 2, 4);
  const int header = 56;
  PutLe(m, static_cast<uint32_t>(targetName.size()), 2);
  PutLe(m, static_cast<uint32_t>(targetName.size()), 2);
  PutLe(m, targetName.empty() ? 0 : header, 4);
  PutLe(m, flags, 4);
  m += serverChallenge;
  m += std::string(8, '\0');
  PutLe(m, static_cast<uint32_t>(targetInfo.size()), 2);
  PutLe(m, static_cast<uint32_t>(targetInfo.size()), 2);
  PutLe(m, targetInfo.empty() ? 0 : static_cast<uint32_t>(header + targetName.size()), 4);
  m += std::string("\x06\x01\xb1\x1d\0\0\0\x0f", 8);  // 6.1 build 7601, revision 15
  return m + targetName + targetInfo;
}

inline tornell::ByteString Bytes(const std::string& s) {
  tornell::ByteString out;
  (void)out.Set(s.data(), static_cast<int>(s.size()));
  return out;
}

// squid 5.7's ntlm_fake_auth CHALLENGE as captured: 49 bytes, TargetName
// offset 0xAAAAAAAE, the client's flags echoed.
inline std::string SquidChallenge() {
  return FromHex(
      "4e544c4d535350000200000009000900aeaaaaaa078208a24f2353ac108c83860000000000003a00574f524b47524f5550");
}

}  // namespace ntlmtest
