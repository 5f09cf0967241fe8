#include <gtest/gtest.h>
#include <cstring>

namespace tornell { const char* LibraryName(); }

TEST(LibrarySmoke, Links) { EXPECT_STREQ(tornell::LibraryName(), "libtornell"); }
