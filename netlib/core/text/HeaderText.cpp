#include "core/text/HeaderText.h"

#include <climits>
#include <cstdint>
#include <cstring>

#include "core/base/Status.h"
#include "core/text/EncodedWordCodec.h"

namespace tornell {

namespace {

const char kFold[] = "\r\n ";

bool IsBlankByte(char c) { return c == ' ' || c == '\t'; }

char LineBreakAsSpace(char c) { return (c == '\r' || c == '\n') ? ' ' : c; }

int LengthOf(const char* text) { return text != nullptr ? static_cast<int>(std::strlen(text)) : 0; }

}  // namespace

char* HeaderText::SplitField() {
  if (Length() == 0) return nullptr;
  char* text = Data();
  if (static_cast<signed char>(text[0]) <= 32) {
    text[0] = '\0';
    return text + 1;
  }
  bool inQuotes = false;
  char* p = text;
  for (; *p != '\0'; ++p) {
    if (*p == '"') inQuotes = !inQuotes;
    if (*p == ':' && !inQuotes) break;
  }
  if (*p == '\0') return p;
  *p++ = '\0';
  while (IsBlankByte(*p)) ++p;
  return p;
}

int HeaderText::HasEightBitBytes(const char* text) {
  return HasEightBitBytes(text, LengthOf(text));
}

int HeaderText::HasEightBitBytes(const char* bytes, int length) {
  for (int i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(bytes[i]) >= 0x80) return 1;
  }
  return 0;
}

int HeaderText::FoldPlain(const char* bytes, int length, int width) {
  if (bytes == nullptr || length < 0) length = 0;
  if (width <= 0) return Set(bytes, length);
  // Room for a fold at every width bytes, counted in 64 bits: a long text at a
  // small width needs more than an int holds.
  const int64_t room = (static_cast<int64_t>(length) / width + 1) * 3 + length + 1;
  if (room > INT_MAX) return kStatusNoMemory;
  ByteString out;  // built apart, so the bytes may be this string's own
  TORNELL_TRY(out.Resize(static_cast<int>(room), nullptr));
  char* w = out.Data();
  int counter = width;
  for (int i = 0; i < length; ++i) {
    const char c = LineBreakAsSpace(bytes[i]);
    --counter;
    if (counter < 1 && IsBlankByte(c)) {
      if (i == length - 1) break;
      *w++ = '\r';
      *w++ = '\n';
      *w++ = c;
      counter = width;
    } else {
      *w++ = c;
    }
  }
  TORNELL_TRY(out.Resize(static_cast<int>(w - out.Data()), nullptr));
  return Assign(out);
}

int HeaderText::Fold(const char* text, int width, const char* charset) {
  return Fold(text, LengthOf(text), width, charset);
}

// A word ends at a blank that a non-blank follows once it holds width bytes.
// Words with 8-bit bytes are written as encoded words that keep their leading
// blank; plain words after an encoded word drop that blank instead.
int HeaderText::Fold(const char* bytes, int length, int width, const char* charset) {
  if (bytes == nullptr || length < 0) length = 0;
  if (charset == nullptr || *charset == '\0' || !HasEightBitBytes(bytes, length)) {
    return FoldPlain(bytes, length, width);
  }
  HeaderText out;
  ByteString word;
  bool afterEncoded = false;
  int status = 0;
  auto flush = [&]() {
    if (afterEncoded && (status = out.Append(kFold)) != 0) return;
    if (HasEightBitBytes(word.Data(), word.Length())) {
      status = out.AppendEncodedWords(word.Data(), word.Length(), charset);
      afterEncoded = true;
    } else {
      const int skip = (afterEncoded && word.Length() > 0) ? 1 : 0;
      status = out.Append(word.Data() + skip, word.Length() - skip);
      afterEncoded = false;
    }
    word.Clear();
  };
  // The length bounds the walk: the text need not end in a NUL.
  for (int i = 0; i < length && status == 0; ++i) {
    const char c = LineBreakAsSpace(bytes[i]);
    const char next = i + 1 < length ? bytes[i + 1] : '\0';
    if (word.Length() >= width && IsBlankByte(c) && !IsBlankByte(next)) {
      const bool encoded = HasEightBitBytes(word.Data(), word.Length());
      flush();
      if (status == 0 && !encoded) status = out.Append(kFold);
      if (status == 0 && encoded) status = word.AppendByte(c);
    } else {
      status = word.AppendByte(c);
    }
  }
  if (status == 0 && word.Length() > 0) flush();
  if (status != 0) return status;
  return Assign(out);
}

int HeaderText::AppendEncodedWords(const char* bytes, int length, const char* charset) {
  if (bytes == nullptr || length <= 0) return kStatusOk;
  if (charset == nullptr || *charset == '\0') return Append(bytes, length);
  // Input bytes whose Base64 fills 64 characters together with the charset;
  // at least one, so that an over-long charset name cannot stall the loop.
  int chunk = ((64 - LengthOf(charset)) * 3) / 4;
  if (chunk < 1) chunk = 1;
  int status = 0;
  for (int at = 0; at < length && status == 0; at += chunk) {
    const int n = length - at < chunk ? length - at : chunk;
    if (at > 0) status = Append(kFold);
    if (status == 0) status = Append("=?");
    if (status == 0) status = Append(charset);
    if (status == 0) status = Append("?B?");
    if (status == 0) status = AppendBase64(bytes + at, n, 0, 64, 0);
    if (status == 0) status = Append("?=");
  }
  return status;
}

int HeaderText::Unfold(const char* text) { return Unfold(text, LengthOf(text)); }

int HeaderText::Unfold(const char* bytes, int length) {
  if (bytes == nullptr || length < 0) length = 0;
  ByteString out;
  int status = 0;
  for (int i = 0; i < length && status == 0;) {
    if (bytes[i] == '\r' && i + 1 < length && bytes[i + 1] == '\n') {
      int j = i + 2;
      while (j < length && IsBlankByte(bytes[j])) ++j;
      if (j == length) break;
      // Keep one separator: the last blank of the fold, or the LF itself.
      status = out.Append(bytes + j - 1, 2);
      i = j + 1;
    } else {
      status = out.AppendByte(bytes[i]);
      ++i;
    }
  }
  if (status == 0) status = Assign(out);
  if (status != 0) return status;
  return EncodedWordCodec::DecodeHeader(*this);
}

int HeaderText::CountLineStartDots(const char* bytes, int length) {
  if (bytes == nullptr || length <= 0) return 0;
  int count = 0;
  const char* end = bytes + length;
  for (const char* p = bytes; p < end; ++p) {
    p = static_cast<const char*>(std::memchr(p, '.', static_cast<size_t>(end - p)));
    if (p == nullptr) break;
    if (p == bytes || p[-1] == '\n') ++count;
  }
  return count;
}

int HeaderText::AppendDotStuffed(const char* text) { return AppendDotStuffed(text, LengthOf(text)); }

int HeaderText::AppendDotStuffed(const char* bytes, int length) {
  if (bytes == nullptr || length <= 0) return kStatusOk;
  // Every stuffed dot adds a byte; the sum with what is already held must
  // still fit an int, checked before anything is read or allocated.
  if (static_cast<int64_t>(length) + Length() > INT_MAX) return kStatusNoMemory;
  const int64_t stuffed = static_cast<int64_t>(length) + CountLineStartDots(bytes, length);
  if (stuffed + Length() > INT_MAX) return kStatusNoMemory;
  ByteString out;
  TORNELL_TRY(out.Resize(static_cast<int>(stuffed), nullptr));
  char* w = out.Data();
  for (int i = 0; i < length; ++i) {
    if (bytes[i] == '.' && (i == 0 || bytes[i - 1] == '\n')) *w++ = '.';
    *w++ = bytes[i];
  }
  return Append(out);
}

int HeaderText::SetDotStuffed(const char* text) { return SetDotStuffed(text, LengthOf(text)); }

int HeaderText::SetDotStuffed(const char* bytes, int length) {
  Clear();
  return AppendDotStuffed(bytes, length);
}

}  // namespace tornell
