#pragma once
// Decoding of RFC 2047 encoded words in place; the charset is not applied, the
// decoded bytes are kept as they came.

#include "core/text/ByteString.h"

namespace tornell {

class EncodedWordCodec {
 public:
  // Replaces every well-formed encoded word by its bytes; blanks between two
  // words, and after a last word that only blanks follow, are dropped.
  [[nodiscard]] static int DecodeHeader(ByteString& text);
  // Decodes a string that is exactly one encoded word; anything else stays.
  [[nodiscard]] static int DecodeWord(ByteString& word);
};

}  // namespace tornell
