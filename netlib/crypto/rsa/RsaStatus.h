#pragma once
// Status codes of the RSA key, engine and paddings.

namespace tornell::rsa_status {

constexpr int kNoModulus = 1101;
constexpr int kZeroModulus = 1102;
constexpr int kNoExponent = 1103;
constexpr int kZeroPublicExponent = 1104;
constexpr int kZeroPrivateExponent = 1105;
constexpr int kUnknownDigest = 1106;
constexpr int kNoHash = 1107;
constexpr int kNoSignature = 1108;
constexpr int kHashLengthMismatch = 1109;
constexpr int kNoPublicKey = 1110;
constexpr int kNoPrivateKey = 1111;
constexpr int kModulusTooShort = 1112;
constexpr int kNoData = 1113;
constexpr int kDecryptionFailed = 1114;
constexpr int kMessageTooLong = 1118;
constexpr int kPssInconsistent = 1119;

}  // namespace tornell::rsa_status
