#include <gtest/gtest.h>
#include <netdb.h>

#include <cctype>
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

std::string Lower(const char* text) {
  std::string out = text != nullptr ? text : "";
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The resolver rows are keyed by the numbers <netdb.h> gives the EAI_ names,
// and each row must name the cause the C library's own gai_strerror() gives
// that number: one word both texts share marks the cause.
TEST(SystemErrorTextsTest, ResolverRowsMatchTheCLibraryCauses) {
  struct Row {
    int code;
    const char* cause;
  };
  const Row rows[] = {
      {EAI_BADFLAGS, "flags"},        {EAI_NONAME, "not known"},
      {EAI_AGAIN, "temporary"},       {EAI_FAIL, "failure"},
      {EAI_NODATA, "address"},        {EAI_FAMILY, "family"},
      {EAI_SOCKTYPE, "not supported"}, {EAI_SERVICE, "serv"},
      {EAI_ADDRFAMILY, "address family"}, {EAI_MEMORY, "memory"},
      {EAI_SYSTEM, "system error"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    const std::string system = Lower(gai_strerror(row.code));
    SCOPED_TRACE(system);
    ASSERT_NE(std::string::npos, system.find(row.cause));
    const char* own = SystemErrorTexts::Find(row.code);
    ASSERT_NE(nullptr, own);
    EXPECT_NE(std::string::npos, Lower(own).find(row.cause)) << own;
  }
  // The resolver codes the C library has beyond these get no row.
  for (int code : {EAI_OVERFLOW, EAI_INPROGRESS, EAI_CANCELED, EAI_NOTCANCELED, EAI_ALLDONE,
                   EAI_INTR, EAI_IDN_ENCODE}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(nullptr, SystemErrorTexts::Find(code));
  }
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
