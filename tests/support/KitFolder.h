#pragma once
// Fixture folders made once by a shell script for all the test programs: a
// lock keeps parallel tests from making one twice, and a copy of the script
// in the folder tells whether it is current.
#include <string>

#include "TestText.h"

namespace testsupport {

// Runs `sh script inputs dir` under the folder's lock when the folder is
// missing, was made by another script, or is older than `newerThan` (a file
// path, when given). Returns the folder, or empty when the script fails.
inline std::string MakeKitFolder(const std::string& dir, const std::string& script, const std::string& inputs = "",
                                 const std::string& newerThan = "") {
  std::string stale = "! cmp -s \"" + script + "\" \"" + dir + "/.script\"";
  if (!newerThan.empty()) stale += " || [ \"" + newerThan + "\" -nt \"" + dir + "/.script\" ]";
  const std::string args = inputs.empty() ? std::string() : "\"" + inputs + "\" ";
  const std::string command = "flock '" + dir + ".lock' sh -c '"
                              "if " + stale + "; then "
                              "rm -rf \"" + dir + "\" && sh \"" + script + "\" " + args + "\"" + dir + "\" >\"" + dir +
                              ".log\" 2>&1 && cp \"" + script + "\" \"" + dir + "/.script\"; fi' && test -f '" + dir +
                              "/.script'";
  bool ok = false;
  RunCommand(command, ok);
  return ok ? dir : std::string();
}

// Runs a command in a fixture folder and returns its output.
inline std::string RunInFolder(const std::string& dir, const std::string& command, bool& ok) {
  return RunCommand("cd '" + dir + "' && " + command + " 2>/dev/null", ok);
}

}  // namespace testsupport
