#include "net/proxy/ProxyStatusLine.h"

#include <cstring>

#include "core/text/TextUtils.h"

namespace tornell::proxyleg {

StatusLine SplitStatusLine(char* line) {
  char* code = SplitAt(line, ' ');
  char* reason = SplitAt(code, ' ');
  return {code, reason};
}

const char* ChallengeOf(const char* value, const char* scheme) {
  const size_t length = std::strlen(scheme);
  if (CompareNoCaseN(value, scheme, length) != 0) return nullptr;
  const char* rest = value + length;
  if (*rest != '\0' && !IsBlank(*rest)) return nullptr;
  while (IsBlank(*rest)) ++rest;
  return rest;
}

}  // namespace tornell::proxyleg
