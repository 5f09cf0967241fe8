// The published hpack-test-case corpus, read in place, and differential runs
// against python3-hpack: blocks of either side decode on the other.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "HpackTestSupport.h"
#include "TestSupport.h"
#include "TestText.h"

using namespace hpacktest;
using testsupport::Hex;
using testsupport::Unhex;

namespace {

const std::string kOracle = std::string(H2_TEST_DIR) + "/hpack_oracle.py";

std::filesystem::path CorpusDir() { return testsupport::VectorsDir() / "hpack-test-case"; }

bool HaveHpack() { return testsupport::HavePythonModule("hpack"); }

std::string PairsText(const Fields& fields) {
  std::string text;
  for (const auto& [name, value] : fields) {
    if (!text.empty()) text += ' ';
    text += Hex(name) + ":" + Hex(value);
  }
  return text;
}

Fields ParsePairs(const std::vector<std::string>& words, size_t from) {
  Fields fields;
  for (size_t i = from; i < words.size(); ++i) {
    const size_t colon = words[i].find(':');
    fields.emplace_back(Unhex(words[i].substr(0, colon)), Unhex(words[i].substr(colon + 1)));
  }
  return fields;
}

struct Story {
  std::string name;
  struct Case {
    int tableSize = -1;  // -1: not given
    std::string wire;
    Fields fields;
  };
  std::vector<Case> cases;
};

std::vector<Story> LoadStories(const std::string& folder) {
  bool ok = false;
  const std::string out = testsupport::RunCommand(
      "/usr/bin/python3 '" + kOracle + "' flatten '" + (CorpusDir() / folder).string() + "'", ok);
  std::vector<Story> stories;
  if (!ok) return stories;
  for (const std::string& line : testsupport::Lines(out)) {
    std::vector<std::string> words;
    // Words() would read an empty value's "-"; split by hand to keep it.
    for (size_t at = 0; at < line.size();) {
      size_t end = line.find(' ', at);
      if (end == std::string::npos) end = line.size();
      words.push_back(line.substr(at, end - at));
      at = end + 1;
    }
    if (words.size() >= 2 && words[0] == "story") {
      stories.push_back({words[1], {}});
    } else if (words.size() >= 3 && words[0] == "case" && !stories.empty()) {
      Story::Case c;
      c.tableSize = words[1] == "-" ? -1 : std::stoi(words[1]);
      c.wire = words[2] == "-" ? "" : Unhex(words[2]);
      c.fields = ParsePairs(words, 3);
      stories.back().cases.push_back(std::move(c));
    }
  }
  return stories;
}

// Runs the oracle in a mode with the lines on its input; one line back per
// answer, nothing when it fails.
std::vector<std::string> Oracle(const std::string& mode, const std::string& input) {
  bool ok = false;
  std::vector<std::string> lines =
      testsupport::Lines(testsupport::RunCommand("/usr/bin/python3 '" + kOracle + "' " + mode, input, ok));
  if (!ok) lines.clear();
  return lines;
}

class HpackCorpus : public ::testing::TestWithParam<const char*> {};

}  // namespace

// Every story decodes case by case, sharing the table within a story.
TEST_P(HpackCorpus, DecodesEveryStory) {
  REQUIRE_OR_SKIP(std::filesystem::is_directory(CorpusDir() / GetParam()), "hpack-test-case corpus not found");
  REQUIRE_OR_SKIP(HaveHpack(), "/usr/bin/python3 without python3-hpack (reads the corpus)");
  const std::vector<Story> stories = LoadStories(GetParam());
  ASSERT_GE(stories.size(), 30u);
  size_t cases = 0;
  for (const Story& story : stories) {
    HpackStaticTable table;
    for (size_t i = 0; i < story.cases.size(); ++i) {
      const Story::Case& c = story.cases[i];
      if (c.tableSize >= 0) table.SetSizeLimit(c.tableSize);
      const Decoded got = DecodeBytes(table, c.wire);
      ASSERT_EQ(got.status, 0) << story.name << " case " << i << ": " << got.error;
      ASSERT_EQ(got.fields, c.fields) << story.name << " case " << i;
      ASSERT_LE(table.Size(), table.MaxSize());
      ++cases;
    }
  }
  EXPECT_GT(cases, 500u);
}

INSTANTIATE_TEST_SUITE_P(Folders, HpackCorpus,
                         ::testing::Values("nghttp2", "nghttp2-change-table-size", "go-hpack", "python-hpack"),
                         [](const auto& info) {
                           std::string name = info.param;
                           for (char& ch : name) {
                             if (ch == '-') ch = '_';
                           }
                           return name;
                         });

// The raw stories coded by us decode back, through python3-hpack and ours.
TEST(HpackCorpusRaw, OurBlocksDecodeInPythonAndOurs) {
  REQUIRE_OR_SKIP(std::filesystem::is_directory(CorpusDir() / "raw-data"), "hpack-test-case corpus not found");
  REQUIRE_OR_SKIP(HaveHpack(), "/usr/bin/python3 without python3-hpack");
  const std::vector<Story> stories = LoadStories("raw-data");
  ASSERT_GE(stories.size(), 30u);
  std::string input;
  std::vector<const Fields*> expected;
  for (const Story& story : stories) {
    HpackStaticTable encoder;
    HpackStaticTable decoder;
    input += "table\n";
    for (const Story::Case& c : story.cases) {
      const std::string block = EncodeBytes(encoder, c.fields);
      const Decoded ours = DecodeBytes(decoder, block);
      ASSERT_EQ(ours.status, 0) << story.name << ": " << ours.error;
      ASSERT_EQ(ours.fields, c.fields) << story.name;
      input += Hex(block) + "\n";
      expected.push_back(&c.fields);
    }
  }
  const std::vector<std::string> answers = Oracle("decode", input);
  ASSERT_EQ(answers.size(), expected.size());
  for (size_t i = 0; i < answers.size(); ++i) {
    ASSERT_EQ(answers[i], PairsText(*expected[i])) << "block " << i;
  }
}

namespace {

// Random header lists: every byte value in names and values, some long values.
std::vector<Fields> RandomLists(std::mt19937& random, int count) {
  auto bytes = [&](int length) {
    std::string text;
    for (int i = 0; i < length; ++i) text += static_cast<char>(random() & 0xFF);
    return text;
  };
  // A small pool of names and values so blocks also refer to earlier entries.
  std::vector<std::string> names = {":path", "user-agent", "cookie", "x-custom"};
  std::vector<std::string> values = {"/", "GET", ""};
  for (int i = 0; i < 12; ++i) names.push_back(bytes(1 + static_cast<int>(random() % 20)));
  for (int i = 0; i < 12; ++i) values.push_back(bytes(static_cast<int>(random() % 40)));
  std::vector<Fields> lists;
  for (int n = 0; n < count; ++n) {
    Fields fields;
    const int size = 1 + static_cast<int>(random() % 8);
    for (int f = 0; f < size; ++f) {
      const unsigned pick = random() % 10;
      std::string name = pick < 7 ? names[random() % names.size()] : bytes(1 + static_cast<int>(random() % 30));
      std::string value;
      if (pick == 9) {
        value = bytes(300 + static_cast<int>(random() % 3000));  // larger than the small tables
      } else if (pick < 5) {
        value = values[random() % values.size()];
      } else {
        value = bytes(static_cast<int>(random() % 60));
      }
      fields.emplace_back(std::move(name), std::move(value));
    }
    lists.push_back(std::move(fields));
  }
  return lists;
}

class HpackDifferential : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(HpackDifferential, OurBlocksDecodeInPython) {
  REQUIRE_OR_SKIP(HaveHpack(), "/usr/bin/python3 without python3-hpack");
  std::mt19937 random(static_cast<unsigned>(GetParam()) + 1);
  const std::vector<Fields> lists = RandomLists(random, 200);
  HpackStaticTable encoder;
  ASSERT_EQ(encoder.SetEncoderMaxSize(GetParam()), 0);
  std::string input = "table\n";
  for (const Fields& fields : lists) input += Hex(EncodeBytes(encoder, fields)) + "\n";
  const std::vector<std::string> answers = Oracle("decode", input);
  ASSERT_EQ(answers.size(), lists.size());
  for (size_t i = 0; i < lists.size(); ++i) ASSERT_EQ(answers[i], PairsText(lists[i])) << "block " << i;
}

TEST_P(HpackDifferential, PythonBlocksDecodeInOurs) {
  REQUIRE_OR_SKIP(HaveHpack(), "/usr/bin/python3 without python3-hpack");
  std::mt19937 random(static_cast<unsigned>(GetParam()) + 7);
  const std::vector<Fields> lists = RandomLists(random, 200);
  std::string input = "table " + std::to_string(GetParam()) + "\n";
  for (size_t i = 0; i < lists.size(); ++i) input += std::string(i % 2 ? "r " : "h ") + PairsText(lists[i]) + "\n";
  const std::vector<std::string> blocks = Oracle("encode", input);
  ASSERT_EQ(blocks.size(), lists.size());
  HpackStaticTable decoder;
  for (size_t i = 0; i < lists.size(); ++i) {
    const Decoded got = DecodeHex(decoder, blocks[i]);
    ASSERT_EQ(got.status, 0) << "block " << i << ": " << got.error;
    ASSERT_EQ(got.fields, lists[i]) << "block " << i;
    ASSERT_EQ(decoder.MaxSize(), GetParam());
  }
}

INSTANTIATE_TEST_SUITE_P(TableSizes, HpackDifferential, ::testing::Values(4096, 256, 0));
