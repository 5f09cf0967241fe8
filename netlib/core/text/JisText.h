#pragma once
// Japanese header text: Shift-JIS (how the library holds it) to and from
// ISO-2022-JP (how it travels in headers), and ISO-2022-JP encoded words.

#include "core/text/HeaderText.h"

namespace tornell {

class JisText : public HeaderText {
 public:
  int AppendShiftJisAsIso2022Jp(const char* text);
  int AppendIso2022JpAsShiftJis(const char* text);
  // "=?ISO-2022-JP?B?" + Base64 of the converted text + "?="; with wrap on a
  // CR LF follows every 48 input bytes.
  [[nodiscard]] int AppendIsoJpEncodedWord(const char* text, int wrap);
  [[nodiscard]] int AppendParameter(const char* name, const char* value, int length, int japanese,
                      const char* charset);
  [[nodiscard]] int AppendDecodedWords(const char* text);
  [[nodiscard]] int SetDecodedWords(const char* text);
  [[nodiscard]] int SetDecodedHeader(const char* text);
  [[nodiscard]] int AppendDecodedHeader(const char* text);

  static bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF); }
  static bool IsHalfWidthKatakana(unsigned char c) { return c >= 0xA1 && c <= 0xDF; }
};

class JisHeaderEncoder {
 public:
  // Double-byte runs and quoted strings with 8-bit bytes become encoded words,
  // then the whole value is folded at blanks.
  [[nodiscard]] static int EncodeWords(HeaderText& target, const char* text, int width, int japanese,
                         const char* charset);
  // Words are cut at blanks and commas near a limit derived from the width.
  [[nodiscard]] static int EncodeFolded(HeaderText& target, const char* text, int width, int japanese,
                          const char* charset);
};

}  // namespace tornell
