// Distinguished-name text in the canonical form that subject and issuer
// names are compared in.
#include <cstring>

#include "core/base/Status.h"
#include "core/text/StringList.h"
#include "pki/keys/KeyCodec.h"

namespace tornell::pki {

namespace {

// The separator "=" or "," at or after p that no backslash escapes, or the end.
const char* FindSeparator(const char* p) {
  for (; *p != '\0'; ++p) {
    if (*p == '\\') {
      if (p[1] == '\0') return p + 1;
      ++p;
      continue;
    }
    if (*p == '=' || *p == ',') return p;
  }
  return p;
}

// The closing quote after the opening one at p, or null.
const char* FindClosingQuote(const char* p) {
  for (++p; *p != '\0'; ++p) {
    if (*p == '\\') {
      if (p[1] == '\0') return nullptr;
      ++p;
      continue;
    }
    if (*p == '"') return p;
  }
  return nullptr;
}

const char* CanonicalAttributeName(const ByteString& name) {
  if (name.Equals("S")) return "ST";
  if (name.Equals("EMAIL") || name.Equals("EMAILADDRESS")) return "E";
  if (name.Equals("TITLE")) return "T";
  return name.CStr();
}

int ComparePairs(const StringList& names, const StringList& values, int a, int b) {
  const int byName = std::strcmp(names.Get(a), names.Get(b));
  return byName != 0 ? byName : std::strcmp(values.Get(a), values.Get(b));
}

int SwapEntries(StringList& list, int a, int b) {
  ByteString first;
  TORNELL_TRY(first.Set(list.Get(a), list.EntryLength(a)));
  TORNELL_TRY(list.Set(a, list.Get(b), list.EntryLength(b)));
  return list.Set(b, first.Data(), first.Length());
}

// Splits the text into upper-cased names and values; kStatusFailed when it
// is not a list of pairs.
int ParsePairs(const char* text, StringList& names, StringList& values) {
  const char* cursor = text;
  ByteString name, token, value;
  while (*cursor != '\0') {
    TORNELL_TRY(KeyCodec::NextNameToken(cursor, name));
    TORNELL_TRY(name.ToUpper());
    TORNELL_TRY(KeyCodec::NextNameToken(cursor, token));
    if (!token.Equals("=")) return kStatusFailed;
    TORNELL_TRY(KeyCodec::NextNameToken(cursor, value));
    TORNELL_TRY(names.Add(CanonicalAttributeName(name)));
    TORNELL_TRY(values.Add(value.Data(), value.Length()));
    TORNELL_TRY(KeyCodec::NextNameToken(cursor, token));
    if (token.Length() == 0 && *cursor == '\0') break;
    if (!token.Equals(",")) return kStatusFailed;
  }
  return kStatusOk;
}

int BuildCanonical(const char* text, ByteString& out) {
  StringList names, values;
  TORNELL_TRY(ParsePairs(text, names, values));
  // An exchange sort keeps equal pairs in their order.
  for (int end = names.Count() - 1; end > 0; --end) {
    for (int i = 0; i < end; ++i) {
      if (ComparePairs(names, values, i, i + 1) <= 0) continue;
      TORNELL_TRY(SwapEntries(names, i, i + 1));
      TORNELL_TRY(SwapEntries(values, i, i + 1));
    }
  }
  for (int i = 0; i < names.Count(); ++i) {
    if (i > 0) TORNELL_TRY(out.AppendByte(','));
    TORNELL_TRY(out.Append(names.Get(i), names.EntryLength(i)));
    TORNELL_TRY(out.AppendByte('='));
    TORNELL_TRY(out.Append(values.Get(i), values.EntryLength(i)));
  }
  return kStatusOk;
}

}  // namespace

int KeyCodec::NextNameToken(const char*& cursor, ByteString& token) {
  TORNELL_TRY(token.Clear());
  const char* p = cursor;
  if (*p == '\0') return kStatusOk;
  if (*p == '=' || *p == ',') {
    cursor = p + 1;
    return token.Set(p, 1);
  }
  if (*p == '"') {
    const char* close = FindClosingQuote(p);
    if (close == nullptr) return kStatusOk;
    TORNELL_TRY(token.Set(p, static_cast<int>(close - p + 1)));
    cursor = close + 1;
    return token.TrimChar(' ');
  }
  const char* stop = FindSeparator(p);
  TORNELL_TRY(token.Set(p, static_cast<int>(stop - p)));
  cursor = stop;
  return token.TrimChar(' ');
}

int KeyCodec::NormalizeName(const char* name, ByteString& out) {
  TORNELL_TRY(out.Clear());
  if (name == nullptr) return kStatusOk;
  // A text that is not a list of pairs compares as itself, so two different
  // malformed names never compare equal.
  if (BuildCanonical(name, out) != kStatusOk) return out.Set(name);
  return kStatusOk;
}

}  // namespace tornell::pki
