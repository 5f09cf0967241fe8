// Selection with XPath-style paths and JSONPath, and the paths of selected nodes.
#include <gtest/gtest.h>

#include <string>

#include "JsonTestText.h"
#include "pki/json/JsonParser.h"
#include "pki/json/JsonPathSteps.h"

using namespace tornell::pki;

namespace {

constexpr const char kKeys[] = "{\"keys\":[{\"kty\":\"EC\"},{\"kty\":\"RSA\"}]}";

struct PathCase {
  const char* path;
  const char* text;  // null: nothing selected
  const char* selected;  // path text of the selected node
};

void CheckPaths(const char* doc, const PathCase* cases, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const PathCase& c = cases[i];
    JsonParser parser;
    jsontest::Prepare(parser, 1);
    ASSERT_EQ(parser.Input(doc), 0);
    if (c.text == nullptr) {
      EXPECT_EQ(parser.HasPath(c.path), 0) << c.path;
      EXPECT_EQ(parser.SelectPath(c.path), kJsonInvalidXPath) << c.path;
      EXPECT_STREQ(parser.GetLastErrorText(), "Invalid XPath.");
      continue;
    }
    EXPECT_EQ(parser.HasPath(c.path), 1) << c.path;
    ASSERT_EQ(parser.SelectPath(c.path), 0) << c.path;
    EXPECT_STREQ(parser.GetText(), c.text) << c.path;
    EXPECT_STREQ(parser.SelectedPath(), c.selected) << c.path;
  }
}

TEST(JsonPath, XPathTable) {
  const PathCase cases[] = {
      {"/json/keys/[2]/kty", "RSA", "/json/keys/[2]/kty"},
      {"/json/keys/[last()]/kty", "RSA", "/json/keys/[2]/kty"},
      {"/json/keys/[last()-1]/kty", "EC", "/json/keys/[1]/kty"},
      {"/json/keys/[ last() - 1 ]/kty", "EC", "/json/keys/[1]/kty"},
      {"/json/keys/[1]", "{\"kty\":\"EC\"}", "/json/keys/[1]"},
      {"/JSON/KEYS/[1]/KTY", "EC", "/json/keys/[1]/kty"},
      {"/json/*/[2]/*", "RSA", "/json/keys/[2]/kty"},
      {"//json//keys//[2]//kty", "RSA", "/json/keys/[2]/kty"},
      {"/json/keys/[2]/kty/..", "{\"kty\":\"RSA\"}", "/json/keys/[2]"},
      {"/json/keys/./[2]/kty", "RSA", "/json/keys/[2]/kty"},
      {"/json", kKeys, "/json"},
      {"/json/keys/[0]/kty", nullptr, nullptr},
      {"/json/keys/[3]/kty", nullptr, nullptr},
      {"/json/keys/[last()-2]", nullptr, nullptr},
      {"/json/keys/[99999999999]", nullptr, nullptr},  // saturates instead of wrapping
      {"/json/keys/[4294967298]", nullptr, nullptr},   // 2^32 + 2 would wrap to 2
      {"/json/keys/[-1]", nullptr, nullptr},
      {"/json/keys/[x]", nullptr, nullptr},
      {"/json/keys/[last()x]", nullptr, nullptr},
      {"/json/kty", nullptr, nullptr},
      {"/nothing", nullptr, nullptr},
      {"/json[2]", nullptr, nullptr},
  };
  CheckPaths(kKeys, cases, std::size(cases));
}

TEST(JsonPath, JsonPathTable) {
  const PathCase cases[] = {
      {"$['keys'][1]['kty']", "RSA", "$['keys'][1]['kty']"},
      {"$.keys[1].kty", "RSA", "$['keys'][1]['kty']"},
      {"$.keys[0].kty", "EC", "$['keys'][0]['kty']"},
      {"$.keys[last()].kty", "RSA", "$['keys'][1]['kty']"},
      {"$.KEYS[last()-1].KTY", "EC", "$['keys'][0]['kty']"},
      {"$['keys']", "[{\"kty\":\"EC\"},{\"kty\":\"RSA\"}]", "$['keys']"},
      {"$", kKeys, "$"},
      {"$['keys'][2]", nullptr, nullptr},
      {"$.keys[99999999999]", nullptr, nullptr},
      {"$.keys[2147483647]", nullptr, nullptr},
      {"$.keys[-1]", nullptr, nullptr},
      {"$..kty", nullptr, nullptr},
      {"$.kty", nullptr, nullptr},
  };
  CheckPaths(kKeys, cases, std::size(cases));
}

// The last child that does not match is passed over; duplicates count in order.
TEST(JsonPath, LastPredicateCountsMatchingChildren) {
  const PathCase cases[] = {
      {"/json/a[last()]", "3", "/json/a"},
      {"/json/a[last()-1]", "1", "/json/a"},
      {"/json/a[2]", "3", "/json/a"},
      {"/json/a", "1", "/json/a"},
      {"$.a[last()]", nullptr, nullptr},  // the bracket is a step of its own, under the first "a"
      {"/json/a[last()-2]", nullptr, nullptr},
  };
  CheckPaths("{\"a\":1,\"b\":2,\"a\":3,\"c\":4}", cases, std::size(cases));
}

TEST(JsonPath, RelativeSelectionAndParsers) {
  JsonParser parser;
  jsontest::Prepare(parser, 1);
  ASSERT_EQ(parser.Input(kKeys), 0);
  EXPECT_EQ(parser.HasPath(""), 0);
  EXPECT_EQ(parser.HasPath("."), 0);
  EXPECT_EQ(parser.HasPath("@"), 0);
  ASSERT_EQ(parser.SelectPath("/json/keys"), 0);
  EXPECT_EQ(parser.GetChildCount(), 2);
  EXPECT_EQ(parser.GetType(), JsonNode::kArray);
  ASSERT_EQ(parser.SelectPath("[2]/kty"), 0);  // from the selected node
  EXPECT_STREQ(parser.GetText(), "RSA");
  ASSERT_EQ(parser.SelectPath(".."), 0);
  EXPECT_STREQ(parser.SelectedPath(), "/json/keys/[2]");
  ASSERT_EQ(parser.SelectPath("@.kty"), 0);  // JSONPath from the selected node
  EXPECT_STREQ(parser.GetText(), "RSA");
  EXPECT_STREQ(parser.SelectedPath(), "$['keys'][1]['kty']");
  static_cast<void>(parser.SetCanonicalPath(0));
  ASSERT_EQ(parser.SelectPath("/JSON/keys"), 0);
  EXPECT_STREQ(parser.SelectedPath(), "/JSON/keys");
}

TEST(JsonPath, StepsOfJsonPaths) {
  struct Case {
    const char* text;
    const char* steps;  // joined with "|"
  };
  const Case cases[] = {
      {"$['keys'][1]['kty']", "$|keys|[1]|kty"},
      {"$.keys[1].kty", "$|keys|[1]|kty"},
      {"$..kty", "$|..|kty"},
      {"$['a.b[c]']", "$|a.b[c]"},
      {"@.x[last()-1]", "@|x|[last()-1]"},
      {"$", "$"},
  };
  for (const Case& c : cases) {
    JsonPathSteps steps;
    ASSERT_EQ(steps.Parse(c.text), 0);
    std::string joined;
    while (steps.HasNext() != 0) joined += std::string(joined.empty() ? "" : "|") + steps.Next();
    EXPECT_EQ(joined, c.steps) << c.text;
    EXPECT_EQ(steps.Next(), nullptr);
  }
}

TEST(JsonPath, JsonPathTextTest) {
  struct Case {
    const char* text;
    int json;
  };
  const Case cases[] = {
      {"", 0}, {"/json/kty", 0}, {"/json/a.b", 0}, {"$", 1}, {"$.a", 1}, {"a['b']", 1},
      {"['b", 0}, {"a.b", 1}, {"a..b", 1}, {"a..", 0}, {"a./b", 0}, {"a.", 0}, {".a", 0}, {"kty", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(IsJsonPathText(c.text), c.json) << c.text;
}

TEST(JsonPath, NodeLinks) {
  JsonNode root(nullptr, "json", 0);
  auto* a = new JsonNode(&root, "a", 1);
  auto* b = new JsonNode(&root, "b", 2);
  auto* c = new JsonNode(&root, "c", 3);
  EXPECT_EQ(root.ChildCount(), 3);
  EXPECT_EQ(root.AppendChild(b), -1);
  EXPECT_EQ(root.RemoveChild(b), 0);
  EXPECT_EQ(a->Next(), c);
  EXPECT_EQ(c->Previous(), a);
  EXPECT_EQ(root.RemoveChild(a), 0);
  EXPECT_EQ(root.FirstChild(), c);
  EXPECT_EQ(root.LastChild(), c);
  auto* d = new JsonNode(nullptr, "d", 4);
  EXPECT_EQ(root.AppendChild(d), 0);
  EXPECT_EQ(root.ChildCount(), 2);
  tornell::ByteString path;
  ASSERT_EQ(d->GetXPath(path), 0);
  EXPECT_STREQ(path.CStr(), "/json/d");
  ASSERT_EQ(d->GetJsonPath(path), 0);
  EXPECT_STREQ(path.CStr(), "$['d']");
  EXPECT_EQ(root.RemoveAllChildren(), 0);
  EXPECT_EQ(root.ChildCount(), 0);
  EXPECT_EQ(root.FirstChild(), nullptr);
}

}  // namespace
