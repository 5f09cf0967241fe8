#include <gtest/gtest.h>
#include <sys/mman.h>

#include <climits>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "ToolRunner.h"
#include "core/text/EncodedWordCodec.h"
#include "core/text/HeaderText.h"

using tornell::ByteString;
using tornell::EncodedWordCodec;
using tornell::HeaderText;

namespace {

std::string Str(const ByteString& s) { return std::string(s.Data(), s.Length()); }

TEST(HeaderTextTest, SplitField) {
  struct Case {
    std::string line;
    const char* name;
    const char* value;
  };
  const Case cases[] = {
      {"Content-Type:   text/html", "Content-Type", "text/html"},
      {"Name:", "Name", ""},
      {"NoColon", "NoColon", ""},
      {" more text", "", "more text"},
      {"\tx: y", "", "x: y"},
      {"\xE9t\xE9: v", "", "t\xE9: v"},  // a byte above 0x7F starts a continuation too
      {"A\"b:c\"d: v \t", "A\"b:c\"d", "v \t"},
      {"K:\t \tv:w", "K", "v:w"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    HeaderText h;
    EXPECT_EQ(0, h.Set(c.line.data(), static_cast<int>(c.line.size())));
    const char* value = h.SplitField();
    ASSERT_NE(nullptr, value);
    EXPECT_STREQ(c.name, h.CStr());
    EXPECT_STREQ(c.value, value);
    EXPECT_EQ(static_cast<int>(c.line.size()), h.Length());
  }
  HeaderText empty;
  EXPECT_EQ(nullptr, empty.SplitField());
  EXPECT_EQ(0, HeaderText::HasEightBitBytes("abc"));
  EXPECT_EQ(1, HeaderText::HasEightBitBytes("ab\xC3\xA9"));
  EXPECT_EQ(0, HeaderText::HasEightBitBytes("\xC3", 0));
  EXPECT_EQ(0, HeaderText::HasEightBitBytes(nullptr));
}

TEST(HeaderTextTest, PlainFoldUnfoldAndDotStuffing) {
  struct FoldCase {
    std::string in;
    int width;
    std::string out;
  };
  const FoldCase folds[] = {
      {"aaa bbb ccc", 5, "aaa bbb\r\n ccc"},
      {"aaa bbb ccc", 4, "aaa\r\n bbb\r\n ccc"},
      {"aaa bbb ccc", 0, "aaa bbb ccc"},
      {"aaa\r\nbbb", 0, "aaa\r\nbbb"},
      {"a\rb\nc", 10, "a b c"},
      {"aaaa ", 4, "aaaa"},  // a blank that is the last byte at a fold point is dropped
      {"ab\ncd ef", 2, "ab\r\n cd\r\n ef"},
  };
  for (const FoldCase& c : folds) {
    SCOPED_TRACE(c.in + " / " + std::to_string(c.width));
    HeaderText h;
    ASSERT_EQ(0, h.FoldPlain(c.in.data(), static_cast<int>(c.in.size()), c.width));
    EXPECT_EQ(c.out, Str(h));
    // With a charset but 7-bit text, folding is the plain fold.
    ASSERT_EQ(0, h.Fold(c.in.data(), static_cast<int>(c.in.size()), c.width, "UTF-8"));
    EXPECT_EQ(c.out, Str(h));
  }

  const std::pair<std::string, std::string> unfolds[] = {
      {"Subject: a\r\n =?UTF-8?B?Yg==?=", "Subject: a b"},
      {"a\r\n  b", "a b"},
      {"a\r\nb", "a\nb"},
      {"a\r\n ", "a"},
      {"a\r\n\r\n b", "a\n\r\n b"},  // the byte after a fold is never a fold itself
      {"a\rb\n", "a\rb\n"},
  };
  for (const auto& [in, out] : unfolds) {
    SCOPED_TRACE(in);
    HeaderText h;
    ASSERT_EQ(0, h.Unfold(in.data(), static_cast<int>(in.size())));
    EXPECT_EQ(out, Str(h));
  }

  HeaderText d;
  EXPECT_EQ(0, d.Set("x"));
  ASSERT_EQ(0, d.AppendDotStuffed(".a\n.b\nc.\n..\n"));
  EXPECT_EQ("x..a\n..b\nc.\n...\n", Str(d));
  EXPECT_EQ(3, HeaderText::CountLineStartDots(".a\n.b\nc.\n..\n", 11));
  ASSERT_EQ(0, d.SetDotStuffed("\n."));
  EXPECT_EQ("\n..", Str(d));
}

TEST(HeaderTextTest, DecodeWordsAndHeaders) {
  const std::pair<std::string, std::string> words[] = {
      {"=?UTF-8?Q?a_b=3Dc?=", "a b=c"},
      {"=?UTF-8?b?YWJj?=", "abc"},
      {"=?UTF-8?X?abc?=", "=?UTF-8?X?abc?="},
      {"=?UTF-8?B?=", "=?UTF-8?B?="},  // too short to hold a text
      {"=?UTF-8?B?" "?=", ""},
      {"x=?UTF-8?B?YQ==?=", "x=?UTF-8?B?YQ==?="},
  };
  for (const auto& [in, out] : words) {
    SCOPED_TRACE(in);
    ByteString w;
    EXPECT_EQ(0, w.Set(in.c_str()));
    ASSERT_EQ(0, EncodedWordCodec::DecodeWord(w));
    EXPECT_EQ(out, Str(w));
  }
  const std::pair<std::string, std::string> headers[] = {
      {"=?UTF-8?B?YQ==?= =?UTF-8?B?Yg==?=", "ab"},
      {"=?UTF-8?B?YQ==?= x", "a x"},
      {"x =?broken", "x =?broken"},
      {"=?UTF-8?B?YQ==?=  ", "a"},
      {"=?UTF-8?B?YQ==?= =?x", "a =?x"},
      {"=?UTF-8?B?AGI=?=", std::string("\0b", 2)},
  };
  for (const auto& [in, out] : headers) {
    SCOPED_TRACE(in);
    ByteString h;
    EXPECT_EQ(0, h.Set(in.c_str()));
    ASSERT_EQ(0, EncodedWordCodec::DecodeHeader(h));
    EXPECT_EQ(out, Str(h));
  }
}

// UTF-8 and Latin-1 header values, both encoded by Python and folded by us,
// must decode to the same bytes that Python's email.header reads from them.
TEST(HeaderTextTest, EncodedWordsAgreeWithPythonEmailHeader) {
  REQUIRE_OR_SKIP(basetest::HaveTool("/usr/bin/python3"), "python3 not installed");
  const std::vector<std::string> texts = {
      "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln und \xC3\xBC" "berall sonst auf der Welt, eine lange Zeile mit vielen W\xC3\xB6rtern",
      "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE4\xBB\xB6\xE5\x90\x8D plain words here "
      "\xE3\x81\x95\xE3\x82\x89\xE3\x81\xAB\xE9\x95\xB7\xE3\x81\x8F\xE3\x81\xAA\xE3\x82\x8B\xE3\x83\x86\xE3\x82\xAD\xE3\x82\xB9\xE3\x83\x88"
      "\xE3\x82\x92\xE3\x82\xA8\xE3\x83\xB3\xE3\x82\xB3\xE3\x83\xBC\xE3\x83\x89 end",
      "caf\xC3\xA9 cr\xC3\xA8me br\xC3\xBBl\xC3\xA9" "e",
  };
  const char* script = R"(
import sys
from email.header import Header, decode_header
def joined(s):
    return b''.join(p if isinstance(p, bytes) else p.encode('latin-1') for p, _ in decode_header(s))
for arg in sys.argv[1:]:
    kind, data = arg.split(':')
    raw = bytes.fromhex(data)
    if kind == 'decode':
        print(joined(raw.decode('latin-1').replace('\r\n', '')).hex())
    else:
        for cs in ('utf-8', 'iso-8859-1'):
            try:
                enc = Header(raw.decode('utf-8'), cs).encode(linesep='\r\n')
            except UnicodeEncodeError:
                enc = Header(raw.decode('utf-8'), 'utf-8').encode(linesep='\r\n')
            print(enc.encode('latin-1').hex(), joined(enc).hex())
)";
  std::vector<std::string> args;
  std::vector<HeaderText> folded(texts.size() * 3);
  const int widths[] = {20, 40, 76};
  for (size_t i = 0; i < texts.size(); ++i) {
    args.push_back("encode:" + basetest::Hex(texts[i]));
    for (int w = 0; w < 3; ++w) {
      HeaderText& h = folded[i * 3 + w];
      ASSERT_EQ(0, h.Fold(texts[i].data(), static_cast<int>(texts[i].size()), widths[w], "UTF-8"));
      args.push_back("decode:" + basetest::Hex(Str(h)));
    }
  }
  std::vector<std::string> lines = basetest::Python(script, args);
  ASSERT_EQ(texts.size() * 5, lines.size());
  size_t at = 0;
  for (size_t i = 0; i < texts.size(); ++i) {
    SCOPED_TRACE(texts[i]);
    for (int k = 0; k < 2; ++k) {  // Python's own words, unfolded and decoded by us
      const std::string& line = lines[at++];
      const std::string encoded = basetest::Unhex(line.substr(0, line.find(' ')));
      HeaderText h;
      ASSERT_EQ(0, h.Unfold(encoded.data(), static_cast<int>(encoded.size())));
      EXPECT_EQ(basetest::Unhex(line.substr(line.find(' ') + 1)), Str(h));
    }
    for (int w = 0; w < 3; ++w) {  // our words, read by Python and by us
      const HeaderText& h = folded[i * 3 + w];
      EXPECT_EQ(texts[i], basetest::Unhex(lines[at++])) << Str(h);
      HeaderText back;
      ASSERT_EQ(0, back.Unfold(h.Data(), h.Length()));
      EXPECT_EQ(texts[i], Str(back));
      // Each encoded word carries at most 44 input bytes: 75 characters at most.
      size_t start = 0;
      for (size_t end; (end = Str(h).find("\r\n", start)) != std::string::npos; start = end + 3) {
        EXPECT_LE(end - start, 75u);
      }
    }
  }
}

TEST(HeaderTextTest, EncodedWordChunksAndLengthBound) {
  HeaderText h;
  const std::string data(100, '\xE9');
  ASSERT_EQ(0, h.AppendEncodedWords(data.data(), 100, "UTF-8"));
  // UTF-8 leaves room for 44 input bytes per word: 44 + 44 + 12.
  const std::string text = Str(h);
  std::vector<int> sizes;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find("\r\n ", start);
    if (end == std::string::npos) end = text.size();
    ByteString word;
    EXPECT_EQ(0, word.Set(text.data() + start, static_cast<int>(end - start)));
    ASSERT_EQ(0, EncodedWordCodec::DecodeWord(word));
    sizes.push_back(word.Length());
    start = end + 3;
  }
  EXPECT_EQ((std::vector<int>{44, 44, 12}), sizes);
  ByteString decoded;
  EXPECT_EQ(0, decoded.Set(h.Data(), h.Length()));
  ASSERT_EQ(0, EncodedWordCodec::DecodeHeader(decoded));
  EXPECT_EQ(data, Str(decoded));
  h.Clear();
  ASSERT_EQ(0, h.AppendEncodedWords("x", 1, nullptr));
  EXPECT_EQ("x", Str(h));

  // The length bounds the walk even when no NUL follows the bytes.
  const char unterminated[] = {'a', ' ', '\xE9', 'b', ' ', 'c'};
  ASSERT_EQ(0, h.Fold(unterminated, 3, 0, "UTF-8"));
  HeaderText back;
  ASSERT_EQ(0, back.Unfold(h.Data(), h.Length()));
  EXPECT_EQ("a \xE9", Str(back));
}

// Reserved address space that is never touched: the sizes below must be
// refused before a byte is read or a block is allocated.
class UntouchedSpan {
 public:
  explicit UntouchedSpan(size_t size) : size_(size) {
    void* at = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    data_ = at == MAP_FAILED ? nullptr : static_cast<const char*>(at);
  }
  ~UntouchedSpan() {
    if (data_ != nullptr) munmap(const_cast<char*>(data_), size_);
  }
  const char* Data() const { return data_; }

 private:
  size_t size_;
  const char* data_;
};

TEST(HeaderTextTest, OutputsLargerThanAStringAreRefused) {
  UntouchedSpan span(size_t{INT_MAX});
  REQUIRE_OR_SKIP(span.Data() != nullptr, "cannot reserve 2 GiB of address space");
  struct Case {
    int length;
    int width;
  };
  // Folding room is (length / width + 1) * 3 + length + 1, past INT_MAX here.
  const Case folds[] = {{1 << 29, 1}, {860000000, 2}, {INT_MAX, 100}, {INT_MAX - 1, 1 << 30}};
  for (const Case& c : folds) {
    SCOPED_TRACE(c.length);
    HeaderText h;
    ASSERT_EQ(0, h.Set("kept"));
    EXPECT_EQ(tornell::kStatusNoMemory, h.FoldPlain(span.Data(), c.length, c.width));
    EXPECT_EQ("kept", Str(h));
  }
  // Dot-stuffing appends: the held bytes count toward the limit.
  HeaderText h;
  ASSERT_EQ(0, h.Set("abc"));
  EXPECT_EQ(tornell::kStatusNoMemory, h.AppendDotStuffed(span.Data(), INT_MAX - 2));
  EXPECT_EQ("abc", Str(h));
}

}  // namespace
