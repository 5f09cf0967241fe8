#pragma once
// The wire numbers the handshake's readers and writers share: message types,
// extension types, and the fixed randoms that mark a HelloRetryRequest and a
// downgrade.
namespace tornell::hs {

inline constexpr int kHelloRequest = 0;
inline constexpr int kClientHello = 1;
inline constexpr int kServerHello = 2;
inline constexpr int kNewSessionTicket = 4;
inline constexpr int kHelloRetryRequest = 6;
inline constexpr int kEncryptedExtensions = 8;
inline constexpr int kCertificate = 11;
inline constexpr int kServerKeyExchange = 12;
inline constexpr int kCertificateRequest = 13;
inline constexpr int kServerHelloDone = 14;
inline constexpr int kCertificateVerify = 15;
inline constexpr int kClientKeyExchange = 16;
inline constexpr int kFinished = 20;
inline constexpr int kKeyUpdate = 24;

inline constexpr int kExtServerName = 0;
inline constexpr int kExtSupportedGroups = 10;
inline constexpr int kExtSignatureAlgorithms = 13;
inline constexpr int kExtAlpn = 16;
inline constexpr int kExtPreSharedKey = 41;
inline constexpr int kExtSupportedVersions = 43;
inline constexpr int kExtCookie = 44;
inline constexpr int kExtPskModes = 45;
inline constexpr int kExtKeyShare = 51;
inline constexpr int kExtRenegotiationInfo = 0xFF01;

inline constexpr int kRenegotiationScsv = 0x00FF;

// SHA-256 of "HelloRetryRequest": the ServerHello random that makes it one.
inline constexpr unsigned char kRetryRandom[32] = {0xCF, 0x21, 0xAD, 0x74, 0xE5, 0x9A, 0x61, 0x11, 0xBE, 0x1D, 0x8C,
                                                   0x02, 0x1E, 0x65, 0xB8, 0x91, 0xC2, 0xA2, 0x11, 0x16, 0x7A, 0xBB,
                                                   0x8C, 0x5E, 0x07, 0x9E, 0x09, 0xE2, 0xC8, 0xA8, 0x33, 0x9C};
// The last eight random bytes of a server that could speak a newer version.
inline constexpr char kDowngradeTls12[8] = {'D', 'O', 'W', 'N', 'G', 'R', 'D', 1};
inline constexpr char kDowngradeTls11[8] = {'D', 'O', 'W', 'N', 'G', 'R', 'D', 0};

}  // namespace tornell::hs
