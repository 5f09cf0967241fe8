#pragma once
// Test helpers: hex text, and Wycheproof JSON files flattened by python3 into
// one line per case (read in place from the shared vectors folder).
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "../CipherTestUtil.h"
#include "TestSupport.h"

namespace aeadtest {

using Bytes = ciphertest::Bytes;

inline Bytes Hex(const std::string& text) { return testsupport::UnhexBytes(text); }
inline std::string ToHex(const uint8_t* p, size_t n) { return testsupport::Hex(p, n); }
inline std::string ToHex(const Bytes& b) { return testsupport::Hex(b); }

using Case = std::map<std::string, std::string>;

inline bool HavePython() { return testsupport::HavePythonModule("json"); }

// Every test of the file as a map of its string and number fields; the
// group's fields are included under their own names unless the test has them.
inline std::vector<Case> LoadWycheproof(const std::string& file) {
  std::vector<Case> cases;
  std::filesystem::path path = testsupport::VectorsDir() / "wycheproof" / file;
  if (!std::filesystem::exists(path) || !HavePython()) return cases;
  std::string cmd =
      "/usr/bin/python3 -c \"import json,sys\n"
      "d=json.load(open(sys.argv[1]))\n"
      "for g in d['testGroups']:\n"
      " for t in g['tests']:\n"
      "  f={k:v for k,v in g.items() if isinstance(v,(str,int))}\n"
      "  f.update({k:v for k,v in t.items() if isinstance(v,(str,int))})\n"
      "  f['flags']=','.join(t.get('flags',[]))\n"
      "  print(' '.join('%s=%s'%(k,str(v).replace(' ','_') or '-') for k,v in f.items()))\n"
      "\" '" + path.string() + "'";
  bool ok = false;
  for (const std::string& line : testsupport::Lines(testsupport::RunCommand(cmd, ok))) {
    Case c;
    size_t pos = 0;
    while (pos < line.size()) {
      size_t end = line.find(' ', pos);
      if (end == std::string::npos) end = line.size();
      std::string item = line.substr(pos, end - pos);
      size_t eq = item.find('=');
      if (eq != std::string::npos) {
        std::string value = item.substr(eq + 1);
        c[item.substr(0, eq)] = value == "-" ? "" : value;
      }
      pos = end + 1;
    }
    cases.push_back(c);
  }
  if (!ok) cases.clear();
  return cases;
}

}  // namespace aeadtest
