#include "pki/json/JsonPathSteps.h"

#include <cstring>

#include "core/base/Status.h"

namespace tornell::pki {

int JsonPathSteps::Reset() {
  cursor_ = 0;
  return steps_.Clear();
}

int JsonPathSteps::AddStep(const char* text, int length) {
  if (length <= 0) return kStatusOk;
  return steps_.Add(text, length);
}

// One pass: "[" and "." end the step before them; "]" ends a bracket step,
// which for "['name']" is the name alone; ".." is a step of its own.
int JsonPathSteps::Parse(const char* text) {
  static_cast<void>(Reset());
  if (text == nullptr) return kStatusOk;
  const int length = static_cast<int>(std::strlen(text));
  int cut = 0;
  for (int i = 0; i < length; ++i) {
    const char c = text[i];
    if (c == '[') {
      TORNELL_TRY(AddStep(text + cut, i - cut));
      cut = i;
      if (text[i + 1] == '\'') {
        // A quoted name may hold "." "[" and "]"; it ends at "']".
        const char* end = std::strstr(text + i + 2, "']");
        if (end == nullptr) {
          TORNELL_TRY(AddStep(text + cut, length - cut));
          return kStatusOk;
        }
        const int close = static_cast<int>(end - text);
        TORNELL_TRY(steps_.Add(text + i + 2, close - (i + 2)));
        i = close + 1;
        cut = i + 1;
      }
    } else if (c == ']') {
      TORNELL_TRY(AddStep(text + cut, i + 1 - cut));
      cut = i + 1;
    } else if (c == '.') {
      TORNELL_TRY(AddStep(text + cut, i - cut));
      if (i > 0 && text[i - 1] == '.') TORNELL_TRY(steps_.Add(".."));
      cut = i + 1;
    }
  }
  return AddStep(text + cut, length - cut);
}

const char* JsonPathSteps::Next() {
  if (cursor_ >= steps_.Count()) return nullptr;
  return steps_.Get(cursor_++);
}

int IsJsonPathText(const char* text) {
  if (text == nullptr || *text == '\0' || *text == '/') return 0;
  if (*text == '$') return 1;
  const char* open = std::strstr(text, "['");
  if (open != nullptr && std::strstr(text + 1, "']") != nullptr) return 1;
  for (const char* p = text + 1; *p != '\0'; ++p) {
    if (*p == '.' && p[1] != '\0' && p[1] != '.' && p[1] != '/') return 1;
  }
  return 0;
}

}  // namespace tornell::pki
