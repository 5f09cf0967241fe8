#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DerTestText.h"
#include "pki/der/DerElement.h"

using dertest::HexOf;
using dertest::SetHex;
using tornell::pki::DerElement;

namespace {

TEST(DerElement, SplitChildrenCases) {
  DerElement empty;
  SetHex(empty.body.output, "3000");
  ASSERT_EQ(empty.SplitChildren(), 0);
  EXPECT_EQ(empty.childCount, 0);
  EXPECT_EQ(HexOf(empty.body.output), "3000");

  DerElement one;
  SetHex(one.body.output, "3003020105");
  ASSERT_EQ(one.SplitChildren(), 0);
  ASSERT_EQ(one.childCount, 1);
  EXPECT_EQ(HexOf(one.Child(0)->body.output), "020105");
  EXPECT_TRUE(one.body.output.IsEmpty());
  EXPECT_EQ(one.tag, 0x30);
  EXPECT_EQ(one.Child(1), nullptr);
  EXPECT_EQ(one.SplitChildren(), 447);

  DerElement trailing;
  SetHex(trailing.body.output, "300402010500");
  EXPECT_EQ(trailing.SplitChildren(), 446);

  // A primitive wrapper whose content is an element opens like a constructed one.
  DerElement wrapper;
  SetHex(wrapper.body.output, "0405300302010100");
  ASSERT_EQ(wrapper.SplitChildren(), 0);
  ASSERT_EQ(wrapper.childCount, 1);
  EXPECT_EQ(HexOf(wrapper.Child(0)->body.output), "3003020101");

  DerElement high;
  SetHex(high.body.output, "3f03020105");
  EXPECT_EQ(high.SplitChildren(), 446);
}

TEST(DerElement, ParseBuildsTheWholeTree) {
  DerElement root;
  // SEQUENCE { INTEGER 5, SEQUENCE { NULL, SET {} }, OCTET STRING { 02 01 07 } }
  SetHex(root.body.output, "300e0201053004050031000403020107");
  ASSERT_EQ(root.Parse(), 0);
  EXPECT_TRUE(root.body.output.IsEmpty());
  ASSERT_EQ(root.childCount, 3);
  EXPECT_EQ(HexOf(root.Child(0)->body.output), "020105");
  DerElement* inner = root.Child(1);
  EXPECT_TRUE(inner->body.output.IsEmpty());
  ASSERT_EQ(inner->childCount, 2);
  EXPECT_EQ(HexOf(inner->Child(0)->body.output), "0500");
  EXPECT_EQ(HexOf(inner->Child(1)->body.output), "3100");
  EXPECT_EQ(inner->Child(1)->childCount, 0);
  // Primitive nodes keep their whole encoding and are not opened.
  EXPECT_EQ(HexOf(root.Child(2)->body.output), "0403020107");
  EXPECT_EQ(root.Child(2)->childCount, 0);

  DerElement bad;
  SetHex(bad.body.output, "3008300402010500ffff");
  EXPECT_EQ(bad.Parse(), 446);
  DerElement primitive;
  SetHex(primitive.body.output, "020105");
  ASSERT_EQ(primitive.Parse(), 0);
  EXPECT_EQ(HexOf(primitive.body.output), "020105");
}

// Headers of a SEQUENCE around `inner` bytes, in the four-byte length form.
void PrependHeader(std::vector<unsigned char>& out, size_t inner) {
  const unsigned char h[6] = {0x30, 0x84, static_cast<unsigned char>(inner >> 24), static_cast<unsigned char>(inner >> 16),
                              static_cast<unsigned char>(inner >> 8), static_cast<unsigned char>(inner)};
  out.insert(out.end(), h, h + 6);
}

TEST(DerElement, DeepAndWideTreesNeitherRecurseNorCopyPerLevel) {
  // About 1 MB of nested SEQUENCE headers.
  const size_t depth = (1u << 20) / 6;
  std::vector<unsigned char> deep;
  deep.reserve(depth * 6 + 2);
  for (size_t i = 0; i < depth; ++i) PrependHeader(deep, (depth - 1 - i) * 6 + 2);
  deep.push_back(0x05);
  deep.push_back(0x00);
  {
    DerElement root;
    ASSERT_EQ(root.body.output.Set(deep.data(), static_cast<int>(deep.size())), 0);
    ASSERT_EQ(root.Parse(), 0);
    const DerElement* node = &root;
    size_t seen = 0;
    while (node->firstChild != nullptr) {
      node = node->firstChild;
      ++seen;
    }
    EXPECT_EQ(seen, depth);
    EXPECT_EQ(HexOf(node->body.output), "0500");
  }

  // 300,000 NULLs in one SEQUENCE, walked by sibling links.
  const size_t count = 300000;
  std::vector<unsigned char> wide;
  PrependHeader(wide, count * 2);
  for (size_t i = 0; i < count; ++i) {
    wide.push_back(0x05);
    wide.push_back(0x00);
  }
  DerElement root;
  ASSERT_EQ(root.body.output.Set(wide.data(), static_cast<int>(wide.size())), 0);
  ASSERT_EQ(root.Parse(), 0);
  ASSERT_EQ(static_cast<size_t>(root.childCount), count);
  size_t walked = 0;
  for (const DerElement* c = root.firstChild; c != nullptr; c = c->nextSibling) ++walked;
  EXPECT_EQ(walked, count);

  DerElement huge;
  SetHex(huge.body.output, "3084ffffffff0500");
  EXPECT_EQ(huge.Parse(), 447);
  EXPECT_EQ(huge.SplitChildren(), 447);
}

}  // namespace
