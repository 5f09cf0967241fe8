// Matched without recursion: a star remembers where it stood, and a later
// mismatch resumes from there with one more text character taken by it.
// Patterns come from certificates, so the work stays within text length
// times pattern length however many stars there are.
#include "tls/handshake/WildcardMatch.h"

#include <cstdint>
#include <cstring>
#include <utility>

namespace tornell::tls {
namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? char(c - 32) : c; }

// One pattern element at p against the character c. Returns the length of
// the element when it matches, 0 when it does not.
int MatchOne(const char* pattern, int p, int end, char c, int fold) {
  const char head = pattern[p];
  if (head == '?') return 1;
  if (head == '\\') {
    if (p + 1 >= end) return 0;
    return pattern[p + 1] == c ? 2 : 0;
  }
  if (head == '[') {
    const void* found = std::memchr(pattern + p + 1, ']', size_t(end - p - 1));
    if (found == nullptr) return 0;
    const int close = int(static_cast<const char*>(found) - pattern);
    bool hit = false;
    for (int i = p + 1; i < close;) {
      if (i + 1 < close && pattern[i + 1] == '-') {
        if (i + 2 >= close) return 0;  // a range without its end
        unsigned char low = uint8_t(pattern[i]), high = uint8_t(pattern[i + 2]);
        if (low > high) std::swap(low, high);
        hit = hit || (uint8_t(c) >= low && uint8_t(c) <= high);
        i += 3;
      } else {
        hit = hit || pattern[i] == c;
        ++i;
      }
    }
    return hit ? close - p + 1 : 0;
  }
  const bool same = fold != 0 ? Upper(head) == Upper(c) : head == c;
  return same ? 1 : 0;
}

}  // namespace

int WildcardMatch(const char* text, int textStart, const char* pattern, int patternStart, int foldCase) {
  if (text == nullptr || pattern == nullptr) return 0;
  const int textEnd = int(std::strlen(text));
  const int patternEnd = int(std::strlen(pattern));
  int t = textStart < 0 ? 0 : textStart;
  int p = patternStart < 0 ? 0 : patternStart;
  if (t > textEnd || p > patternEnd) return 0;
  int starP = -1, starT = 0;
  while (t < textEnd || p < patternEnd) {
    if (p < patternEnd && pattern[p] == '*') {
      starP = ++p;
      starT = t;
      continue;
    }
    const int taken = p < patternEnd && t < textEnd ? MatchOne(pattern, p, patternEnd, text[t], foldCase) : 0;
    if (taken > 0) {
      p += taken;
      ++t;
      continue;
    }
    // Back to the last star, which takes one more character.
    if (starP < 0 || starT >= textEnd) return 0;
    p = starP;
    t = ++starT;
  }
  return 1;
}

}  // namespace tornell::tls
