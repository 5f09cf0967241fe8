#pragma once
// A JSONPath split into its steps: "$", names, bracketed predicates.
#include "core/text/StringList.h"

namespace tornell::pki {

class JsonPathSteps {
 public:
  int Reset();
  [[nodiscard]] int Parse(const char* text);
  // The next step, or null after the last one.
  const char* Next();
  int HasNext() const { return cursor_ < steps_.Count() ? 1 : 0; }
  int Count() const { return steps_.Count(); }
  const char* Get(int i) const { return steps_.Get(i); }

 private:
  [[nodiscard]] int AddStep(const char* text, int length);

  StringList steps_;
  int cursor_ = 0;
};

// 1 when a path text reads as JSONPath rather than XPath.
int IsJsonPathText(const char* text);

}  // namespace tornell::pki
