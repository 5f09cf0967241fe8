#pragma once
// Locale-free text and number helpers: keys, header names, protocol tokens and
// digits on the wire are ASCII whatever the code page.
#include <cstdint>

namespace tornell {

// ASCII case-insensitive comparison; folded bytes compared as 0-255.
int CompareNoCase(const char* first, const char* second);
int CompareNoCaseN(const char* first, const char* second, unsigned long n);

// Cuts the text at the first separator (in place) and returns what follows it,
// or the text's terminating NUL when the separator is absent.
char* SplitAt(char* text, char separator);

bool IsHexDigit(char c);
bool IsDecimalDigit(char c);
bool IsBlank(char c);
// Value of one hex digit, -1 for any other byte.
int HexDigitValue(unsigned char c);

// Optional sign, then digits up to the first byte that is not one; the
// magnitude wraps in the unsigned type of the result's width. Null gives 0.
int ParseInt(const char* text);
int64_t ParseLong(const char* text);
int64_t ParseInt64(const char* text);
int ParseHexInt(const char* text);
int64_t ParseHexInt64(const char* text);

double ParseDouble(const char* text, char** end);

// Writes the value in decimal padded on the left to width with fill; leaves
// *cursor on the terminating NUL and returns it.
char* FormatPaddedUnsigned(char** cursor, unsigned value, int width, char fill);

// Replaces the first delimiter byte by NUL; returns that delimiter (0 if none).
int NextToken(char* text, const char* delimiters, char** rest);

const char* FindNoCase(const char* text, const char* needle);

struct Guid {
  unsigned long data1;
  uint16_t data2;
  uint16_t data3;
  unsigned char data4[8];
};
void GuidToText(char* out, const Guid* guid);  // out holds at least 37 bytes
void TextToGuid(const char* text, Guid* guid);

// Millisecond tick from the wall clock; wraps every 1,000,000 seconds.
uint32_t TickCountMs();

int GetSystemError();
void SetSystemError(int code);

// Names are resolved synchronously here, so nothing is ever pending.
int IsLookupPending();
int CancelLookup();

}  // namespace tornell
