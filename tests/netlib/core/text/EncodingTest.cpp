#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "TestText.h"
#include "core/text/ByteString.h"
#include "core/text/WideString.h"

using namespace tornell;

namespace {

std::string Str(const ByteString& s) { return std::string(s.Data(), s.Length()); }

std::string ToHex(const std::string& bytes) { return testsupport::HexOrDash(bytes); }

struct Request {
  std::string mode, data, extra;
};

// Runs the Python reference over all requests at once; one answer per request.
std::vector<std::string> AskPython(const std::vector<Request>& requests) {
  std::vector<std::string> lines;
  for (const Request& r : requests) {
    lines.push_back(r.mode + ' ' + ToHex(r.data));
    if (!r.extra.empty()) lines.back() += ' ' + ToHex(r.extra);
  }
  return testsupport::RunReferenceScript(std::string(CORE_TEST_DIR) + "/encoding_oracle.py", lines);
}

bool HavePython() { return testsupport::HaveTool("/usr/bin/python3"); }

std::string RandomBytes(std::mt19937& rng, int maxLength) {
  std::string out(static_cast<size_t>(rng() % static_cast<unsigned>(maxLength + 1)), '\0');
  for (char& c : out) c = static_cast<char>(rng());
  return out;
}

// UTF-16LE units, mostly valid: ASCII, BMP, proper pairs, now and then a
// lone or misordered surrogate and an odd trailing byte.
std::string RandomUtf16(std::mt19937& rng) {
  std::string out;
  int units = static_cast<int>(rng() % 24);
  auto put = [&](unsigned u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  };
  for (int i = 0; i < units; ++i) {
    switch (rng() % 8) {
      case 0: case 1: put(rng() % 0x80); break;
      case 2: put(0x80 + rng() % 0x780); break;
      case 3: case 4: { unsigned u = 0x800 + rng() % 0xF800; put(u >= 0xD800 && u < 0xE000 ? u - 0x800 : u); break; }
      case 5: put(0xD800 + rng() % 0x400); put(0xDC00 + rng() % 0x400); break;
      case 6: if (rng() % 6 == 0) put(0xD800 + rng() % 0x800); else put(rng() % 0x10000); break;
      default: put(0xFFFF - rng() % 4); break;
    }
  }
  if (rng() % 20 == 0) out.push_back('A');
  return out;
}

}  // namespace

TEST(Encoding, Base64Cases) {
  struct Case {
    const char* in;
    int urlSafe;
    const char* out;
  } encodeCases[] = {{"abc", 0, "YWJj"}, {"ab", 0, "YWI="}, {"a", 0, "YQ=="}, {"a", 1, "YQ"},
                     {"\xfb\xff", 0, "+/8="}, {"\xfb\xff", 1, "-_8"}};
  for (const Case& c : encodeCases) {
    ByteString s;
    EXPECT_EQ(s.AppendBase64(c.in, static_cast<int>(strlen(c.in)), 0, 64, c.urlSafe), 0);
    EXPECT_STREQ(s.Data(), c.out) << c.in;
  }
  ByteString url;
  EXPECT_EQ(0, url.AppendBase64Url("a", 1));
  EXPECT_STREQ(url.Data(), "YQ");

  std::string data(96, 'x');
  for (int lineLength : {64, 30}) {
    ByteString s;
    EXPECT_EQ(s.AppendBase64(data.data(), 96, 1, lineLength, 0), 0);
    EXPECT_EQ(s.Length(), 64 + 2 + 64) << lineLength;
    EXPECT_EQ(s.Find("\r\n"), 64);
    EXPECT_FALSE(s.EndsWith("\r\n"));
  }
  ByteString noWrap;
  EXPECT_EQ(noWrap.AppendBase64(data.data(), 96, 1, 0, 0), 0);  // line length 0: no breaks
  EXPECT_EQ(noWrap.Length(), 128);

  struct DecodeCase {
    const char* in;
    int urlSafe;
    std::string out;
  } decodeCases[] = {
      {"YW Jj\r\n", 0, "abc"}, {"YQ==", 0, "a"}, {"YWI", 0, "ab"}, {"Y=", 0, "\x60"}, {"Y", 0, ""},
      {"-_8", 1, "\xfb\xff"},  {"+/-_8", 1, "\xfb\xff"}, {"YWJj=YWJj", 0, "abc"}, {"", 0, ""},
      {"*Y*W*J*j*", 0, "abc"},
  };
  for (const DecodeCase& c : decodeCases) {
    ByteString s(c.in);
    EXPECT_EQ(s.Base64Decode(c.urlSafe), 0);
    EXPECT_EQ(Str(s), c.out) << c.in;
  }
  ByteString withNul;
  EXPECT_EQ(0, withNul.Set("YWJj\0YWJj", 9));  // the content is read as a C string
  EXPECT_EQ(0, withNul.Base64Decode(0));
  EXPECT_EQ(Str(withNul), "abc");
}

TEST(Encoding, HexCases) {
  ByteString s;
  EXPECT_EQ(s.AppendHex("\x00\xab\xFF", 3), 0);
  EXPECT_STREQ(s.Data(), "00abff");
  struct Case {
    const char* in;
    std::string out;
  } cases[] = {{"4a4B", "\x4a\x4b"}, {"4g", "\xff"}, {"abc", "\xab\xff"}, {"", ""}, {"zz00", std::string("\xff\x00", 2)}};
  for (const Case& c : cases) {
    ByteString h;
    EXPECT_EQ(h.AppendFromHex(c.in), 0);
    EXPECT_EQ(Str(h), c.out) << c.in;
  }
  EXPECT_EQ(ByteString::HexPairValue("fF"), 255);
  EXPECT_EQ(ByteString::HexPairValue("f"), -1);
  EXPECT_EQ(ByteString::HexPairValue("g0"), -1);
}

TEST(Encoding, Utf16Cases) {
  struct Case {
    std::string in;
    int status;
    std::string out;
  } cases[] = {
      {std::string("\x41\x00\xE9\x00\xAC\x20", 6), 0, "A\xC3\xA9\xE2\x82\xAC"},
      {std::string("\x3D\xD8\x00\xDE", 4), 0, "\xF0\x9F\x98\x80"},
      {std::string("\x00\xDC", 2), 434, std::string("\x00\xDC", 2)},
      {std::string("\x3D\xD8", 2), 434, std::string("\x3D\xD8", 2)},
      {std::string("\x3D\xD8\x41\x00", 4), 434, std::string("\x3D\xD8\x41\x00", 4)},
      {std::string("\x41\x00\x42", 3), 434, std::string("\x41\x00\x42", 3)},
      {"", 0, ""},
  };
  for (const Case& c : cases) {
    ByteString s;
    EXPECT_EQ(0, s.Set(c.in.data(), static_cast<int>(c.in.size())));
    EXPECT_EQ(s.Utf16LeToUtf8(), c.status) << ToHex(c.in);
    EXPECT_EQ(Str(s), c.out) << ToHex(c.in);
  }
  ByteString be;
  EXPECT_EQ(0, be.Set("\x00\x41\x20\xAC", 4));
  EXPECT_EQ(be.Utf16BeToUtf8(), 0);
  EXPECT_EQ(Str(be), "A\xE2\x82\xAC");
  ByteString odd("abc");
  EXPECT_EQ(odd.SwapBytePairs(), 0);
  EXPECT_STREQ(odd.Data(), "abc");

  int count = -1;
  EXPECT_EQ(ByteString::ConvertUtf16LeToUtf8(nullptr, &count, "\xE9\x00\x41\x00\x00\xDC", 6), 0);
  EXPECT_EQ(count, 3);  // what was produced before the lone low surrogate
}

TEST(Encoding, QuotedPrintableUrlAndDump) {
  struct Case {
    const char* in;
    const char* out;
  } qp[] = {{"a=3Db=3d", "a=b="}, {"x=ZZy", "x=ZZy"}, {"end=", "end"}, {"soft=\r\nbreak", "soft=\r\nbreak"},
            {"=4", "=4"}, {"=E9t=E9", "\xE9t\xE9"}};
  for (const Case& c : qp) {
    ByteString s(c.in);
    EXPECT_EQ(s.QuotedPrintableDecode(), 0);
    EXPECT_STREQ(s.Data(), c.out) << c.in;
  }

  unsigned char letters[96] = {};
  for (int c = 'A'; c <= 'Z'; ++c) letters[c - 32] = letters[c + 32 - 32] = 1;
  ByteString url;
  EXPECT_EQ(url.AppendUrlEncoded("a b\xC3\x7F~", letters), 0);
  EXPECT_STREQ(url.Data(), "a%20b%C3%7F%7E");

  std::string bytes;
  for (int i = 0; i < 17; ++i) bytes.push_back(static_cast<char>(0x30 + i * 5));
  ByteString dump;
  EXPECT_EQ(dump.AppendHexDump(bytes.data(), 17), 0);
  const std::string first =
      "00000000  30 35 3A 3F 44 49 4E 53 58 5D 62 67 6C 71 76 7B    05:?DINSX]bglqv{";
  const std::string second = "00000010  80" + std::string(46, ' ') + "   ." + std::string(15, ' ');
  EXPECT_EQ(Str(dump), first + "\r\n" + second);
  ByteString none;
  EXPECT_EQ(none.AppendHexDump(nullptr, 5), 0);
  EXPECT_EQ(none.AppendHexDump("", 0), 0);
  EXPECT_EQ(none.Length(), 0);
}

TEST(Encoding, FormattingIsExactSize) {
  ByteString s;
  EXPECT_EQ(s.AppendInt(static_cast<long>(4294967297LL)), 0);
  EXPECT_STREQ(s.Data(), "1");
  s.Clear();
  EXPECT_EQ(0, s.AppendHexInt(255));
  EXPECT_EQ(0, s.AppendByte(' '));
  EXPECT_EQ(0, s.AppendUInt(4000000000u));
  EXPECT_EQ(0, s.AppendByte(' '));
  EXPECT_EQ(0, s.AppendInt64(-9000000000LL));
  EXPECT_STREQ(s.Data(), "0xff 4000000000 -9000000000");

  // Far past any fixed work area: nothing cut, nothing overrun.
  std::string longText(5000, 'w');
  EXPECT_EQ(s.Format("[%s|%d]", longText.c_str(), 7), 0);
  EXPECT_EQ(Str(s), "[" + longText + "|7]");
  // Formatting the string's own content into itself.
  EXPECT_EQ(s.AppendFormat("%s", s.Data()), 0);
  EXPECT_EQ(s.Length(), 2 * 5004);
  EXPECT_EQ(s.Format("%s-%s", s.Data(), "x"), 0);
  EXPECT_EQ(s.Length(), 2 * 5004 + 2);

  char buffer[40];
  EXPECT_EQ(ByteString::FormatInt64(buffer, 40, INT64_MIN), 0);
  EXPECT_STREQ(buffer, "-9223372036854775808");
}

TEST(Encoding, WideString) {
  WideString w;
  EXPECT_EQ(0, w.Set("Ab"));
  const char* wide = w.GetUtf16(0);
  EXPECT_EQ(std::string(wide, 6), std::string("A\0b\0\0\0", 6));
  EXPECT_EQ(w.Utf16Length(), 4);
  WideString empty;
  const char* none = empty.GetUtf16(0);
  EXPECT_EQ(none[0], 0);  // an empty UTF-16 text: a whole zero unit
  EXPECT_EQ(none[1], 0);
  EXPECT_EQ(empty.SetUtf16FromNarrow("", 0), 434);
  EXPECT_EQ(empty.SetUtf16FromNarrow(nullptr, 0), 434);
  EXPECT_EQ(empty.SetUtf16FromNarrow("hi", 0), 0);
  EXPECT_EQ(Str(empty.Text()), std::string("h\0i\0", 4));

  char out[8] = {};
  EXPECT_EQ(WideString::NarrowToUtf16(0, 0, "abc", 0, out, 0), 3);
  EXPECT_EQ(WideString::NarrowToUtf16(0, 0, "abc", 3, out, 2), 0);
  EXPECT_EQ(WideString::NarrowToUtf16(0, 0, "abc", -1, out, 4), 3);
  EXPECT_EQ(std::string(out, 6), std::string("a\0b\0c\0", 6));
}

TEST(Encoding, AgreesWithPythonOnRandomInputs) {
  REQUIRE_OR_SKIP(HavePython(), "needs /usr/bin/python3");
  std::mt19937 rng(4648);
  std::vector<Request> requests;
  const int kPerMode = 150;
  const std::string urlSafeChoices = "!$&'()*+,/:;=?@[]";
  for (int i = 0; i < kPerMode; ++i) {
    std::string data = RandomBytes(rng, 200);
    requests.push_back({"b64", data, ""});
    requests.push_back({"b64url", data, ""});
    requests.push_back({"b64wrap", data, std::to_string(4 * (1 + rng() % 20))});
    requests.push_back({"hex", data, ""});
    requests.push_back({"utf16", RandomUtf16(rng), ""});
    // Quoted-printable text for the bytes: printable bytes stay or are
    // escaped at random, the rest always escaped, in either digit case.
    std::string qp;
    for (unsigned char c : data) {
      if (c > 0x20 && c < 0x7F && c != '=' && rng() % 2) {
        qp.push_back(static_cast<char>(c));
      } else {
        char escape[4];
        std::snprintf(escape, sizeof escape, rng() % 2 ? "=%02X" : "=%02x", c);
        qp += escape;
      }
    }
    requests.push_back({"qp", qp, ""});
    std::string text;
    for (char c : RandomBytes(rng, 60)) text.push_back(c == 0 ? 'z' : c);
    std::string safe;
    for (char c : urlSafeChoices) if (rng() % 2) safe.push_back(c);
    requests.push_back({"url", text, safe.empty() ? std::string("/") : safe});
  }
  std::vector<std::string> answers = AskPython(requests);
  ASSERT_EQ(answers.size(), requests.size()) << "the reference script did not answer every request";

  int checked = 0;
  for (size_t i = 0; i < requests.size(); ++i) {
    const Request& r = requests[i];
    const std::string& want = answers[i];
    ByteString s;
    std::string got;
    if (r.mode == "b64" || r.mode == "b64url" || r.mode == "b64wrap") {
      const int lineLength = r.mode == "b64wrap" ? std::atoi(r.extra.c_str()) : 64;
      EXPECT_EQ(0, s.AppendBase64(r.data.data(), static_cast<int>(r.data.size()), r.mode == "b64wrap", lineLength,
                     r.mode == "b64url"));
      got = ToHex(Str(s));
      // Python's encoding, with line breaks and blanks strewn in, decodes back.
      ByteString back;
      EXPECT_EQ(0, back.AppendFromHex(want == "-" ? "" : want.c_str()));
      std::string noisy;
      for (char c : Str(back)) {
        if (rng() % 7 == 0) noisy += (rng() % 2) ? "\r\n" : " \t";
        noisy.push_back(c);
      }
      ByteString decoded(noisy.c_str());
      EXPECT_EQ(0, decoded.Base64Decode(r.mode == "b64url"));
      EXPECT_EQ(Str(decoded), r.data) << r.mode << " decode of " << noisy;
    } else if (r.mode == "hex") {
      EXPECT_EQ(0, s.AppendHex(r.data.data(), static_cast<int>(r.data.size())));
      got = ToHex(Str(s));
    } else if (r.mode == "utf16") {
      EXPECT_EQ(0, s.Set(r.data.data(), static_cast<int>(r.data.size())));
      got = s.Utf16LeToUtf8() == 0 ? ToHex(Str(s)) : "ERR";
    } else if (r.mode == "qp") {
      EXPECT_EQ(0, s.Set(r.data.c_str()));
      EXPECT_EQ(0, s.QuotedPrintableDecode());
      got = ToHex(Str(s));
    } else {
      unsigned char table[96] = {};
      const std::string plain = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_.-~" + r.extra;
      for (unsigned char c : plain) table[c - 32] = 1;
      EXPECT_EQ(0, s.AppendUrlEncoded(r.data.c_str(), table));
      got = ToHex(Str(s));
    }
    EXPECT_EQ(got, want) << r.mode << " of " << ToHex(r.data);
    ++checked;
  }
  EXPECT_EQ(checked, kPerMode * 7);
}
