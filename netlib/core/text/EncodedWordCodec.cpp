#include "core/text/EncodedWordCodec.h"

namespace tornell {

namespace {

// Index of the first byte c at or after from, or -1.
int FindByte(const char* text, int length, int from, char c) {
  for (int i = from; i < length; ++i) {
    if (text[i] == c) return i;
  }
  return kNotFound;
}

int FindWordEnd(const char* text, int length, int from) {
  for (int i = from; i + 1 < length; ++i) {
    if (text[i] == '?' && text[i + 1] == '=') return i;
  }
  return kNotFound;
}

bool IsWordGap(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

int EncodedWordCodec::DecodeWord(ByteString& word) {
  const char* w = word.Data();
  const int n = word.Length();
  if (n < 4 || w[0] != '=' || w[1] != '?' || w[n - 2] != '?' || w[n - 1] != '=') return kStatusOk;
  const int q = FindByte(w, n, 2, '?');
  if (q < 0 || q + 2 >= n) return kStatusOk;
  char encoding = w[q + 1];
  if (encoding >= 'a' && encoding <= 'z') encoding = static_cast<char>(encoding - 'a' + 'A');
  if ((encoding != 'B' && encoding != 'Q') || w[q + 2] != '?') return kStatusOk;
  // The "?" that closes the prefix must not double as the one of the "?=".
  if (q + 3 > n - 2) return kStatusOk;
  int status = word.Substring(q + 3, n - 2);
  if (status != 0) return status;
  if (encoding == 'B') return word.Base64Decode(0);
  char* p = word.Data();
  for (int i = 0; i < word.Length(); ++i) {
    if (p[i] == '_') p[i] = ' ';
  }
  return word.QuotedPrintableDecode();
}

int EncodedWordCodec::DecodeHeader(ByteString& text) {
  const char* t = text.Data();
  const int n = text.Length();
  ByteString out;
  ByteString pending;  // blanks seen since the last encoded word
  bool afterWord = false;
  int status = 0;
  for (int i = 0; i < n && status == 0;) {
    if (t[i] == '=' && i + 1 < n && t[i + 1] == '?') {
      afterWord = false;
      const int q1 = FindByte(t, n, i + 2, '?');
      const int q2 = q1 < 0 ? -1 : FindByte(t, n, q1 + 1, '?');
      const int e = q2 < 0 ? -1 : FindWordEnd(t, n, q2 + 1);
      if (e < 0) {
        status = out.Append(pending);
        if (status == 0) status = out.AppendByte('=');
        pending.Clear();
        ++i;
        continue;
      }
      ByteString word;
      status = word.Set(t + i, e + 2 - i);
      if (status == 0) status = DecodeWord(word);
      if (status == 0) status = out.Append(word);
      pending.Clear();
      afterWord = true;
      i = e + 2;
      continue;
    }
    const char c = t[i++];
    if (afterWord && IsWordGap(c)) {
      status = pending.AppendByte(c);
    } else if (afterWord) {
      afterWord = false;
      status = out.Append(pending);
      pending.Clear();
      if (status == 0) status = out.AppendByte(c);
    } else {
      status = out.AppendByte(c);
    }
  }
  if (status != 0) return status;
  return text.Assign(out);
}

}  // namespace tornell
