#pragma once
// Reading the lines of a proxy's reply in the authenticated tunnels.
namespace tornell::proxyleg {

struct StatusLine {
  const char* code;    // empty when the line has no blank
  const char* reason;  // empty when the line has fewer than two blanks
};

// Cuts the status line in place at its first two blanks.
StatusLine SplitStatusLine(char* line);

// The text after the scheme of a challenge value and the blanks after it, or
// null when the value's scheme is another one (schemes compared without
// regard to case).
const char* ChallengeOf(const char* value, const char* scheme);

}  // namespace tornell::proxyleg
