#pragma once
// Glob matching of text against a pattern: '*' any run of characters (dots
// included), '?' any one, "[...]" one of a set of characters or ranges, '\'
// the next pattern character literally. Host names are not matched this way
// (HostNameMatch.h); this is the general pattern test.
namespace tornell::tls {

// 1 when text from `textStart` matches pattern from `patternStart`, else 0.
// With foldCase set, ASCII letters outside classes compare without case.
int WildcardMatch(const char* text, int textStart, const char* pattern, int patternStart, int foldCase);
inline int WildcardMatch(const char* text, const char* pattern) { return WildcardMatch(text, 0, pattern, 0, 0); }

}  // namespace tornell::tls
