// The parser's tree against Python's json module: names, types, decoded
// string values and number texts of generated and hand-written documents.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "JsonTestText.h"
#include "TestSupport.h"
#include "TestText.h"
#include "pki/json/JsonParser.h"

using tornell::pki::JsonParser;

namespace {

// Our listing of a document, or ERR when the parser refuses it or leaves it unfinished.
std::string OurListing(const std::string& text) {
  JsonParser parser;
  jsontest::Prepare(parser);
  if (parser.Input(text.data(), static_cast<int>(text.size())) != 0 || parser.Root() == nullptr) return "ERR";
  return jsontest::Listing(parser.Root());
}

std::vector<std::string> PythonListings(const std::vector<std::string>& docs) {
  std::vector<std::string> requests;
  for (const std::string& d : docs) requests.push_back(jsontest::Hex(d));
  return testsupport::RunReferenceScript(std::string(JSON_TEST_DIR) + "/json_oracle.py", requests);
}

class Generator {
 public:
  explicit Generator(unsigned seed) : rng_(seed) {}

  std::string Document() {
    std::string out = Space() + (Pick(2) == 0 ? Object(0) : Array(0)) + Space();
    return out;
  }

 private:
  int Pick(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }
  std::string Space() {
    static const char* kRuns[] = {"", "", " ", "\n", "\t ", "\r\n  "};
    return kRuns[Pick(6)];
  }
  std::string String() {
    static const char* kPieces[] = {"a", "kty", "RSA", " ", "\\n", "\\\"", "\\\\", "\\/", "\\t", "\\b\\f\\r",
                                    "\\u0041", "\\u00e9", "\\u20AC", "\\ud83d\\ude00", "\xc3\xa9", "\xe2\x82\xac",
                                    "\xf0\x9f\x98\x80", "[", "}", ",", ":", "'", "$"};
    std::string out = "\"";
    for (int n = Pick(5); n > 0; --n) out += kPieces[Pick(23)];
    return out + "\"";
  }
  std::string Number() {
    static const char* kNumbers[] = {"0", "-0", "7", "42", "-17", "3.25", "-0.5", "1e10", "2E-3", "6.02e+23",
                                     "123456789012345678901234567890", "1.0", "-9.75E+2"};
    return kNumbers[Pick(13)];
  }
  std::string Value(int depth) {
    const int kind = Pick(depth > 4 ? 5 : 7);
    switch (kind) {
      case 0: return String();
      case 1: return Number();
      case 2: return "true";
      case 3: return Pick(2) == 0 ? "false" : "null";
      case 4: return String();
      case 5: return Object(depth + 1);
      default: return Array(depth + 1);
    }
  }
  std::string Object(int depth) {
    std::string out = "{" + Space();
    for (int n = Pick(5), i = 0; i < n; ++i) {
      if (i > 0) out += "," + Space();
      out += String() + Space() + ":" + Space() + Value(depth) + Space();
    }
    return out + "}";
  }
  std::string Array(int depth) {
    std::string out = "[" + Space();
    for (int n = Pick(5), i = 0; i < n; ++i) {
      if (i > 0) out += "," + Space();
      out += Value(depth) + Space();
    }
    return out + "]";
  }

  std::mt19937 rng_;
};

const std::vector<std::string> kHandWritten = {
    "{}", "[]", "[[]]", "[{}]", "{\"a\":{}}", "{\"\":\"\"}", "[\"\"]",
    "{\"kty\":\"RSA\",\"n\":\"0vx7agoebGcQSuu\",\"e\":\"AQAB\"}",
    "{\"keys\":[{\"kty\":\"EC\",\"crv\":\"P-256\"},{\"kty\":\"RSA\"}]}",
    "{\"a\":1,\"a\":2}",                      // duplicate names are kept in order
    "[1,[2,[3,[4,[5]]]]]",
    "{\"na\\\"me\":\"v\\\\al\"}",
    "[\"\\u0000\", \"x\\u001fy\"]",
    " \t\r\n[ 1 , 2 ]\n",
    "{\"\xc3\xa9t\xc3\xa9\":\"\xe6\x97\xa5\xe6\x9c\xac\"}",
    "[-0, 0.0, 1E400, -1e-400]",
    "[true,false,null]",
    "\"top\" ", "12 ", "-3.5\n", "true ", "null\t",
};

TEST(JsonCorpus, TreesMatchPython) {
  REQUIRE_OR_SKIP(testsupport::HaveTool("/usr/bin/python3"), "python3 not installed");
  std::vector<std::string> docs = kHandWritten;
  Generator gen(20261210);
  for (int i = 0; i < 400; ++i) docs.push_back(gen.Document());
  const std::vector<std::string> expected = PythonListings(docs);
  ASSERT_EQ(expected.size(), docs.size()) << "the Python reference did not answer";
  for (size_t i = 0; i < docs.size(); ++i) {
    ASSERT_NE(expected[i], "ERR") << "the corpus holds only valid JSON: " << docs[i];
    EXPECT_EQ(OurListing(docs[i]), expected[i]) << docs[i];
  }
}

// Texts Python refuses that this parser takes on purpose, each with the strict
// text whose tree it gives.
TEST(JsonCorpus, LenientCasesListedApart) {
  REQUIRE_OR_SKIP(testsupport::HaveTool("/usr/bin/python3"), "python3 not installed");
  struct Case {
    std::string lenient, strict;
  };
  const std::vector<Case> cases = {
      {"[1,]", "[1]"},
      {"{\"a\":1,}", "{\"a\":1}"},
      {"[[],]", "[[]]"},
      {"([1,2])", "[1,2]"},
      {"({\"a\":\"b\"} ) ", "{\"a\":\"b\"}"},
      {"[\"tab\there\"]", "[\"tab\\there\"]"},  // raw control character in a string
      {"[\"\\q\"]", "[\"\\\\q\"]"},              // unknown escape kept as written
  };
  std::vector<std::string> docs;
  for (const Case& c : cases) {
    docs.push_back(c.lenient);
    docs.push_back(c.strict);
  }
  const std::vector<std::string> expected = PythonListings(docs);
  ASSERT_EQ(expected.size(), docs.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(expected[2 * i], "ERR") << cases[i].lenient;
    EXPECT_EQ(OurListing(cases[i].lenient), expected[2 * i + 1]) << cases[i].lenient;
  }
  // Literals in any case and any run of number characters; Python refuses all.
  const std::vector<std::string> loose = {"[TRUE]", "[False]", "[NULL]", "[01]", "[+1]", "[.5]", "[1.]", "[1-2]", "[--]"};
  const std::vector<std::string> refused = PythonListings(loose);
  ASSERT_EQ(refused.size(), loose.size());
  for (size_t i = 0; i < loose.size(); ++i) {
    EXPECT_EQ(refused[i], "ERR") << loose[i];
    EXPECT_NE(OurListing(loose[i]), "ERR") << loose[i];
  }
}

// Texts both refuse.
TEST(JsonCorpus, MalformedTextsRefusedLikePython) {
  REQUIRE_OR_SKIP(testsupport::HaveTool("/usr/bin/python3"), "python3 not installed");
  const std::vector<std::string> docs = {
      "[1 2]", "{\"a\" 1}", "{\"a\":}", "[nul,]", "[truex,]", "[1]x", "{]", "[}", "[,1]", "[1,,2]",
      "{1:2}", "{\"a\":1 \"b\":2}", "[1]]", "]", "[\"a\"\"b\"]", "[1:2]", "[tru\xff,]", "[1\xb2]",
      "{\"a\":[}", "[{]}", "{,}", "[true false]",
  };
  const std::vector<std::string> expected = PythonListings(docs);
  ASSERT_EQ(expected.size(), docs.size());
  for (size_t i = 0; i < docs.size(); ++i) {
    EXPECT_EQ(expected[i], "ERR") << docs[i];
    JsonParser parser;
    jsontest::Prepare(parser);
    EXPECT_EQ(parser.Input(docs[i].data(), static_cast<int>(docs[i].size())), tornell::pki::kJsonInvalidMarkup) << docs[i];
    EXPECT_STREQ(parser.GetLastErrorText(), "Invalid JSON markup.");
  }
}

}  // namespace
