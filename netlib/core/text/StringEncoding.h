#pragma once
// Byte-level encoders and decoders behind the string members: they work on raw
// buffers so every InlineString<N> instance shares one copy of the code.
#include <cstdint>

namespace tornell::encoding {

// Characters AppendBase64 produces for length input bytes (line breaks included).
int64_t Base64EncodedSize(int length, int wrap, int lineLength, int urlSafe);
// Writes exactly Base64EncodedSize(...) characters to out (no terminator).
void Base64Encode(char* out, const unsigned char* in, int length, int wrap, int lineLength,
                  int urlSafe);
// Decodes the C-string content of text[0, length) in place; returns the byte count.
int Base64DecodeInPlace(unsigned char* text, int length, int urlSafe);

void HexEncode(char* out, const unsigned char* in, int length);  // 2 * length characters
int HexPairValue(const char* text);

// Returns 1 for success, 0 for invalid UTF-16; *outLength gets the bytes produced.
int ConvertUtf16LeToUtf8(unsigned char* out, int* outLength, const unsigned char* in,
                         int length);

void SwapBytePairs(unsigned char* data, int length);

// Decodes "=XX" escapes of the C-string content in place; returns the byte count.
int QuotedPrintableDecodeInPlace(unsigned char* text);

int64_t UrlEncodedSize(const char* text, const unsigned char* table);
void UrlEncode(char* out, const char* text, const unsigned char* table);

int64_t HexDumpSize(int length);
void HexDump(char* out, const unsigned char* in, int length);

}  // namespace tornell::encoding
