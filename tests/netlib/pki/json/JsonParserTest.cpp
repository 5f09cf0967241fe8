// The parser's state machine, events, value decoding and containers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "JsonTestText.h"
#include "pki/json/ByteStack.h"
#include "pki/json/JsonParser.h"
#include "pki/json/JsonPathQuery.h"
#include "pki/json/TextBuffer.h"

using namespace tornell::pki;

namespace {

std::string Parse(const std::string& text, int decoding = 3) {
  JsonParser parser;
  jsontest::Prepare(parser, decoding);
  if (parser.Input(text.data(), static_cast<int>(text.size())) != 0 || parser.Root() == nullptr) return "ERR";
  return jsontest::Listing(parser.Root());
}

// A JWK set of about 2 KB with escapes, nesting, numbers and literals.
std::string JwkDocument() {
  std::string n;
  for (int i = 0; n.size() < 1480; ++i) n += "0vx7agoebGcQSuuPiLJXZptN9nndrQmbXEps2aiAFbWhM78LhWx4cbbfAAtVT86zwu1RK7aPFFxuhDR1L6tSoc_BJECPebWKRXjBZCiFV4n3oknjhMstn64tZ_2W-5JsGY4Hc5n9yBXArwl93lqt7_RN5w6Cf0h4QyQ5v-65YGjQR0_FDW2QvzqY368QQMicAtaSqzs8KJZgnYb9c7d0zgdAZHzu6qMQvRL5hajrn1n91CbOpbISD08qNLyrdkt-bFTWhAI4vMQFh6WeZu0fM4lFd2NcRwr3XPksINHaQ-G_xBniIqbw0Ls1jF44-csFCur-kEgU8awapJzKnqDKgw"[i % 64];
  return "{\n  \"keys\": [\n    {\"kty\": \"RSA\", \"use\": \"sig\", \"kid\": \"2011-04-29\",\n     \"n\": \"" + n +
         "\",\n     \"e\": \"AQAB\", \"alg\": \"RS256\", \"x5t\": null, \"ext\": true},\n"
         "    {\"kty\": \"EC\", \"crv\": \"P-256\", \"x\": \"MKBCTNIcKUSDii11ySs3526iDZ8AiTo7Tu6KPAqv7D4\",\n"
         "     \"y\": \"4Etl6SRW2YiLUrN5vfvVHuhp7x8PxltmWWlbbM4IFyM\", \"d\": \"870MB6gfuTJ4HtUnUvYMyJpr5eUZNP4Bk43bVdj3eAE\",\n"
         "     \"note\": \"quote \\\" slash \\/ euro \\u20AC smile \\ud83d\\ude00 tab \\t\", \"size\": -256.5e+1,\n"
         "     \"ops\": [\"sign\", \"verify\", [], {}, [1, 2, [3]]], \"nested\": {\"a\": {\"b\": {\"c\": false}}}}\n"
         "  ],\n  \"count\": 2\n}\n";
}

TEST(JsonParser, EverySplitGivesTheTreeOfOneCall) {
  const std::string doc = JwkDocument();
  ASSERT_GT(doc.size(), 2000u);
  const std::string whole = Parse(doc);
  ASSERT_NE(whole, "ERR");
  for (int keep = 0; keep < 2; ++keep) {
    for (size_t cut = 0; cut <= doc.size(); ++cut) {
      JsonParser parser;
      if (keep == 1) {
        jsontest::Prepare(parser);
      } else {
        // Without Restart's keep-input flag the consumed text is dropped between calls.
        static_cast<void>(parser.SetValueDecoding(3));
        static_cast<void>(parser.SetBuildDom(1));
      }
      ASSERT_EQ(parser.Input(doc.data(), static_cast<int>(cut)), 0) << cut;
      ASSERT_EQ(parser.Input(doc.data() + cut, static_cast<int>(doc.size() - cut)), 0) << cut;
      ASSERT_NE(parser.Root(), nullptr);
      ASSERT_EQ(jsontest::Listing(parser.Root()), whole) << "split at " << cut << " keep " << keep;
    }
  }
}

TEST(JsonParser, ContainerTextWithRawFlag) {
  const std::string doc = JwkDocument();
  JsonParser parser;
  jsontest::Prepare(parser);
  ASSERT_EQ(parser.Input(doc.c_str()), 0);
  ASSERT_EQ(parser.SelectPath("/json/keys/[2]/ops"), 0);
  EXPECT_STREQ(parser.GetText(), "[\"sign\", \"verify\", [], {}, [1, 2, [3]]]");
  EXPECT_EQ(parser.GetChildCount(), 5);
  ASSERT_EQ(parser.SelectPath("/json/keys/[2]/nested/a"), 0);
  EXPECT_STREQ(parser.GetText(), "{\"b\": {\"c\": false}}");
  ASSERT_EQ(parser.SelectPath("/json/keys/[1]/kid"), 0);
  EXPECT_STREQ(parser.GetText(), "2011-04-29");
}

TEST(JsonParser, ShapesOfSmallDocuments) {
  struct Case {
    const char* text;
    const char* listing;
  };
  // 6a736f6e is "json"; 61 "a".
  const Case cases[] = {
      {"{}", "0:0:6a736f6e:-"},
      {"[]", "0:1:6a736f6e:-"},
      {"{\"a\":1,}", "0:0:6a736f6e:- 1:3:61:31"},
      {"[TRUE, fAlSe, Null]", "0:1:6a736f6e:- 1:4:-:54525545 1:4:-:66416c5365 1:5:-:4e756c6c"},
      {"([])", "0:1:6a736f6e:-"},
      {"[\"\"]", "0:1:6a736f6e:- 1:2:-:-"},
  };
  for (const Case& c : cases) EXPECT_EQ(Parse(c.text), c.listing) << c.text;
}

TEST(JsonParser, RefusedMarkupKeepsFailing) {
  const char* bad[] = {"[nul,]", "[truex,]", "[true1,]", "[1]x", "[1])", "{\"a\"}", "[1 2]", "[\x80]", "[tr\xff]"};
  for (const char* text : bad) {
    JsonParser parser;
    jsontest::Prepare(parser);
    EXPECT_EQ(parser.Input(text), kJsonInvalidMarkup) << text;
    EXPECT_STREQ(parser.GetLastErrorText(), "Invalid JSON markup.");
    // The state stays: more input fails again.
    EXPECT_EQ(parser.Input(" "), kJsonInvalidMarkup) << text;
  }
}

TEST(JsonParser, KeyReaderSettingsDropQuotesOnly) {
  JsonParser parser;
  static_cast<void>(parser.Restart());
  static_cast<void>(parser.SetValueDecoding(1));
  static_cast<void>(parser.SetRawContainerText(1));
  static_cast<void>(parser.SetBuildDom(1));
  ASSERT_EQ(parser.Input("{\"kty\":\"RSA\",\"x\":\"a\\u20ACb\"}"), 0);
  ASSERT_EQ(parser.SelectPath("/json/kty"), 0);
  EXPECT_STREQ(parser.GetText(), "RSA");
  EXPECT_STREQ(parser.GetName(), "kty");
  EXPECT_EQ(parser.GetType(), JsonNode::kString);
  ASSERT_EQ(parser.SelectPath("/json/x"), 0);
  EXPECT_STREQ(parser.GetText(), "a\\u20ACb");  // escapes kept as written
}

TEST(JsonParser, ValueDecoding) {
  struct Case {
    const char* in;
    int bits;
    std::string out;
  };
  const Case cases[] = {
      {"\"abc\"", 1, "abc"},
      {"\"abc\"", 0, "\"abc\""},
      {"\"\\u20AC\"", 3, "\xe2\x82\xac"},
      {"\\u00e9\\u0041\\u07FF\\u0800", 2, "\xc3\xa9" "A\xdf\xbf\xe0\xa0\x80"},
      {"\\ud83d\\ude00", 2, "\xf0\x9f\x98\x80"},
      {"\\uDBFF\\uDFFF", 2, "\xf4\x8f\xbf\xbf"},
      {"\\ud83d", 2, "\\ud83d"},          // a lone high surrogate stays as written
      {"\\ud83dx", 2, "\\ud83dx"},
      {"\\ude00", 2, "\\ude00"},          // so does a lone low one
      {"\\u12", 2, "\\u12"},              // too short
      {"\\u12g4", 2, "\\u12g4"},
      {"\\q\\", 2, "\\q\\"},
      {"\\\"\\/\\\\\\b\\f\\n\\r\\t", 2, "\"/\\\b\f\n\r\t"},
      {"\\u0000", 2, std::string(1, '\0')},
  };
  for (const Case& c : cases) {
    tornell::ByteString out;
    ASSERT_EQ(JsonParser::DecodeValue(c.in, static_cast<int>(std::strlen(c.in)), c.bits, out), 0);
    EXPECT_EQ(std::string(out.Data(), static_cast<size_t>(out.Length())), c.out) << c.in;
  }
}

// Records the events as one line.
class Recorder : public JsonParser {
 public:
  std::string log;
  int OnStartDocument() override { log += "<doc>"; return 0; }
  int OnEndDocument() override { log += "</doc>"; return 0; }
  int OnStartElement(const char* name) override { log += "<" + std::string(name) + ">"; return 0; }
  int OnEndElement(const char* name) override { log += "</" + std::string(name) + ">"; return 0; }
  int OnValue(const char* text) override { log += "=" + std::string(text); return 0; }
};

TEST(JsonParser, EventsWithAndWithoutTree) {
  const char* doc = "{\"a\":[1,\"x\"],\"b\":{}}";
  const std::string expected = "<doc><json><a><>=1</><>=x</></a><b></b></json></doc>";
  for (int dom = 0; dom < 2; ++dom) {
    Recorder r;
    static_cast<void>(r.Restart());
    static_cast<void>(r.SetValueDecoding(1));
    static_cast<void>(r.SetBuildDom(dom));
    ASSERT_EQ(r.Input(doc), 0);
    EXPECT_EQ(r.log, expected) << "dom " << dom;
  }
  // A refusal from the end-of-document event stops the parse.
  class Refuser : public JsonParser {
   public:
    int OnEndDocument() override { return 77; }
  } refuser;
  EXPECT_EQ(refuser.Input("[1]"), 77);
}

TEST(JsonParser, TypesAndStatusesWithoutTree) {
  JsonParser parser;
  static_cast<void>(parser.Restart());
  EXPECT_EQ(parser.SelectPath("/json"), kJsonNoTree);
  EXPECT_STREQ(parser.GetLastErrorText(), "DOM tree unavailable (set BuildDOM to TRUE and reparse).");
  ASSERT_EQ(parser.Input("{\"a\":null}"), 0);
  EXPECT_EQ(parser.GetType(), JsonNode::kObject);  // the last value ended was the object
  EXPECT_EQ(parser.HasPath("/json/a"), 0);
  JsonParser empty;
  static_cast<void>(empty.SetBuildDom(1));
  EXPECT_EQ(empty.GetType(), kJsonInvalidPath);
  EXPECT_STREQ(empty.GetLastErrorText(), "Invalid JSONPath.");
}

// A megabyte of "[" builds a chain a million nodes deep; building its paths
// and tearing it down must not recurse.
TEST(JsonParser, MegabyteOfOpenBrackets) {
  const std::string doc(1 << 20, '[');
  JsonParser parser;
  jsontest::Prepare(parser);
  ASSERT_EQ(parser.Input(doc.c_str()), 0);
  JsonNode* node = parser.Root();
  ASSERT_NE(node, nullptr);
  int depth = 0;
  while (node->FirstChild() != nullptr) {
    node = node->FirstChild();
    ++depth;
  }
  EXPECT_EQ(depth, 1 << 20);
  tornell::ByteString path;
  ASSERT_EQ(node->GetXPath(path), 0);
  EXPECT_EQ(path.Length(), 5 + 4 * depth);  // "/json" and "/[1]" a level
  EXPECT_EQ(std::string(path.CStr() + path.Length() - 8), "/[1]/[1]");
  ASSERT_EQ(node->GetJsonPath(path), 0);
  EXPECT_EQ(path.Length(), 1 + 3 * depth);  // "$" and "[0]" a level
  // A selection at depth walks no deeper than the path text.
  EXPECT_EQ(parser.HasPath("/json/[1]/[1]/[1]"), 1);
  EXPECT_EQ(parser.Reset(), 0);
  EXPECT_EQ(parser.Root(), nullptr);
  ASSERT_EQ(parser.Input(doc.c_str()), 0);  // and once more for the destructor
}

TEST(JsonContainers, ByteStackGrowsBy99) {
  ByteStack stack;
  EXPECT_EQ(stack.Pop(), -1);
  EXPECT_EQ(stack.Top(), -1);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(stack.Push(i % 2 == 0 ? 2 : 3), 0);
  EXPECT_EQ(stack.Count(), 100);
  EXPECT_EQ(stack.Capacity(), 198);
  EXPECT_EQ(stack.Pop(), 3);
  EXPECT_EQ(stack.Top(), 2);
  EXPECT_EQ(stack.Clear(), 0);
  EXPECT_EQ(stack.Pop(), -1);
}

TEST(JsonContainers, TextBufferShortAndLong) {
  TextBuffer buffer;
  ASSERT_EQ(buffer.Set("abc", 3), 0);
  EXPECT_STREQ(buffer.Data(), "abc");
  const std::string lengths[] = {std::string(1023, 'x'), std::string(1024, 'y'), std::string(5000, 'z'), "q"};
  for (const std::string& s : lengths) {
    ASSERT_EQ(buffer.Set(s.data(), static_cast<int>(s.size())), 0);
    EXPECT_EQ(std::string(buffer.Data()), s);
    EXPECT_EQ(buffer.Length(), static_cast<int>(s.size()));
  }
  EXPECT_EQ(buffer.Clear(), 0);
  EXPECT_STREQ(buffer.Data(), "");
}

TEST(JsonContainers, NameStack) {
  JsonPathQuery names;
  EXPECT_STREQ(names.Pop(), "");
  EXPECT_STREQ(names.Top(), "");
  std::vector<std::string> pushed;
  for (int i = 0; i < 300; ++i) {
    pushed.push_back(std::string(static_cast<size_t>(i % 17), static_cast<char>('a' + i % 26)));
    ASSERT_EQ(names.Push(pushed.back().data(), static_cast<int>(pushed.back().size())), 0);
  }
  EXPECT_EQ(names.Count(), 300);
  for (int i = 299; i >= 0; --i) {
    EXPECT_EQ(std::string(names.Top()), pushed[static_cast<size_t>(i)]);
    EXPECT_EQ(std::string(names.Pop()), pushed[static_cast<size_t>(i)]);
  }
  EXPECT_EQ(names.Count(), 0);
  names.SetValueType(4);
  EXPECT_EQ(names.GetValueType(), 4);
  EXPECT_EQ(names.Push("x", JsonPathQuery::kMaxName + 1), 200);
}

}  // namespace
