#pragma once
// The library's own wording for resolver and errno codes, so error texts read
// the same whatever C library the program runs on.

namespace tornell {

class ComponentBase;

// SetErrorText's result when no row names the code.
constexpr int kNoTextFound = 1;

struct SystemErrorText {
  int code;
  const char* text;
};

class SystemErrorTexts {
 public:
  // Rows in search order, ended by a row with code 0 and a null text.
  static const SystemErrorText kRows[];

  // The text of the first row with this code, or null when none matches.
  static const char* Find(int code);

  // Makes the error text "[code] text" ("(no description available)" when no
  // row matches); the error code becomes 0. Returns 0 when a row matched, else 1.
  static int SetErrorText(ComponentBase& target, int code);
};

}  // namespace tornell
