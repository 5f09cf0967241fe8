#pragma once
// PEM and SSH2 armour: line-wrapped Base64 between boundary lines, written and
// taken apart. Also the buffer the key-file readers decode into, so it wipes
// what it gives back like the secret type does.
#include <utility>

#include "core/text/JisText.h"

namespace tornell::pki {

class TextArmor : public JisText {
 public:
  TextArmor() { MarkSecret(); }
  TextArmor(TextArmor&& other) noexcept : JisText(std::move(other)) { MarkSecret(); }
  TextArmor& operator=(TextArmor&& other) noexcept {
    JisText::operator=(std::move(other));
    return *this;
  }

  // Armour text to bytes; input with eight-bit bytes is taken as binary and
  // copied. Text outside the Base64 alphabet is skipped, never an error.
  [[nodiscard]] int Decode(const char* marker, const char* data, int length);
  // A PEM block with CR LF line ends and 64-character lines.
  [[nodiscard]] int EncodePem(const char* label, const void* data, int length);
  // dashCount 5 gives the PEM boundary lines, 4 the SSH2 ones; headers (when
  // not null) go in a block ended by a blank line. lineLength must be positive.
  [[nodiscard]] int EncodeArmor(const char* label, const void* data, int length, int dashCount, int lineLength,
                                const char* headers);
  // The last count bytes of a big-endian integer, least significant first;
  // with padFlag the result is zero-extended to exactly count bytes.
  [[nodiscard]] int AppendReversed(const void* source, int sourceLength, int count, int padFlag);
};

// EncodePem's block appended to out as it is: for public data only, since a
// plain string does not wipe what it outgrows.
[[nodiscard]] int AppendPem(const char* label, const void* data, int length, ByteString& out);

// Relabels "RSA PUBLIC KEY" or "DSA PUBLIC KEY" armour as "PUBLIC KEY"; the DER
// inside is not converted.
[[nodiscard]] int RearmorPublicKey(const char* data, int length, TextArmor& out);

}  // namespace tornell::pki
