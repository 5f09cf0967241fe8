#include "core/text/JisText.h"

#include <cstring>

#include "core/text/EncodedWordCodec.h"
#include "core/text/TextUtils.h"

namespace tornell {

namespace {

const char kToDoubleByte[] = "\x1b$B";
const char kToAscii[] = "\x1b(B";
const char kJisWordPrefix[] = "=?ISO-2022-JP?B?";

// Full-width Shift-JIS codes of the half-width katakana 0xA1-0xDF (JIS X 0201
// to JIS X 0208); the two sound marks map to the spacing full-width marks.
const unsigned short kFullWidthKatakana[63] = {
    0x8142, 0x8175, 0x8176, 0x8141, 0x8145, 0x8392, 0x8340, 0x8342,
    0x8344, 0x8346, 0x8348, 0x8383, 0x8385, 0x8387, 0x8362, 0x815B,
    0x8341, 0x8343, 0x8345, 0x8347, 0x8349, 0x834A, 0x834C, 0x834E,
    0x8350, 0x8352, 0x8354, 0x8356, 0x8358, 0x835A, 0x835C, 0x835E,
    0x8360, 0x8363, 0x8365, 0x8367, 0x8369, 0x836A, 0x836B, 0x836C,
    0x836D, 0x836E, 0x8371, 0x8374, 0x8377, 0x837A, 0x837D, 0x837E,
    0x8380, 0x8381, 0x8382, 0x8384, 0x8386, 0x8388, 0x8389, 0x838A,
    0x838B, 0x838C, 0x838D, 0x838F, 0x8393, 0x814A, 0x814B,
};

void ShiftJisToJis(unsigned char& b1, unsigned char& b2) {
  int row = (b1 >= 0xE0 ? b1 - 0xB0 : b1 - 0x70) * 2;
  if (b2 >= 0x9F) {
    b2 = static_cast<unsigned char>(b2 - 0x7E);
  } else {
    --row;
    b2 = static_cast<unsigned char>(b2 - (b2 >= 0x80 ? 0x20 : 0x1F));
  }
  b1 = static_cast<unsigned char>(row);
}

void JisToShiftJis(unsigned char& b1, unsigned char& b2) {
  const int j1 = b1;
  if (j1 & 1) {
    b2 = static_cast<unsigned char>(b2 + (b2 >= 0x60 ? 0x20 : 0x1F));
  } else {
    b2 = static_cast<unsigned char>(b2 + 0x7E);
  }
  b1 = static_cast<unsigned char>(((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0));
}

bool InRange(int c, int low, int high) { return c >= low && c <= high; }

// Full-width code of the half-width katakana at t[0], taking a following sound
// mark into it where one combines; sets consumed to 1 or 2.
unsigned short FullWidthOf(const unsigned char* t, int& consumed) {
  const unsigned char kana = t[0];
  unsigned short code = kFullWidthKatakana[kana - 0xA1];
  consumed = 1;
  const int trail = code & 0xFF;
  if (t[1] == 0xDE && (InRange(kana, 0xB6, 0xC4) || InRange(kana, 0xCA, 0xCE) || kana == 0xB3)) {
    consumed = 2;
    if (kana == 0xB3) return 0x8394;
    if (InRange(trail, 0x4A, 0x67) || InRange(trail, 0x6E, 0x7A)) ++code;
  } else if (t[1] == 0xDF && InRange(kana, 0xCA, 0xCE)) {
    consumed = 2;
    if (InRange(trail, 0x6E, 0x7A)) code = static_cast<unsigned short>(code + 2);
  }
  return code;
}

bool HasHighByte(const char* bytes, int length) {
  return HeaderText::HasEightBitBytes(bytes, length) != 0;
}

// Decodes the Q form of an encoded word: "=" and two hex digits give the byte,
// "=" before anything else stays with the byte after it, "_" is a space.
int AppendQDecoded(ByteString& out, const char* p, int length) {
  int status = 0;
  for (int i = 0; i < length && status == 0; ++i) {
    if (p[i] == '=' && i + 2 < length && IsHexDigit(p[i + 1]) && IsHexDigit(p[i + 2])) {
      status = out.AppendByte(static_cast<char>(HexDigitValue(p[i + 1]) * 16 + HexDigitValue(p[i + 2])));
      i += 2;
    } else if (p[i] == '=' && i + 1 < length) {
      status = out.Append(p + i, 2);
      ++i;
    } else {
      status = out.AppendByte(p[i] == '_' ? ' ' : p[i]);
    }
  }
  return status;
}

}  // namespace

int JisText::AppendShiftJisAsIso2022Jp(const char* text) {
  if (text == nullptr) return kStatusOk;
  const unsigned char* t = reinterpret_cast<const unsigned char*>(text);
  bool doubleByte = false;
  int status = 0;
  auto toAscii = [&]() {
    if (doubleByte && status == 0) status = Append(kToAscii);
    doubleByte = false;
  };
  auto writePair = [&](unsigned char b1, unsigned char b2) {
    ShiftJisToJis(b1, b2);
    if (!doubleByte && status == 0) status = Append(kToDoubleByte);
    doubleByte = true;
    if (status == 0) status = AppendByte(static_cast<char>(b1));
    if (status == 0) status = AppendByte(static_cast<char>(b2));
  };
  while (*t != 0 && status == 0) {
    const unsigned char c = *t;
    if (IsLeadByte(c)) {
      const unsigned char trail = t[1];
      if (trail == 0) break;  // a lone lead byte at the end is dropped
      if (InRange(trail, 0x40, 0xFC)) {
        writePair(c, trail);
      } else {
        status = Append(reinterpret_cast<const char*>(t), 2);
      }
      t += 2;
    } else if (IsHalfWidthKatakana(c)) {
      int consumed = 1;
      const unsigned short code = FullWidthOf(t, consumed);
      writePair(static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code & 0xFF));
      t += consumed;
    } else {
      toAscii();
      if (status == 0) status = AppendByte(static_cast<char>(c));
      ++t;
    }
  }
  toAscii();
  return status;
}

int JisText::AppendIso2022JpAsShiftJis(const char* text) {
  if (text == nullptr) return kStatusOk;
  const unsigned char* t = reinterpret_cast<const unsigned char*>(text);
  bool doubleByte = false;
  int status = 0;
  // A text cut inside an escape or a pair ends there; the cut piece is dropped.
  while (*t != 0 && status == 0) {
    const unsigned char c = *t;
    if (c == 0x1B) {
      const unsigned char next = t[1];
      if (next == 0) break;
      if (next == '$' || next == '(') {
        if (t[2] == 0) break;
        t += 3;
      } else {
        t += 2;
      }
      doubleByte = next == '$' || next == 'K';
    } else if (c == '\r' || c == '\n') {
      doubleByte = false;
      status = AppendByte(static_cast<char>(c));
      ++t;
    } else if (doubleByte) {
      if (t[1] == 0) break;
      unsigned char b1 = c;
      unsigned char b2 = t[1];
      JisToShiftJis(b1, b2);
      status = AppendByte(static_cast<char>(b1));
      if (status == 0) status = AppendByte(static_cast<char>(b2));
      t += 2;
    } else {
      status = AppendByte(static_cast<char>(c));
      ++t;
    }
  }
  return status;
}

int JisText::AppendIsoJpEncodedWord(const char* text, int wrap) {
  JisText converted;
  int status = converted.AppendShiftJisAsIso2022Jp(text);
  if (status == 0) status = Append(kJisWordPrefix);
  if (status == 0) status = AppendBase64(converted.Data(), converted.Length(), wrap, 64, 0);
  if (status == 0) status = Append("?=");
  return status;
}

int JisText::AppendParameter(const char* name, const char* value, int length, int japanese,
                             const char* charset) {
  if (value == nullptr) value = "";
  if (length < 0) length = static_cast<int>(std::strlen(value));
  const bool eightBit = HasHighByte(value, length);
  int status = 0;
  if (japanese != 1 || !eightBit) {
    status = AppendByte(' ');
    if (status == 0) status = Append(name);
    if (status == 0) status = Append("=\"");
    if (status != 0) return status;
    if (eightBit && charset != nullptr && *charset != '\0') {
      ByteString flat;
      status = flat.Set(value, length);
      char* p = flat.Data();
      for (int i = 0; i < flat.Length(); ++i) {
        if (p[i] == '\r' || p[i] == '\n') p[i] = ' ';
      }
      if (status == 0) status = AppendEncodedWords(flat.Data(), flat.Length(), charset);
    } else {
      status = Append(value, length);
    }
    return status == 0 ? AppendByte('"') : status;
  }

  status = Append("\r\n\t");
  if (status == 0) status = Append(name);
  if (status == 0) status = Append("=\"");
  ByteString chunk;
  bool wordWritten = false;
  auto writeChunk = [&](int wrap) {
    if (wordWritten && status == 0) status = Append("\r\n\t");
    if (status == 0) status = AppendIsoJpEncodedWord(chunk.CStr(), wrap);
    chunk.Clear();
    wordWritten = true;
  };
  for (int i = 0; i < length && status == 0; ++i) {
    const int take = (IsLeadByte(static_cast<unsigned char>(value[i])) && i + 1 < length) ? 2 : 1;
    status = chunk.Append(value + i, take);
    i += take - 1;
    if (status == 0 && chunk.Length() > (wordWritten ? 45 : 35)) writeChunk(0);
  }
  if (status == 0 && chunk.Length() > 0) writeChunk(1);
  return status == 0 ? AppendByte('"') : status;
}

int JisText::AppendDecodedWords(const char* text) {
  if (text == nullptr) return kStatusOk;
  const char* t = text;
  const int prefixLength = static_cast<int>(sizeof kJisWordPrefix - 1);  // 16
  int status = 0;
  while (*t != '\0' && status == 0) {
    bool word = t[0] == '=' && t[1] == '?' && std::memchr(t, '\0', prefixLength) == nullptr;
    const char* end = nullptr;
    if (word) {
      char charset[13];
      std::memcpy(charset, t + 2, 12);
      charset[12] = '\0';
      word = CompareNoCase(charset, "ISO-2022-JP?") == 0;
      if (word) end = std::strstr(t + prefixLength, "?=");
      word = end != nullptr;
    }
    if (!word) {
      status = AppendByte(*t++);
      continue;
    }
    const char letter = t[14];
    const char* body = t + prefixLength;
    const int bodyLength = static_cast<int>(end - body);
    ByteString decoded;
    if (letter == 'B' || letter == 'b') {
      status = decoded.Set(body, bodyLength);
      if (status == 0) status = decoded.Base64Decode(0);
    } else if (letter == 'Q' || letter == 'q') {
      status = AppendQDecoded(decoded, body, bodyLength);
    }
    if (status == 0 && decoded.Length() > 0) status = AppendIso2022JpAsShiftJis(decoded.CStr());
    t = end + 2;
    // Blanks between two words belong to neither.
    const char* run = t;
    while (*run == ' ' || *run == '\t' || *run == '\r' || *run == '\n') ++run;
    if (run != t && *run != '\0' && (run[0] == '=' || run[1] == '?')) t = run;
  }
  return status;
}

int JisText::SetDecodedWords(const char* text) {
  Clear();
  return AppendDecodedWords(text);
}

int JisText::SetDecodedHeader(const char* text) {
  Clear();
  return AppendDecodedHeader(text);
}

int JisText::AppendDecodedHeader(const char* text) {
  ByteString scratch;
  int status = scratch.Set(text != nullptr ? text : "");
  if (status == 0) status = EncodedWordCodec::DecodeHeader(scratch);
  if (status == 0) status = Append(scratch);
  return status;
}

int JisHeaderEncoder::EncodeWords(HeaderText& target, const char* text, int width, int japanese,
                                  const char* charset) {
  if (text == nullptr) text = "";
  const int length = static_cast<int>(std::strlen(text));
  if (japanese == 0 || !HasHighByte(text, length)) return target.Fold(text, width, charset);
  target.Clear();
  JisText out;
  ByteString run;
  int status = 0;
  for (int i = 0; i < length && status == 0;) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"') {
      const char* close = std::strchr(text + i + 1, '"');
      const int inner = close != nullptr ? static_cast<int>(close - text) - i - 1 : length - i - 1;
      // A quote left open at the end: what follows it becomes one word.
      const bool encode = close == nullptr || HasHighByte(text + i + 1, inner);
      if (encode && inner > 0) {
        status = run.Set(text + i + 1, inner);
        if (status == 0) status = out.AppendIsoJpEncodedWord(run.CStr(), 1);
      } else if (!encode) {
        status = out.Append(text + i, inner + 2);
      }
      i += inner + (close != nullptr ? 2 : 1);
    } else if (JisText::IsLeadByte(c)) {
      int j = i;
      while (j < length && JisText::IsLeadByte(static_cast<unsigned char>(text[j]))) {
        j += j + 1 < length ? 2 : 1;
      }
      status = run.Set(text + i, j - i);
      if (status == 0) status = out.AppendIsoJpEncodedWord(run.CStr(), 1);
      i = j;
    } else {
      status = out.AppendByte(static_cast<char>(c));
      ++i;
    }
  }
  if (status != 0) return status;
  return target.FoldPlain(out.Data(), out.Length(), width);
}

int JisHeaderEncoder::EncodeFolded(HeaderText& target, const char* text, int width, int japanese,
                                   const char* charset) {
  if (text == nullptr) text = "";
  const int length = static_cast<int>(std::strlen(text));
  if (japanese == 0 || !HasHighByte(text, length)) return target.Fold(text, width, charset);
  const int limit = width >= 51 ? width - 50 : 10;
  JisText out;
  ByteString word;
  int status = 0;
  auto flush = [&]() {
    if (word.Length() == 0 || status != 0) return;
    if (HasHighByte(word.Data(), word.Length())) {
      status = out.AppendIsoJpEncodedWord(word.CStr(), 1);
    } else {
      status = out.Append(word);
    }
    word.Clear();
  };
  for (int i = 0; i < length && status == 0; ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') c = ' ';
    if (JisText::IsLeadByte(static_cast<unsigned char>(c))) {
      if (word.Length() > limit) {
        flush();
        if (status == 0) status = out.Append("\r\n\t");
      }
      if (status == 0) status = word.Append(text + i, i + 1 < length ? 2 : 1);
      if (i + 1 < length) ++i;
      continue;
    }
    const bool separator = c == ' ' || c == '\t' || c == ',';
    if (word.Length() < limit && !separator) {
      status = word.AppendByte(c);
      continue;
    }
    if (c == ',') status = word.AppendByte(c);
    const int held = word.Length();
    flush();
    if (status != 0) break;
    if (held < limit) {
      if (c != ',') status = out.AppendByte(c);
    } else {
      status = out.Append("\r\n\t");
      if (status == 0 && !separator) status = out.AppendByte(c);
    }
  }
  flush();
  if (status != 0) return status;
  return target.Assign(out);
}

}  // namespace tornell
