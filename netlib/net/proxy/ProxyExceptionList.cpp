// Whether a connection bypasses the proxy: entries of host names with '*'
// wildcards, port numbers and schemes followed by "://".
#include <string_view>

#include "core/text/ByteString.h"
#include "core/text/SplitList.h"
#include "core/text/StringList.h"
#include "net/proxy/FirewallNegotiator.h"

namespace tornell {

namespace {

// Trimmed of spaces and lower-cased; false when memory runs out.
bool Normalize(const char* text, ByteString& out) {
  if (out.Set(text) != 0) return false;
  return out.TrimChar(' ') == 0 && out.ToLower() == 0;
}

// A '*' stands for one or more bytes after a prefix and for any run of bytes
// elsewhere. Every place where the part after a '*' occurs is tried, so
// "*.com" matches "www.company.com" through its last ".com".
bool Match(std::string_view pattern, std::string_view host) {
  while (!pattern.empty() && !host.empty()) {
    if (pattern == "*") return true;
    if (pattern.front() != '*') {
      const size_t star = pattern.find('*');
      if (star == std::string_view::npos) return pattern == host;
      if (host.size() <= star || host.substr(0, star) != pattern.substr(0, star)) return false;
      pattern.remove_prefix(star);
      host.remove_prefix(star);
      continue;
    }
    const size_t first = pattern.find_first_not_of('*');
    if (first == std::string_view::npos) return true;
    pattern.remove_prefix(first);
    const std::string_view part = pattern.substr(0, pattern.find('*'));
    for (size_t at = host.find(part); at != std::string_view::npos; at = host.find(part, at + 1)) {
      if (Match(pattern, host.substr(at))) return true;
    }
    return false;
  }
  return false;
}

}  // namespace

bool FirewallNegotiator::WildcardMatch(const char* pattern, const char* host) {
  if (pattern == nullptr || host == nullptr) return false;
  return Match(pattern, host);
}

bool FirewallNegotiator::IsProxyException(const char* list, const char* host, int port, const char* scheme) {
  StringList entries;
  if (SplitList(list, ';', entries) != 0) return false;
  ByteString entry;
  for (int i = 0; i < entries.Count(); ++i) {
    if (!Normalize(entries.Get(i), entry) || entries.Set(i, entry.CStr()) != 0) return false;
  }
  if (entries.Count() == 0) return false;
  ByteString wanted;
  if (scheme != nullptr && *scheme != '\0') {
    if (!Normalize(scheme, wanted)) return false;
    if (!wanted.EndsWith("://") && wanted.Append("://") != 0) return false;
    if (entries.IndexOf(wanted.CStr(), 0) >= 0) return true;
  }
  if (port > 0) {
    for (int i = 0; i < entries.Count(); ++i) {
      if (entries.GetLong(i) == port) return true;
    }
  }
  if (host != nullptr && *host != '\0') {
    if (!Normalize(host, wanted)) return false;
    for (int i = 0; i < entries.Count(); ++i) {
      const char* item = entries.Get(i);
      if (wanted.Equals(item)) return true;
      if (std::string_view(item).find('*') != std::string_view::npos && Match(item, wanted.CStr())) return true;
    }
  }
  return false;
}

bool FirewallNegotiator::AutoDetectBypass(const char*, int, const char*) { return false; }

}  // namespace tornell
