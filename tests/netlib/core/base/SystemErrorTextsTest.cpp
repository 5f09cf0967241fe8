#include <gtest/gtest.h>
#include <netdb.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "TestSupport.h"
#include "core/base/ComponentBase.h"
#include "core/base/SystemErrorTexts.h"

using tornell::ComponentBase;
using tornell::SystemErrorTexts;

namespace {

// errno numbers and their comments, as the kernel headers define them.
std::map<int, std::string> KernelErrnoComments() {
  std::map<int, std::string> rows;
  const std::regex define(R"(#define\s+E\w+\s+(\d+)\s*/\*\s*(.*?)\s*\*/)");
  for (const char* path : {"/usr/include/asm-generic/errno-base.h", "/usr/include/asm-generic/errno.h"}) {
    std::ifstream in(path);
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
      if (std::regex_search(line, m, define)) rows[std::stoi(m[1])] = m[2];
    }
  }
  return rows;
}

TEST(SystemErrorTextsTest, ErrnoRowsFollowTheKernelComments) {
  std::map<int, std::string> kernel = KernelErrnoComments();
  REQUIRE_OR_SKIP(kernel.size() > 100, "kernel errno headers not installed");
  // Where the library's own wording differs from today's headers.
  const std::map<int, std::string> ownWording = {
      {7, "Arg list too long."},
      {38, "Function not implemented."},
      {116, "Stale NFS file handle."},
  };
  int rows = 0;
  for (int code = 1; code <= 124; ++code) {
    SCOPED_TRACE(code);
    const char* text = SystemErrorTexts::Find(code);
    if (code == 41 || code == 58) {
      EXPECT_EQ(nullptr, text);
      continue;
    }
    ASSERT_NE(nullptr, text);
    ++rows;
    auto own = ownWording.find(code);
    ASSERT_TRUE(kernel.count(code));
    EXPECT_EQ(own != ownWording.end() ? own->second : kernel[code] + ".", text);
  }
  EXPECT_EQ(122, rows);
  for (int code : {0, 125, 133, -12, -100, 100000}) EXPECT_EQ(nullptr, SystemErrorTexts::Find(code));
}

TEST(SystemErrorTextsTest, ResolverRowsByTheirNetdbNames) {
  const std::pair<int, const char*> rows[] = {
      {EAI_BADFLAGS, "Contains invalid flags"},
      {EAI_NONAME, "The service is not known."},
      {EAI_AGAIN, "The name server returned a temporary failure indication."},
      {EAI_FAIL, "The name server returned a permanent failure indication."},
      {EAI_NODATA, "The specified network host exists, but does not have any network addresses defined."},
      {EAI_FAMILY, "The requested address family is not supported."},
      {EAI_SOCKTYPE, "The requested socket type is not supported."},
      {EAI_SERVICE, "The requested service is not available for the requested socket type."},
      {EAI_ADDRFAMILY, "The specified network host does not have any network addresses in the requested address family."},
      {EAI_MEMORY, "Out of memory"},
      {EAI_SYSTEM, "Other system error"},
  };
  for (const auto& [code, text] : rows) {
    SCOPED_TRACE(code);
    ASSERT_NE(nullptr, SystemErrorTexts::Find(code));
    EXPECT_STREQ(text, SystemErrorTexts::Find(code));
  }
  EXPECT_EQ(nullptr, SystemErrorTexts::Find(EAI_OVERFLOW));
}

TEST(SystemErrorTextsTest, BracketedErrorText) {
  ComponentBase c;
  c.SetLastErrorCode(5);
  EXPECT_EQ(0, SystemErrorTexts::SetErrorText(c, 111));
  EXPECT_STREQ("[111] Connection refused.", c.GetLastErrorText());
  EXPECT_EQ(0, c.GetLastErrorCode());
  EXPECT_EQ(0, SystemErrorTexts::SetErrorText(c, -3));
  EXPECT_STREQ("[-3] The name server returned a temporary failure indication.", c.GetLastErrorText());
  EXPECT_EQ(1, SystemErrorTexts::SetErrorText(c, 41));
  EXPECT_STREQ("[41] (no description available)", c.GetLastErrorText());
  EXPECT_EQ(1, SystemErrorTexts::SetErrorText(c, 0));
  EXPECT_STREQ("[0] (no description available)", c.GetLastErrorText());
}

}  // namespace
