#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "ToolRunner.h"
#include "core/text/JisText.h"

using tornell::HeaderText;
using tornell::JisHeaderEncoder;
using tornell::JisText;

namespace {

std::string Str(const tornell::ByteString& s) { return std::string(s.Data(), s.Length()); }

std::string ToJis(const std::string& sjis) {
  JisText j;
  EXPECT_EQ(0, j.AppendShiftJisAsIso2022Jp(sjis.c_str()));
  return Str(j);
}

std::string ToSjis(const std::string& jis) {
  JisText j;
  EXPECT_EQ(0, j.AppendIso2022JpAsShiftJis(jis.c_str()));
  return Str(j);
}

const std::string kIn = "\x1b$B";
const std::string kOut = "\x1b(B";

TEST(JisTextTest, ConversionCases) {
  const std::pair<std::string, std::string> cases[] = {
      {"\x93\xFA\x96\x7B" "a", kIn + "\x46\x7C\x4B\x5C" + kOut + "a"},
      {"\xB6\xDE", kIn + "\x25\x2C" + kOut},      // voiced ka
      {"\xCA\xDF", kIn + "\x25\x51" + kOut},      // semi-voiced ha
      {"\xB3\xDE", kIn + "\x25\x74" + kOut},      // vu
      {"\xB1\xDE", kIn + "\x25\x22\x21\x2B" + kOut},  // a, then the spacing mark
      {"\x93\xFA\x93", kIn + "\x46\x7C" + kOut},  // a lone lead byte at the end is dropped
      {"\x93\xFA\r\n\x93\xFA", kIn + "\x46\x7C" + kOut + "\r\n" + kIn + "\x46\x7C" + kOut},
      {"\x93\x20x", "\x93\x20x"},                  // a trail byte out of range stays as it is
      {"abc", "abc"},
  };
  for (const auto& [sjis, jis] : cases) {
    SCOPED_TRACE(basetest::Hex(sjis));
    EXPECT_EQ(basetest::Hex(jis), basetest::Hex(ToJis(sjis)));
  }
  EXPECT_EQ("\x93\xFA\x96\x7B" "a", ToSjis(ToJis("\x93\xFA\x96\x7B" "a")));
  // Old JIS and Roman escapes, the two-byte ESC K, and texts cut inside an escape or a pair.
  EXPECT_EQ("\x93\xFA" "a\x93\xFA", ToSjis("\x1b$@\x46\x7C\x1b(Ja\x1bK\x46\x7C"));
  EXPECT_EQ("a", ToSjis("a\x1b"));
  EXPECT_EQ("a", ToSjis("a\x1b$"));
  EXPECT_EQ("\x93\xFA", ToSjis(kIn + "\x46\x7C\x46"));
  EXPECT_EQ("\x93\xFA\nx", ToSjis(kIn + "\x46\x7C\nx"));
}

// Full-width text against Python's codecs; half-width katakana against nkf.
TEST(JisTextTest, ConversionsAgreeWithPythonAndNkf) {
  REQUIRE_OR_SKIP(basetest::HaveTool("/usr/bin/python3"), "python3 not installed");
  const char* script = R"(
texts = ['日本語テキスト', 'ABC 漢字かな交じり文、句読点。記号＄％', 'mixed 全角 and ASCII 〒※',
         '行末\r\n次の行', 'ｶﾀｶﾅ(半角)は除く'.replace('ｶﾀｶﾅ', 'カタカナ'), '']
for t in texts:
    print(t.encode('shift_jis').hex(), t.encode('iso2022_jp').hex())
)";
  std::vector<std::string> lines = basetest::Python(script);
  ASSERT_EQ(6u, lines.size());
  for (const std::string& line : lines) {
    const std::string sjis = basetest::Unhex(line.substr(0, line.find(' ')));
    const std::string jis = basetest::Unhex(line.substr(line.find(' ') + 1));
    SCOPED_TRACE(line);
    EXPECT_EQ(basetest::Hex(jis), basetest::Hex(ToJis(sjis)));
    EXPECT_EQ(basetest::Hex(sjis), basetest::Hex(ToSjis(jis)));
  }

  REQUIRE_OR_SKIP(basetest::HaveTool("/usr/bin/nkf"), "nkf not installed (Debian package nkf)");
  const std::string halfWidth[] = {
      "\xB6\xDE\xCA\xDF\xB3\xDE\xB1\xDE\xA1\xA2\xA3\xA4\xA5\xB0\xDD\xC3\xDE\xCB\xDF",
      "abc \xBA\xDD\xC6\xC1\xCA \x93\xFA\x96\x7B \xCE\xDF\xDE\xDE\xDF x",
  };
  std::string all;
  for (int c = 0xA1; c <= 0xDF; ++c) {
    all += static_cast<char>(c);
    if (c >= 0xB6) {
      all += '\xDE';
      all += static_cast<char>(c);
      all += '\xDF';
    }
  }
  for (const std::string& sjis : {halfWidth[0], halfWidth[1], all}) {
    SCOPED_TRACE(basetest::Hex(sjis));
    const testsupport::TempFile in(sjis);
    bool ran = false;
    const std::string reference = testsupport::RunCommand("nkf -S -j " + in.Path() + " | xxd -p | tr -d '\\n'", ran);
    EXPECT_EQ(reference, basetest::Hex(ToJis(sjis)));
  }
}

// Encoded words written by us are read by Python's email.header, and words
// written by Python are read by us.
TEST(JisTextTest, EncodedWordsAgreeWithPythonEmailHeader) {
  REQUIRE_OR_SKIP(basetest::HaveTool("/usr/bin/python3"), "python3 not installed");
  const char* script = R"(
import sys
from email.header import Header, decode_header
texts = ['日本語の件名です。長いテキストをエンコードします。さらに長く続けて、折り返しを起こします。',
         'ASCII and 漢字 mixed']
for t in texts:
    print(t.encode('shift_jis').hex(), Header(t, 'iso-2022-jp').encode(linesep='\r\n').encode().hex())
for arg in sys.argv[1:]:
    s = bytes.fromhex(arg).decode('ascii').replace('\r\n', '')
    print(''.join(p.decode(cs or 'ascii') if isinstance(p, bytes) else p for p, cs in decode_header(s)).encode('shift_jis').hex())
)";
  std::vector<std::string> first = basetest::Python(script);
  ASSERT_EQ(2u, first.size());
  std::vector<std::string> args;
  std::vector<std::string> sjisTexts;
  for (const std::string& line : first) {
    const std::string sjis = basetest::Unhex(line.substr(0, line.find(' ')));
    const std::string words = basetest::Unhex(line.substr(line.find(' ') + 1));
    sjisTexts.push_back(sjis);
    JisText decoded;
    ASSERT_EQ(0, decoded.SetDecodedWords(words.c_str()));
    EXPECT_EQ(basetest::Hex(sjis), basetest::Hex(Str(decoded))) << words;
    for (int wrap : {0, 1}) {
      JisText word;
      ASSERT_EQ(0, word.AppendIsoJpEncodedWord(sjis.c_str(), wrap));
      args.push_back(basetest::Hex(Str(word)));
    }
  }
  std::vector<std::string> back = basetest::Python(script, args);
  ASSERT_EQ(2u + args.size(), back.size());
  for (size_t i = 0; i < args.size(); ++i) {
    EXPECT_EQ(basetest::Hex(sjisTexts[i / 2]), back[2 + i]) << basetest::Unhex(args[i]);
  }
}

TEST(JisTextTest, DecodedWordsCases) {
  const std::pair<std::string, std::string> cases[] = {
      {"=?iso-2022-jp?B?GyRCRnwbKEI=?=", "\x93\xFA"},
      {"=?ISO-2022-JP?Q?=1B$BF|=1B(B?=", "\x93\xFA"},
      {"a =?ISO-2022-JP?B?GyRCRnwbKEI=?= =?ISO-2022-JP?B?GyRCRnwbKEI=?= b", "a \x93\xFA\x93\xFA b"},
      {"=?UTF-8?B?YQ==?=", "=?UTF-8?B?YQ==?="},  // another charset is copied as it is
      {"=?ISO-2022-JP?X?abc?=z", "z"},
      {"=?ISO-2022-JP?B?GyRC", "=?ISO-2022-JP?B?GyRC"},
      {"=?ISO-2022-J", "=?ISO-2022-J"},
  };
  for (const auto& [in, out] : cases) {
    SCOPED_TRACE(in);
    JisText j;
    EXPECT_EQ(0, j.Set("x"));
    ASSERT_EQ(0, j.SetDecodedWords(in.c_str()));
    EXPECT_EQ(basetest::Hex(out), basetest::Hex(Str(j)));
  }
  JisText h;
  ASSERT_EQ(0, h.SetDecodedHeader("=?UTF-8?B?YQ==?= =?UTF-8?B?Yg==?="));
  ASSERT_EQ(0, h.AppendDecodedHeader(" c"));
  EXPECT_EQ("ab c", Str(h));
}

TEST(JisTextTest, ParametersAndFoldedValues) {
  JisText p;
  ASSERT_EQ(0, p.AppendParameter("name", "file.txt", 8, 0, nullptr));
  EXPECT_EQ(" name=\"file.txt\"", Str(p));
  p.Clear();
  ASSERT_EQ(0, p.AppendParameter("name", "caf\xE9", 4, 0, "ISO-8859-1"));
  EXPECT_EQ(" name=\"=?ISO-8859-1?B?Y2Fm6Q==?=\"", Str(p));

  std::string kanji;
  for (int i = 0; i < 30; ++i) kanji += "\x93\xFA";
  p.Clear();
  ASSERT_EQ(0, p.AppendParameter("filename", kanji.c_str(), 60, 1, nullptr));
  JisText first;
  JisText second;
  EXPECT_EQ(0, first.AppendIsoJpEncodedWord(kanji.substr(0, 36).c_str(), 0));
  EXPECT_EQ(0, second.AppendIsoJpEncodedWord(kanji.substr(36).c_str(), 1));
  EXPECT_EQ("\r\n\tfilename=\"" + Str(first) + "\r\n\t" + Str(second) + "\"", Str(p));

  // Folded values decode back to the text they were made from.
  const std::string value = "Re: \x93\xFA\x96\x7B\x8C\xEA \"\x93\xFA\x96\x7B\" and plain, words here " + kanji;
  for (int width : {40, 76}) {
    HeaderText words;
    ASSERT_EQ(0, JisHeaderEncoder::EncodeWords(words, value.c_str(), width, 1, nullptr));
    HeaderText folded;
    ASSERT_EQ(0, JisHeaderEncoder::EncodeFolded(folded, value.c_str(), width, 1, nullptr));
    for (const HeaderText* h : {&words, &folded}) {
      std::string flat = Str(*h);
      EXPECT_EQ(std::string::npos, flat.find_first_of("\x80\x93")) << flat;
      for (size_t at; (at = flat.find("\r\n")) != std::string::npos;) flat.erase(at, 2);
      JisText back;
      ASSERT_EQ(0, back.SetDecodedWords(flat.c_str()));
      EXPECT_NE(std::string::npos, Str(back).find(kanji)) << Str(*h);
    }
  }
  // The line limit is width - 50 from width 51 on, else 10: a longer word is
  // cut after the limit.
  JisText kanjiWord;
  EXPECT_EQ(0, kanjiWord.AppendIsoJpEncodedWord("\x93\xFA", 1));
  for (const auto& [width, limit] : {std::pair{76, 26}, std::pair{40, 10}, std::pair{50, 10}, std::pair{53, 3}}) {
    SCOPED_TRACE(width);
    HeaderText cut;
    const std::string letters(limit + 4, 'a');
    ASSERT_EQ(0, JisHeaderEncoder::EncodeFolded(cut, ("\x93\xFA " + letters).c_str(), width, 1, nullptr));
    EXPECT_EQ(Str(kanjiWord) + " " + std::string(limit, 'a') + "\r\n\t" + "aaaa", Str(cut));
  }
  HeaderText plain;
  ASSERT_EQ(0, JisHeaderEncoder::EncodeFolded(plain, "aaa bbb ccc", 5, 1, "UTF-8"));
  EXPECT_EQ("aaa bbb\r\n ccc", Str(plain));
}

}  // namespace
