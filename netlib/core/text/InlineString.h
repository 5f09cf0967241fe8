#pragma once
// The library's one string type: length-counted bytes (NUL allowed inside),
// always followed by a NUL, held inline up to N bytes and on the heap beyond.
// Every changing member returns 0 or a status; on failure the content stays.
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/buffer/Allocation.h"
#include "core/base/StatusCodes.h"
#include "core/text/StringEncoding.h"
#include "core/text/TextUtils.h"

namespace tornell {

// Process-wide ZeroMemory setting: while non-zero, strings zero their content
// before giving storage back. Set through the component settings.
extern int g_zeroMemory;

// Read-only empty text handed out for out-of-range reads; four zero bytes so
// it also reads as an empty UTF-16 text.
inline const char kEmptyText[4] = {0, 0, 0, 0};

namespace detail {
// Zeroes memory in a way the compiler cannot drop before a free.
void WipeBytes(void* data, size_t length);
}  // namespace detail

template <int N>
class InlineString {
  static_assert(N >= 2, "the inline buffer holds at least two bytes and a NUL");

 public:
  // The members' initializers already say empty; only the terminators are due.
  InlineString() {
    inline_[0] = 0;
    inline_[1] = 0;
    inline_[N] = 0;
  }
  // Gives storage back, wiped as Clear wipes it, and writes nothing else: a
  // string about to end need not look empty.
  ~InlineString() {
    if (heap_ != nullptr) ReleaseHeap();
    if (inlineUsed_ > 0 && Wipes()) detail::WipeBytes(inline_, static_cast<size_t>(inlineUsed_) + 1);
  }

  InlineString(const InlineString&) = delete;
  InlineString& operator=(const InlineString&) = delete;
  // Moving hands over the storage and cannot fail; copies go through Assign.
  InlineString(InlineString&& other) noexcept { TakeFrom(other); }
  InlineString& operator=(InlineString&& other) noexcept {
    if (this != &other) {
      Clear();
      TakeFrom(other);
    }
    return *this;
  }

  // ---- storage --------------------------------------------------------------
  // Members that can fail are [[nodiscard]]; Clear, EraseFront, DropLast,
  // ToLower, ToUpper and SwapBytePairs cannot (they never allocate), and
  // return 0 for uniformity only. Set, SetLength, Assign, AppendByte,
  // AppendFromHex and Append of a string can fail but are not marked yet:
  // callers outside the core still drop their status. Check them anyway.

  int Clear() {
    if (heap_ != nullptr) ReleaseHeap();
    length_ = 0;
    capacity_ = N;
    if (Wipes()) {
      // Only the inline bytes ever written can hold anything to wipe.
      if (inlineUsed_ > 0) detail::WipeBytes(inline_, static_cast<size_t>(inlineUsed_) + 1);
      inlineUsed_ = 0;
      inline_[0] = 0;
      inline_[1] = 0;
      inline_[N] = 0;
    } else {
      inline_[0] = 0;
      inline_[1] = 0;
      inline_[N] = 0;
    }
    return kStatusOk;
  }

  // Sets the length (negative counts as 0), copying from source when given.
  // Without a source the bytes kept stay and bytes added are zero, so no stale
  // heap bytes ever show through.
  [[nodiscard]] int Resize(int length, const void* source = nullptr) {
    const int old = length_;
    int status = ResizeRaw(length, source);
    // old is never negative; saying so keeps the optimiser from warning of it.
    if (status == kStatusOk && source == nullptr && old >= 0 && length > old) {
      std::memset(Data() + old, 0, static_cast<size_t>(length) - static_cast<size_t>(old));
    }
    return status;
  }

  // Shortens the content and keeps the storage, for buffers refilled over and
  // over (a record at a time) that would otherwise give their block back and
  // take a new one each time; the bytes cut off are wiped when the string wipes.
  int Truncate(int length) {
    if (length < 0) length = 0;
    if (length >= length_) return kStatusOk;
    char* data = Data();
    if (Wipes()) detail::WipeBytes(data + length, static_cast<size_t>(length_ - length));
    length_ = length;
    data[length] = 0;
    return kStatusOk;
  }

  // Like Resize without a source; kept for the callers that name it so.
  int SetLength(int n) { return n == length_ ? kStatusOk : Resize(n); }

  // Room for `capacity` bytes without a further allocation while the content
  // only grows; a shrink to the inline size gives the block back as ever.
  [[nodiscard]] int Reserve(int capacity) {
    if (capacity <= capacity_) return kStatusOk;
    if (AllocationFaultInjected()) return kStatusNoMemory;
    return MoveToNewBlock(capacity, Data(), length_ + 1);
  }

  int Length() const { return length_; }
  int Capacity() const { return capacity_; }
  // A string that holds a secret wipes every byte it gives back (clear, growth,
  // destruction) whatever the process-wide setting.
  bool Wipes() const { return secret_ != 0 || g_zeroMemory != 0; }
  char* Data() { return heap_ != nullptr ? heap_ : inline_; }
  const char* Data() const { return heap_ != nullptr ? heap_ : inline_; }
  unsigned char* Bytes() { return reinterpret_cast<unsigned char*>(Data()); }
  const unsigned char* Bytes() const { return reinterpret_cast<const unsigned char*>(Data()); }
  const char* CStr() const { return Data(); }
  bool IsEmpty() const { return length_ == 0; }

  // ---- assigning and appending -----------------------------------------------

  int Set(const char* text) {
    if (text == nullptr) text = "";
    return SetCounted(text, static_cast<int64_t>(std::strlen(text)));
  }
  int Set(const void* bytes, int length) {
    if (length < 0) length = 0;
    return Resize(length, bytes);
  }
  template <int M>
  int Assign(const InlineString<M>& other) {
    return Resize(other.Length(), other.Data());
  }

  // The count is taken as a 32-bit int; nothing happens for null or a count below 1.
  [[nodiscard]] int Append(const void* bytes, long n) {
    const int count = static_cast<int>(n);
    if (bytes == nullptr || count <= 0) return kStatusOk;
    const int64_t total = static_cast<int64_t>(length_) + count;
    if (total <= capacity_) {
      char* data = Data();
      std::memcpy(data + length_, bytes, static_cast<size_t>(count));
      length_ = static_cast<int>(total);
      data[length_] = 0;
      NoteInlineLength();
      return kStatusOk;
    }
    return AppendSlow(static_cast<const char*>(bytes), count);
  }
  [[nodiscard]] int Append(const char* text) {
    if (text == nullptr) return kStatusOk;
    size_t n = std::strlen(text);
    if (n > static_cast<size_t>(INT_MAX)) return kStatusNoMemory;
    return Append(static_cast<const void*>(text), static_cast<long>(n));
  }
  [[nodiscard]] int Concat(const char* text) { return Append(text); }
  template <int M>
  int Append(const InlineString<M>& other) {
    return Append(static_cast<const void*>(other.Data()), static_cast<long>(other.Length()));
  }

  int AppendByte(int c) {
    if (length_ < capacity_) {
      char* data = Data();
      data[length_++] = static_cast<char>(c);
      data[length_] = 0;
      NoteInlineLength();
      return kStatusOk;
    }
    const char byte = static_cast<char>(c);
    return AppendSlow(&byte, 1);
  }

  [[nodiscard]] int AppendRepeated(int n, int c) {
    if (n <= 0) return kStatusOk;
    char* at = nullptr;
    int status = Extend(n, &at);
    if (status == kStatusOk) std::memset(at, c, static_cast<size_t>(n));
    return status;
  }

  [[nodiscard]] int AppendQuoted(const char* text) {
    if (text == nullptr) return kStatusOk;
    int status = AppendByte('"');
    if (status == kStatusOk) status = Append(text);
    if (status == kStatusOk) status = AppendByte('"');
    return status;
  }

  // ---- access ---------------------------------------------------------------

  const char* At(int i) const { return (i < 0 || i >= length_) ? kEmptyText : Data() + i; }
  const char* AtOffset(int i) const { return At(i); }
  int ByteAt(int i) const {
    return (i < 0 || i >= length_) ? 0 : static_cast<unsigned char>(Data()[i]);
  }

  // ---- cutting --------------------------------------------------------------

  int EraseFront(int n) {
    if (n < 1) return kStatusOk;
    if (n > length_) n = length_;
    char* data = Data();
    std::memmove(data, data + n, static_cast<size_t>(length_ - n));
    return Resize(length_ - n);
  }

  int DropLast() {
    if (length_ > 0) Data()[--length_] = 0;
    return kStatusOk;
  }

  [[nodiscard]] int Substring(int start, int end) {
    if (start < 0 || end < 0 || start >= length_) return kStatusIndexRange;
    const int stop = end < length_ ? end : length_;
    const int keep = stop > start ? stop - start : 0;
    char* data = Data();
    std::memmove(data, data + start, static_cast<size_t>(keep));
    return Resize(keep);
  }
  [[nodiscard]] int Substring(int start) { return Substring(start, length_); }
  [[nodiscard]] int Mid(int start, int end) { return Substring(start, end); }

  // ---- trimming and case ------------------------------------------------------

  // Strips control bytes and the space at both ends. Bytes 0x80-0xFF are text
  // (UTF-8, Latin-1) and stay.
  [[nodiscard]] int Trim() {
    if (length_ == 0) return kStatusOk;
    const unsigned char* data = Bytes();
    int front = 0;
    while (front < length_ && data[front] <= 0x20) ++front;
    int back = length_;
    while (back > front && data[back - 1] <= 0x20) --back;
    if (back < length_) {
      int status = Resize(back);
      if (status != kStatusOk) return status;
    }
    return EraseFront(front);
  }

  [[nodiscard]] int TrimChar(char c) {
    int front = 0;
    const char* data = Data();
    while (front < length_ && data[front] == c) ++front;
    int status = EraseFront(front);
    while (status == kStatusOk && length_ > 0 && Data()[length_ - 1] == c) status = DropLast();
    return status;
  }

  int ToLower() {
    char* data = Data();
    for (int i = 0; i < length_; ++i) {
      if (data[i] >= 'A' && data[i] <= 'Z') data[i] = static_cast<char>(data[i] + 32);
    }
    return kStatusOk;
  }
  int ToUpper() {
    char* data = Data();
    for (int i = 0; i < length_; ++i) {
      if (data[i] >= 'a' && data[i] <= 'z') data[i] = static_cast<char>(data[i] - 32);
    }
    return kStatusOk;
  }

  // ---- comparing and searching -------------------------------------------------

  // With length -1 the content is compared as a C string with the text.
  bool Equals(const void* bytes, int length = -1) const {
    if (length == -1) {
      return std::strcmp(Data(), bytes != nullptr ? static_cast<const char*>(bytes) : "") == 0;
    }
    if (length != length_) return false;
    if (length_ == 0) return true;
    return bytes != nullptr && std::memcmp(Data(), bytes, static_cast<size_t>(length_)) == 0;
  }
  template <int M>
  bool Equals(const InlineString<M>& other) const {
    return other.Length() == length_ &&
           std::memcmp(Data(), other.Data(), static_cast<size_t>(length_)) == 0;
  }
  bool EqualsIgnoreCase(const char* text) const {
    return CompareNoCase(Data(), text != nullptr ? text : "") == 0;
  }
  bool StartsWith(const char* text) const {
    if (text == nullptr) return true;
    return std::strncmp(Data(), text, std::strlen(text)) == 0;
  }
  bool EndsWith(const char* text) const {
    if (text == nullptr) return true;
    const size_t n = std::strlen(text);
    if (n > static_cast<size_t>(length_)) return false;
    return std::memcmp(Data() + length_ - n, text, n) == 0;
  }

  int Find(const char* text, int start = 0) const {
    if (start < 0) return kNotFound;
    if (text == nullptr || *text == '\0') return 0;
    return FindBytes(text, static_cast<int>(std::strlen(text)), start);
  }
  int Find(char c, int start = 0) const {
    if (start < 0 || start >= length_) return kNotFound;
    const void* hit = std::memchr(Data() + start, c, static_cast<size_t>(length_ - start));
    return hit == nullptr ? kNotFound : static_cast<int>(static_cast<const char*>(hit) - Data());
  }
  bool Contains(const char* text) const { return Find(text) >= 0; }

  // Index of the first exact occurrence of the run at or after start; length -1
  // means strlen of the bytes.
  int FindBytes(const void* bytes, int length, int start) const {
    if (bytes == nullptr) return kNotFound;
    const char* needle = static_cast<const char*>(bytes);
    if (length == -1) length = static_cast<int>(std::strlen(needle));
    if (length <= 0) return kNotFound;
    if (start < 0) start = 0;
    const char* data = Data();
    for (int i = start; i + length <= length_;) {
      const void* hit = std::memchr(data + i, needle[0], static_cast<size_t>(length_ - length - i + 1));
      if (hit == nullptr) return kNotFound;
      i = static_cast<int>(static_cast<const char*>(hit) - data);
      if (std::memcmp(data + i, needle, static_cast<size_t>(length)) == 0) return i;
      ++i;
    }
    return kNotFound;
  }

  [[nodiscard]] int ReplaceAll(const char* pattern, const char* replacement) {
    if (pattern == nullptr) return kStatusOk;
    return ReplaceAll(pattern, static_cast<int>(std::strlen(pattern)), replacement,
                      replacement != nullptr ? static_cast<int>(std::strlen(replacement)) : 0);
  }
  [[nodiscard]] int ReplaceAll(const void* pattern, int patternLength, const void* replacement,
                 int replacementLength) {
    if (pattern == nullptr || patternLength <= 0 || patternLength > length_) return kStatusOk;
    if (replacement == nullptr || replacementLength < 0) replacementLength = 0;
    InlineString<99> result;
    int from = 0;
    for (int hit = FindBytes(pattern, patternLength, 0); hit >= 0;
         hit = FindBytes(pattern, patternLength, from)) {
      int status = result.Append(Data() + from, hit - from);
      if (status == kStatusOk) status = result.Append(replacement, replacementLength);
      if (status != kStatusOk) return status;
      from = hit + patternLength;
    }
    if (from == 0) return kStatusOk;
    int status = result.Append(Data() + from, length_ - from);
    if (status != kStatusOk) return status;
    return Resize(result.Length(), result.Data());
  }

  // ---- Base64 and hex --------------------------------------------------------

  [[nodiscard]] int AppendBase64(const void* bytes, int length, int wrap, int lineLength, int urlSafe) {
    if (bytes == nullptr || length <= 0) return kStatusOk;
    char* at = nullptr;
    int status = Extend(encoding::Base64EncodedSize(length, wrap, lineLength, urlSafe), &at);
    if (status == kStatusOk) {
      encoding::Base64Encode(at, static_cast<const unsigned char*>(bytes), length, wrap,
                             lineLength, urlSafe);
    }
    return status;
  }
  [[nodiscard]] int AppendBase64Url(const void* bytes, int length) {
    return AppendBase64(bytes, length, 0, INT_MAX, 1);
  }
  // Decodes the content, read as a C string, in place; foreign bytes are skipped.
  [[nodiscard]] int Base64Decode(int urlSafe = 0) {
    return Resize(encoding::Base64DecodeInPlace(Bytes(), length_, urlSafe));
  }

  [[nodiscard]] int AppendHex(const void* bytes, int length) {
    if (bytes == nullptr || length <= 0) return kStatusOk;
    char* at = nullptr;
    int status = Extend(static_cast<int64_t>(length) * 2, &at);
    if (status == kStatusOk) encoding::HexEncode(at, static_cast<const unsigned char*>(bytes), length);
    return status;
  }
  // Two digits a byte; a pair that is not two hex digits, or a lone last digit, gives 0xFF.
  int AppendFromHex(const char* text) {
    if (text == nullptr) return kStatusOk;
    const size_t n = std::strlen(text);
    if (n == 0) return kStatusOk;
    char* at = nullptr;
    int status = Extend(static_cast<int64_t>((n + 1) / 2), &at);
    if (status != kStatusOk) return status;
    for (size_t i = 0; i < n; i += 2) {
      const int value = (i + 1 < n) ? encoding::HexPairValue(text + i) : -1;
      *at++ = static_cast<char>(value < 0 ? 0xFF : value);
    }
    return kStatusOk;
  }
  static int HexPairValue(const char* text) { return encoding::HexPairValue(text); }

  // ---- UTF-16 ----------------------------------------------------------------

  int SwapBytePairs() {
    encoding::SwapBytePairs(Bytes(), length_);
    return kStatusOk;
  }
  static int ConvertUtf16LeToUtf8(unsigned char* out, int* outLength, const void* bytes,
                                  int length) {
    return encoding::ConvertUtf16LeToUtf8(out, outLength, static_cast<const unsigned char*>(bytes),
                                          length);
  }
  [[nodiscard]] int Utf16LeToUtf8() {
    // A code unit can take three UTF-8 bytes: what may not fit an int is refused
    // before the conversion counts past it.
    if (static_cast<int64_t>(length_) / 2 * 3 > INT_MAX) return kStatusNoMemory;
    if (AllocationFaultInjected()) return kStatusNoMemory;
    unsigned char* work = static_cast<unsigned char*>(std::malloc(static_cast<size_t>(length_) * 2 + 1));
    if (work == nullptr) return kStatusNoMemory;
    int produced = 0;
    int status = kStatusBadUtf16;
    if (encoding::ConvertUtf16LeToUtf8(work, &produced, Bytes(), length_)) {
      status = Set(work, produced);
    }
    std::free(work);
    return status;
  }
  [[nodiscard]] int Utf16BeToUtf8() {
    SwapBytePairs();
    return Utf16LeToUtf8();
  }

  // ---- escapes, dump, formatting ------------------------------------------------

  [[nodiscard]] int QuotedPrintableDecode() { return Resize(encoding::QuotedPrintableDecodeInPlace(Bytes())); }

  // Bytes 32-127 whose table entry (indexed by byte - 32) has bit 0 set stay;
  // every other byte becomes "%XX".
  [[nodiscard]] int AppendUrlEncoded(const char* text, const unsigned char* table) {
    if (text == nullptr || *text == '\0') return kStatusOk;
    char* at = nullptr;
    int status = Extend(encoding::UrlEncodedSize(text, table), &at);
    if (status == kStatusOk) encoding::UrlEncode(at, text, table);
    return status;
  }

  [[nodiscard]] int AppendHexDump(const void* bytes, int length) {
    if (bytes == nullptr) return kStatusOk;
    if (length < 0) length = static_cast<int>(std::strlen(static_cast<const char*>(bytes)));
    if (length == 0) return kStatusOk;
    char* at = nullptr;
    int status = Extend(encoding::HexDumpSize(length), &at);
    if (status == kStatusOk) encoding::HexDump(at, static_cast<const unsigned char*>(bytes), length);
    return status;
  }

  [[nodiscard]] int AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    int status = AppendFormatV(format, args);
    va_end(args);
    return status;
  }
  [[nodiscard]] int Format(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    // Formatted aside first: the arguments may point into this string.
    InlineString<99> result;
    va_list args;
    va_start(args, format);
    int status = result.AppendFormatV(format, args);
    va_end(args);
    if (status != kStatusOk) return status;
    return Resize(result.Length(), result.Data());
  }
  // Exact-size formatting: no fixed work area, no truncation.
  [[nodiscard]] int AppendFormatV(const char* format, va_list args) {
    char small[256];
    va_list again;
    va_copy(again, args);
    const int need = std::vsnprintf(small, sizeof small, format, args);
    int status = kStatusOk;  // a broken format appends nothing
    if (need < 0) {
    } else if (static_cast<size_t>(need) < sizeof small) {
      status = Append(small, need);
    } else {
      char* big = static_cast<char*>(std::malloc(static_cast<size_t>(need) + 1));
      if (big == nullptr) {
        status = kStatusNoMemory;
      } else {
        std::vsnprintf(big, static_cast<size_t>(need) + 1, format, again);
        status = Append(big, need);
        std::free(big);
      }
    }
    va_end(again);
    return status;
  }

  [[nodiscard]] int AppendInt(int value) { return AppendFormat("%d", value); }
  // Only the low 32 bits count, read as a signed int.
  [[nodiscard]] int AppendInt(long value) { return AppendInt(static_cast<int>(static_cast<uint32_t>(value))); }
  [[nodiscard]] int AppendHexInt(int value) { return AppendFormat("0x%x", static_cast<unsigned>(value)); }
  [[nodiscard]] int AppendUInt(unsigned value) { return AppendFormat("%u", value); }
  [[nodiscard]] int AppendInt64(long long value) { return AppendFormat("%lld", value); }
  [[nodiscard]] int SetInt64(long long value) {
    char text[24];
    int n = std::snprintf(text, sizeof text, "%lld", value);
    return Set(text, n);
  }
  static int FormatInt64(char* buffer, int size, long long value) {
    // Callers pass 40 bytes, which every 64-bit value fits; a smaller size given
    // is still honoured rather than overrun.
    std::snprintf(buffer, static_cast<size_t>(size > 0 ? size : 40), "%lld", value);
    return kStatusOk;
  }
  int64_t ToLong() const { return ParseLong(Data()); }

 protected:
  void MarkSecret() { secret_ = 1; }

 private:
  template <int M>
  friend class InlineString;

  void TakeFrom(InlineString& other) {
    length_ = other.length_;
    capacity_ = other.capacity_;
    heap_ = other.heap_;
    std::memcpy(inline_, other.inline_, N + 1);
    if (other.inlineUsed_ > inlineUsed_) inlineUsed_ = other.inlineUsed_;
    other.heap_ = nullptr;
    other.length_ = 0;
    other.capacity_ = N;
    other.inline_[0] = 0;
    if (other.Wipes()) {
      detail::WipeBytes(other.inline_, static_cast<size_t>(other.inlineUsed_) + 1);
      other.inlineUsed_ = 0;
    }
  }

  // Inline content, once written, stays in the buffer past a shrink or a move
  // to the heap until Clear wipes it: the longest inline length bounds it.
  void NoteInlineLength() {
    if (heap_ == nullptr && length_ > inlineUsed_) inlineUsed_ = length_;
  }

  void ReleaseHeap() {
    // The whole block: bytes past the length may still hold what a shrink left.
    if (Wipes()) detail::WipeBytes(heap_, static_cast<size_t>(capacity_) + 1);
    std::free(heap_);
    heap_ = nullptr;
  }

  int SetCounted(const char* text, int64_t n) {
    if (n > INT_MAX) return kStatusNoMemory;
    return Resize(static_cast<int>(n), text);
  }

  // The single place that allocates: sets the length, bytes added undefined.
  int ResizeRaw(int length, const void* source) {
    const int want = length < 0 ? 0 : length;
    const char* src = static_cast<const char*>(source);
    if (want > N) {
      if (capacity_ < want) {
        int status = Grow(want, src);
        if (status != kStatusOk) return status;
      } else if (src != nullptr) {
        std::memmove(heap_, src, static_cast<size_t>(want));
      }
      heap_[want] = 0;
    } else {
      if (heap_ != nullptr) {
        std::memmove(inline_, src != nullptr ? src : heap_, static_cast<size_t>(want));
        ReleaseHeap();
        capacity_ = N;
      } else if (src != nullptr) {
        std::memmove(inline_, src, static_cast<size_t>(want));
      }
      inline_[want] = 0;
      if (want > inlineUsed_) inlineUsed_ = want;
    }
    length_ = want;
    return kStatusOk;
  }

  // Moves the content to a heap block of capacity want + want/2 (in 64 bits,
  // kept within INT_MAX); copies from src when given.
  int Grow(int want, const char* src) {
    int64_t wanted = static_cast<int64_t>(want) + want / 2;
    if (wanted > INT_MAX - 1) wanted = INT_MAX - 1;
    const int newCapacity = static_cast<int>(wanted);
    if (AllocationFaultInjected()) return kStatusNoMemory;
    if (src != nullptr) return MoveToNewBlock(newCapacity, src, want);
    // realloc would free an old block unwiped: a wiping string moves the bytes itself.
    if (heap_ == nullptr || Wipes()) return MoveToNewBlock(newCapacity, Data(), length_);
    char* block = static_cast<char*>(std::realloc(heap_, static_cast<size_t>(newCapacity) + 1));
    if (block == nullptr) return kStatusNoMemory;
    heap_ = block;
    capacity_ = newCapacity;
    return kStatusOk;
  }

  // Storage becomes a new heap block of `capacity` bytes holding `count` bytes
  // from src (which may be the current block); the old block is given back.
  int MoveToNewBlock(int capacity, const char* src, int count) {
    char* block = static_cast<char*>(std::malloc(static_cast<size_t>(capacity) + 1));
    if (block == nullptr) return kStatusNoMemory;
    std::memcpy(block, src, static_cast<size_t>(count));
    if (heap_ != nullptr) ReleaseHeap();
    heap_ = block;
    capacity_ = capacity;
    return kStatusOk;
  }

  // Grows the length by extra bytes (left undefined) and points *at to them.
  // The sum is checked in 64 bits: a string never passes INT_MAX bytes.
  int Extend(int64_t extra, char** at) {
    const int64_t total = static_cast<int64_t>(length_) + extra;
    if (extra < 0 || total > INT_MAX) return kStatusNoMemory;
    const int old = length_;
    int status = ResizeRaw(static_cast<int>(total), nullptr);
    if (status != kStatusOk) return status;
    // Past N the content is always on the heap; saying so keeps range analysis exact.
    *at = (total > N ? heap_ : inline_) + old;
    return kStatusOk;
  }

  int AppendSlow(const char* bytes, int count) {
    // Bytes from our own heap block must be located again after it moves.
    const auto data = reinterpret_cast<uintptr_t>(Data());
    const auto from = reinterpret_cast<uintptr_t>(bytes);
    const bool own = heap_ != nullptr && from >= data && from <= data + static_cast<uintptr_t>(capacity_);
    const std::ptrdiff_t offset = own ? static_cast<std::ptrdiff_t>(from - data) : 0;
    char* at = nullptr;
    int status = Extend(count, &at);
    if (status != kStatusOk) return status;
    std::memmove(at, own ? Data() + offset : bytes, static_cast<size_t>(count));
    return kStatusOk;
  }

  char inline_[N + 1];
  char* heap_ = nullptr;
  int length_ = 0;
  int capacity_ = N;
  uint8_t secret_ = 0;
  // The longest content held inline since the last wipe (see NoteInlineLength).
  int inlineUsed_ = 0;
};

// Compiled once in InlineString.cpp.
extern template class InlineString<20>;
extern template class InlineString<30>;
extern template class InlineString<50>;
extern template class InlineString<99>;
extern template class InlineString<1024>;
extern template class InlineString<16384>;

}  // namespace tornell
