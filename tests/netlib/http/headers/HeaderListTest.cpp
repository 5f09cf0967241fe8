// Response header list, the caller's header text, chunk framing and what the
// log shows of the traffic.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http/base/HttpStatus.h"
#include "http/headers/HeaderText.h"
#include "http/headers/HttpHeaderList.h"
#include "http/headers/HttpLog.h"

using namespace tornell;

namespace {

std::string Text(const ByteString& s) { return std::string(s.Data(), s.Length()); }

TEST(HttpHeaderList, PairsContinuationAndLookup) {
  HttpHeaderList list;
  EXPECT_EQ(list.Add("", "lost"), 0);  // a continuation with nothing to continue
  EXPECT_EQ(list.Count(), 0);
  ASSERT_EQ(list.Add("X-A", "1"), 0);
  ASSERT_EQ(list.Add("", "2"), 0);
  ASSERT_EQ(list.Add("Set-Cookie", ""), 0);
  ASSERT_EQ(list.Add("", "b=2"), 0);  // no blank after an empty value
  ASSERT_EQ(list.Add("x-a", "second"), 0);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_STREQ(list.Name(0), "X-A");
  EXPECT_STREQ(list.Value(0), "1 2");
  EXPECT_STREQ(list.Value(1), "b=2");
  EXPECT_STREQ(list.Find("x-A"), "1 2");  // first match, case ignored
  EXPECT_STREQ(list.Find("Missing"), "");
  EXPECT_STREQ(list.Name(5), "");
  EXPECT_STREQ(list.Value(-1), "");
  EXPECT_EQ(list.CheckIndex(2), 0);
  EXPECT_EQ(list.CheckIndex(3), kStatusIndexRange);
  EXPECT_EQ(list.CheckIndex(-1), kStatusIndexRange);
  ASSERT_EQ(list.Clear(), 0);
  EXPECT_EQ(list.Count(), 0);
}

TEST(HeaderText, EnsureCrLf) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"A: 1\r\n\r\n", "A: 1\r\n"}, {"A: 1", "A: 1\r\n"},     {"A: 1\n\n", "A: 1\n\r\n"},
      {"", "\r\n"},                 {"A: 1\r\n", "A: 1\r\n"}, {"A\r\n\n", "A\r\n\r\n"},
      {"A\r", "A\r\r\n"},
  };
  for (const auto& c : cases) {
    ByteString text(c.in);
    ASSERT_EQ(http::EnsureCrLf(text), 0);
    EXPECT_EQ(Text(text), c.out) << c.in;
  }
}

TEST(HeaderText, ChunkFraming) {
  const struct {
    long long length;
    const char* line;
  } cases[] = {{26, "1a\r\n"}, {0, "0\r\n"}, {16384, "4000\r\n"}, {0x7fffffffffLL, "7fffffffff\r\n"}};
  for (const auto& c : cases) {
    ByteString out;
    ASSERT_EQ(http::AppendChunkHeader(out, c.length), 0);
    EXPECT_EQ(Text(out), c.line);
  }
  EXPECT_STREQ(http::kChunkTrailer, "\r\n");
  EXPECT_STREQ(http::kLastChunk, "0\r\n\r\n");
}

TEST(HeaderText, HeaderValueCheck) {
  const struct {
    std::string value;
    int status;
  } cases[] = {{"text/plain", 0},
               {"a\r\nX-Injected: 1", kHttpStatusInvalidValue},
               {"a\nb", kHttpStatusInvalidValue},
               {"a\rb", kHttpStatusInvalidValue},
               {std::string("a\0b", 3), kHttpStatusInvalidValue},
               {"tab\tand 8bit \xe9", 0}};
  for (const auto& c : cases) {
    ByteString error;
    EXPECT_EQ(http::CheckHeaderValue(c.value.data(), static_cast<int>(c.value.size()), &error), c.status);
    EXPECT_EQ(Text(error), c.status ? "Invalid character in header value." : "");
  }
}

TEST(HeaderText, CredentialHeadersStayWithTheirOrigin) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"X-A: 1\r\nAuthorization: Bearer t\r\nCookie: a=1\r\nX-B: 2\r\n", "X-A: 1\r\nX-B: 2\r\n"},
      {"authorization : x\r\n  folded\r\nX-C: 3", "X-C: 3"},
      {"X-Authorization: kept\r\nCookies: kept\r\n", "X-Authorization: kept\r\nCookies: kept\r\n"},
      {"COOKIE: b=2", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    ByteString out;
    ASSERT_EQ(http::StripCredentialHeaders(c.in, static_cast<int>(std::string(c.in).size()), out), 0);
    EXPECT_EQ(Text(out), c.out) << c.in;
  }
}

TEST(HeaderText, EscapeControl) {
  const struct {
    std::string in;
    const char* out;
  } cases[] = {{std::string("a\0b", 3), "a0x0b"},
               {"CONNECT h:443 HTTP/1.1\r\n", "CONNECT h:443 HTTP/1.1\r\n"},
               {"\x7f\x80\xff\t", "\x7f" "0x800xff0x9"},
               {"", ""}};
  for (const auto& c : cases) {
    ByteString out;
    ASSERT_EQ(http::EscapeControl(c.in.data(), static_cast<int>(c.in.size()), out), 0);
    EXPECT_EQ(Text(out), c.out);
  }
}

TEST(HeaderText, BasicCredentialsMasked) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"Proxy-Authorization: Basic dXNlcjpwYXNz\r\nHost: h\r\n",
       "Proxy-Authorization: Basic xxxxxxxxxxxx\r\nHost: h\r\n"},
      {"Authorization: basic YQ==", "Authorization: basic xxxx"},
      {"X-Basic stays: NotBasic token", "X-Basic stays: NotBasic token"},
      {"Authorization: Digest a=1", "Authorization: Digest a=1"},
  };
  for (const auto& c : cases) {
    ByteString text(c.in);
    ASSERT_EQ(http::MaskBasicCredentials(text), 0);
    EXPECT_EQ(Text(text), c.out);
  }
}

struct Line {
  int level;
  std::string message, type;
};

class RecordingSink : public HttpLogSink {
 public:
  int FireLog(int level, const char* message, const char* type) override {
    lines.push_back({level, message, type});
    return 0;
  }
  std::vector<Line> lines;
};

TEST(HttpLog, LevelsTypesAndMasking) {
  RecordingSink sink;
  HttpLog log(&sink);
  EXPECT_EQ(log.Level(), 1);
  ASSERT_EQ(log.Log2("URL: ", "http://h/", "Info"), 0);  // above the default level
  ASSERT_EQ(log.LogBody("body", 4, "ResponseBody"), 0);
  static const char request[] = "CONNECT h:443 HTTP/1.1\r\nProxy-Authorization: Basic dTpw\r\n\0";
  ASSERT_EQ(log.LogProxyRequest(request, sizeof request - 1), 0);
  ASSERT_EQ(log.LogProxyResponse("HTTP/1.1 200 OK\r\n\r\n", 19), 0);
  ASSERT_EQ(sink.lines.size(), 2u);
  EXPECT_EQ(sink.lines[0].level, 1);
  EXPECT_EQ(sink.lines[0].type, "FirewallRequest");
  EXPECT_EQ(sink.lines[0].message,
            "CONNECT h:443 HTTP/1.1\r\nProxy-Authorization: Basic xxxx\r\n0x0");
  EXPECT_EQ(sink.lines[1].type, "FirewallResponse");

  sink.lines.clear();
  log.SetLevel(2);
  ASSERT_EQ(log.Log2("URL: ", "http://h/", "Info"), 0);
  ASSERT_EQ(log.LogBody("body", 4, "ResponseBody"), 0);
  ASSERT_EQ(log.Log3("Authorization: Basic YQ==", "RequestHeaders"), 0);  // level 3: not shown
  ASSERT_EQ(sink.lines.size(), 2u);
  EXPECT_EQ(sink.lines[0].message, "URL: http://h/");
  EXPECT_EQ(sink.lines[1].level, 3);
  EXPECT_EQ(sink.lines[1].message, "body");

  sink.lines.clear();
  log.SetLevel(3);
  ASSERT_EQ(log.Log3("Authorization: Basic YQ==", "RequestHeaders"), 0);
  ASSERT_EQ(log.Log1("Response: ", "HTTP/1.1 200 OK", "Info"), 0);
  ASSERT_EQ(sink.lines.size(), 2u);
  EXPECT_EQ(sink.lines[0].message, "Authorization: Basic xxxx");
  EXPECT_EQ(sink.lines[1].message, "Response: HTTP/1.1 200 OK");

  sink.lines.clear();
  log.SetLevel(0);
  ASSERT_EQ(log.LogProxyRequest("x", 1), 0);
  EXPECT_TRUE(sink.lines.empty());
}

}  // namespace
