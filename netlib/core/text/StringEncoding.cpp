#include "core/text/StringEncoding.h"

#include <array>
#include <cstring>

#include "core/base/StatusCodes.h"
#include "core/text/TextUtils.h"

namespace tornell::encoding {

namespace {

constexpr char kStdAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char kUrlAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
constexpr char kLowerHex[] = "0123456789abcdef";
constexpr char kUpperHex[] = "0123456789ABCDEF";

// Two output characters for every 12-bit input value: one lookup per half group.
using PairTable = std::array<uint16_t, 4096>;

constexpr PairTable MakePairTable(const char* alphabet) {
  PairTable table{};
  for (int v = 0; v < 4096; ++v) {
    const auto first = static_cast<unsigned char>(alphabet[v >> 6]);
    const auto second = static_cast<unsigned char>(alphabet[v & 63]);
    table[v] = static_cast<uint16_t>(first | (second << 8));  // byte order of x86 stores
  }
  return table;
}

constexpr PairTable kStdPairs = MakePairTable(kStdAlphabet);
constexpr PairTable kUrlPairs = MakePairTable(kUrlAlphabet);

// Decoding: for each of the four positions of a group, the character's six bits
// already shifted into place; a byte outside the alphabet carries kBad.
constexpr uint32_t kBad = 0x01000000;
constexpr uint8_t kSkip = 255;   // foreign byte: ignored
constexpr uint8_t kPad = 254;    // "=": decoding ends
constexpr uint8_t kEnd = 253;    // NUL: the text ends

struct DecodeTables {
  std::array<uint8_t, 256> value{};
  std::array<std::array<uint32_t, 256>, 4> shifted{};
};

constexpr DecodeTables MakeDecodeTables(const char* alphabet) {
  DecodeTables t{};
  for (int c = 0; c < 256; ++c) t.value[c] = kSkip;
  for (int v = 0; v < 64; ++v) t.value[static_cast<unsigned char>(alphabet[v])] = static_cast<uint8_t>(v);
  t.value['='] = kPad;
  t.value[0] = kEnd;
  for (int c = 0; c < 256; ++c) {
    const uint32_t v = t.value[c];
    for (int pos = 0; pos < 4; ++pos) {
      t.shifted[pos][c] = v < 64 ? v << (18 - 6 * pos) : kBad;
    }
  }
  return t;
}

constexpr DecodeTables kStdDecode = MakeDecodeTables(kStdAlphabet);
constexpr DecodeTables kUrlDecode = MakeDecodeTables(kUrlAlphabet);

using HexTable = std::array<uint16_t, 256>;
constexpr HexTable MakeHexTable(const char* digits) {
  HexTable table{};
  for (int b = 0; b < 256; ++b) {
    table[b] = static_cast<uint16_t>(static_cast<unsigned char>(digits[b >> 4]) |
                                     (static_cast<unsigned char>(digits[b & 15]) << 8));
  }
  return table;
}
constexpr HexTable kLowerHexPairs = MakeHexTable(kLowerHex);
constexpr HexTable kUpperHexPairs = MakeHexTable(kUpperHex);

inline void PutPair(char* out, uint16_t pair) {
  out[0] = static_cast<char>(pair & 0xFF);
  out[1] = static_cast<char>(pair >> 8);
}

// Input bytes per output line; 0 means no line breaks. A line length that is
// not a multiple of 4 gives the 64-character MIME line.
constexpr int kMimeLineGroup = 48;
int Base64LineGroup(int wrap, int lineLength) {
  if (!wrap || lineLength <= 0) return 0;
  if (lineLength % 4 != 0) return kMimeLineGroup;
  const int64_t group = static_cast<int64_t>(lineLength) / 4 * 3;
  return group > INT32_MAX ? 0 : static_cast<int>(group);
}

// Encodes a run of input bytes; the last group is padded as RFC 4648 says,
// or left short when pad is off (the URL-safe form).
char* EncodeRun(char* out, const unsigned char* in, int length, const PairTable& pairs,
                const char* alphabet, bool pad) {
  int i = 0;
  // Six input bytes a round through one 8-byte load and one 8-byte store.
  for (; i + 8 <= length; i += 6) {
    uint64_t word;
    std::memcpy(&word, in + i, 8);
    word = __builtin_bswap64(word);
    const uint32_t first = static_cast<uint32_t>(word >> 40);
    const uint32_t second = static_cast<uint32_t>(word >> 16) & 0xFFFFFF;
    const uint64_t chars = uint64_t{pairs[first >> 12]} | (uint64_t{pairs[first & 0xFFF]} << 16) |
                           (uint64_t{pairs[second >> 12]} << 32) | (uint64_t{pairs[second & 0xFFF]} << 48);
    std::memcpy(out, &chars, 8);
    out += 8;
  }
  for (; i + 3 <= length; i += 3) {
    const uint32_t v = (uint32_t{in[i]} << 16) | (uint32_t{in[i + 1]} << 8) | in[i + 2];
    PutPair(out, pairs[v >> 12]);
    PutPair(out + 2, pairs[v & 0xFFF]);
    out += 4;
  }
  const int rest = length - i;
  if (rest > 0) {
    const uint32_t v = (uint32_t{in[i]} << 16) | (rest == 2 ? uint32_t{in[i + 1]} << 8 : 0);
    *out++ = alphabet[v >> 18];
    *out++ = alphabet[(v >> 12) & 63];
    if (rest == 2) {
      *out++ = alphabet[(v >> 6) & 63];
    } else if (pad) {
      *out++ = '=';
    }
    if (pad) *out++ = '=';
  }
  return out;
}

}  // namespace

int64_t Base64EncodedSize(int length, int wrap, int lineLength, int urlSafe) {
  if (length <= 0) return 0;
  int64_t size = (static_cast<int64_t>(length) + 2) / 3 * 4;
  if (urlSafe) size -= (3 - length % 3) % 3;
  const int group = Base64LineGroup(wrap, lineLength);
  if (group > 0) size += static_cast<int64_t>((length - 1) / group) * 2;
  return size;
}

void Base64Encode(char* out, const unsigned char* in, int length, int wrap, int lineLength,
                  int urlSafe) {
  if (length <= 0) return;
  const PairTable& pairs = urlSafe ? kUrlPairs : kStdPairs;
  const char* alphabet = urlSafe ? kUrlAlphabet : kStdAlphabet;
  const int group = Base64LineGroup(wrap, lineLength);
  const bool pad = !urlSafe;
  if (group == 0) {
    EncodeRun(out, in, length, pairs, alphabet, pad);
  } else {
    for (int i = 0; i < length; i += group) {
      if (i > 0) {
        *out++ = '\r';
        *out++ = '\n';
      }
      const int chunk = length - i < group ? length - i : group;
      out = EncodeRun(out, in + i, chunk, pairs, alphabet, pad);
    }
  }
}

int Base64DecodeInPlace(unsigned char* s, int length, int urlSafe) {
  const DecodeTables& t = urlSafe ? kUrlDecode : kStdDecode;
  const auto& d0 = t.shifted[0];
  const auto& d1 = t.shifted[1];
  const auto& d2 = t.shifted[2];
  const auto& d3 = t.shifted[3];
  int r = 0;
  int w = 0;
  uint32_t acc = 0;
  int pending = 0;
  bool padded = false;
  for (;;) {
    if (pending == 0) {
      // Whole groups of four alphabet characters, the common case.
      // The 4-byte store's spare byte lands on input already read (w <= r).
      while (r + 4 <= length) {
        const uint32_t v = d0[s[r]] | d1[s[r + 1]] | d2[s[r + 2]] | d3[s[r + 3]];
        if (v & kBad) break;
        const uint32_t bytes = __builtin_bswap32(v << 8);
        std::memcpy(s + w, &bytes, 4);
        w += 3;
        r += 4;
      }
    }
    if (r >= length) break;
    const uint8_t v = t.value[s[r++]];
    if (v == kSkip) continue;
    if (v == kEnd) break;
    if (v == kPad) {
      padded = true;
      break;
    }
    acc = (acc << 6) | v;
    if (++pending == 4) {
      s[w] = static_cast<unsigned char>(acc >> 16);
      s[w + 1] = static_cast<unsigned char>(acc >> 8);
      s[w + 2] = static_cast<unsigned char>(acc);
      w += 3;
      acc = 0;
      pending = 0;
    }
  }
  if (pending == 1 && padded) {
    s[w++] = static_cast<unsigned char>(acc << 2);
  } else if (pending == 2) {
    s[w++] = static_cast<unsigned char>(acc >> 4);
  } else if (pending == 3) {
    s[w++] = static_cast<unsigned char>(acc >> 10);
    s[w++] = static_cast<unsigned char>(acc >> 2);
  }
  return w;
}

void HexEncode(char* out, const unsigned char* in, int length) {
  for (int i = 0; i < length; ++i) PutPair(out + 2 * i, kLowerHexPairs[in[i]]);
}

int HexPairValue(const char* text) {
  const int high = HexDigitValue(static_cast<unsigned char>(text[0]));
  if (high < 0) return kNotFound;
  const int low = HexDigitValue(static_cast<unsigned char>(text[1]));
  if (low < 0) return kNotFound;
  return high * 16 + low;
}

int ConvertUtf16LeToUtf8(unsigned char* out, int* outLength, const unsigned char* in,
                         int length) {
  int produced = 0;
  int ok = 1;
  int i = 0;
  for (; i + 2 <= length; i += 2) {
    uint32_t value = in[i] | (uint32_t{in[i + 1]} << 8);
    if (value < 0x80) {
      if (out != nullptr) out[produced] = static_cast<unsigned char>(value);
      ++produced;
      continue;
    }
    if (value >= 0xDC00 && value <= 0xDFFF) {
      ok = 0;
      break;
    }
    if (value >= 0xD800 && value <= 0xDBFF) {
      if (i + 4 > length) {
        ok = 0;
        break;
      }
      const uint32_t low = in[i + 2] | (uint32_t{in[i + 3]} << 8);
      if (low < 0xDC00 || low > 0xDFFF) {
        ok = 0;
        break;
      }
      value = (((value - 0xD800) << 10) | (low - 0xDC00)) + 0x10000;
      i += 2;
    }
    int k = 1;
    while (k < 5 && value >= (uint32_t{1} << (5 * k + 6))) ++k;
    static const unsigned char kLead[6] = {0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
    if (out != nullptr) {
      out[produced] = static_cast<unsigned char>(kLead[k] + (value >> (6 * k)));
      for (int j = k - 1; j >= 0; --j) {
        out[produced + k - j] = static_cast<unsigned char>(0x80 | ((value >> (6 * j)) & 0x3F));
      }
    }
    produced += k + 1;
  }
  // Whole code units only: a trailing odd byte makes the text invalid.
  if (ok && i < length) ok = 0;
  *outLength = produced;
  return ok;
}

void SwapBytePairs(unsigned char* data, int length) {
  if (length % 2 != 0) return;
  for (int i = 0; i + 1 < length; i += 2) {
    const unsigned char first = data[i];
    data[i] = data[i + 1];
    data[i + 1] = first;
  }
}

int QuotedPrintableDecodeInPlace(unsigned char* text) {
  int r = 0;
  int w = 0;
  while (text[r] != 0) {
    if (text[r] != '=') {
      text[w++] = text[r++];
      continue;
    }
    if (text[r + 1] == 0) break;  // a last "=" is dropped
    const int value = HexPairValue(reinterpret_cast<const char*>(text + r + 1));
    if (value >= 0) {
      text[w++] = static_cast<unsigned char>(value);
      r += 3;
    } else {
      // Not an escape: "=" and the byte after it stay as they are.
      text[w++] = text[r];
      text[w++] = text[r + 1];
      r += 2;
    }
  }
  return w;
}

namespace {
inline bool UrlPlain(unsigned char c, const unsigned char* table) {
  return c >= 32 && c <= 127 && (table[c - 32] & 1) != 0;
}
}  // namespace

int64_t UrlEncodedSize(const char* text, const unsigned char* table) {
  int64_t size = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    size += UrlPlain(*p, table) ? 1 : 3;
  }
  return size;
}

void UrlEncode(char* out, const char* text, const unsigned char* table) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    if (UrlPlain(*p, table)) {
      *out++ = static_cast<char>(*p);
    } else {
      out[0] = '%';
      PutPair(out + 1, kUpperHexPairs[*p]);
      out += 3;
    }
  }
}

namespace {
constexpr int kDumpLine = 10 + 67;  // "%08X  " and the 67-character field
}

int64_t HexDumpSize(int length) {
  if (length <= 0) return 0;
  const int64_t lines = (static_cast<int64_t>(length) + 15) / 16;
  return lines * kDumpLine + (lines - 1) * 2;
}

void HexDump(char* out, const unsigned char* in, int length) {
  for (int offset = 0; offset < length; offset += 16) {
    if (offset > 0) {
      *out++ = '\r';
      *out++ = '\n';
    }
    for (int shift = 28, k = 0; shift >= 0; shift -= 4, ++k) {
      out[k] = kUpperHex[(static_cast<unsigned>(offset) >> shift) & 15];
    }
    out[8] = ' ';
    out[9] = ' ';
    char* field = out + 10;
    std::memset(field, ' ', 67);
    for (int j = 0; j < 16 && offset + j < length; ++j) {
      const unsigned char b = in[offset + j];
      PutPair(field + 3 * j, kUpperHexPairs[b]);
      field[51 + j] = (b >= 0x20 && b <= 0x7E) ? static_cast<char>(b) : '.';
    }
    out += kDumpLine;
  }
}

}  // namespace tornell::encoding
