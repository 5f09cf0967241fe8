// URL splitting, redirect resolution and the state a new target leaves; the
// percent-encoding checked against Python's urllib.parse.quote.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "TestText.h"
#include "http/base/HttpStatus.h"
#include "http/url/UrlSplit.h"
#include "http/url/UrlTarget.h"

using namespace tornell;

namespace {

template <int N>
std::string Text(const InlineString<N>& s) {
  return std::string(s.Data(), s.Length());
}

struct Case {
  const char* base;  // caller's URL set first; nullptr for none
  const char* url;
  int redirect;
  int encodeUrl, encodeQuery;
  int status;
  const char* scheme;
  const char* host;
  int port;
  const char* path;
};

TEST(UrlTarget, SplitAndRedirectTable) {
  const Case cases[] = {
      {nullptr, "http://user:pw@host:8080/a", 0, 0, 1, 0, "http", "host", 8080, "/a"},
      {nullptr, "https://[::1]:8443/x", 0, 0, 1, 0, "https", "::1", 8443, "/x"},
      {nullptr, "https://h", 0, 0, 1, 0, "https", "h", 443, "/"},
      {nullptr, "http://host?q=1", 0, 0, 1, 0, "http", "host", 80, "/?q=1"},
      {nullptr, "host.example/p", 0, 0, 1, 0, "http", "host.example", 80, "/p"},
      {"http://h/x/y", "b", 1, 0, 1, 0, "http", "h", 80, "/x/b"},
      {"http://h/x/y", "./b", 1, 0, 1, 0, "http", "h", 80, "/x/b"},
      {"http://h/x/y", "/z", 1, 0, 1, 0, "http", "h", 80, "/z"},
      {"http://h/x/y", "https://other:8443/p?q", 1, 0, 1, 0, "https", "other", 8443, "/p?q"},
      {"http://h:81/x/y", "http://other/p", 1, 0, 1, 0, "http", "other", 80, "/p"},
      {nullptr, "http://h/a b", 0, 1, 1, 0, "http", "h", 80, "/a%20b"},
      {nullptr, "http://h/p?a/b=c", 0, 1, 1, 0, "http", "h", 80, "/p?a%2Fb=c"},
      {nullptr, "http://h/p?a/b=c", 0, 1, 0, 0, "http", "h", 80, "/p?a/b=c"},
      {nullptr, "http://h/p?a/b=c", 0, 0, 1, 0, "http", "h", 80, "/p?a/b=c"},
      {nullptr, "http://h/p?", 0, 0, 1, 0, "http", "h", 80, "/p?"},
      {nullptr, "http://h/p?", 0, 1, 1, 0, "http", "h", 80, "/p"},
      // Blanks and line ends never reach the request line.
      {nullptr, "http://h/a b", 0, 0, 1, 0, "http", "h", 80, "/a%20b"},
      {"http://h/x", "/a\r\nX: 1", 1, 0, 1, 0, "http", "h", 80, "/a%0D%0AX:%201"},
      {nullptr, "http://h/q?a=\x7f\x01", 0, 0, 1, 0, "http", "h", 80, "/q?a=%7F%01"},
      // The fragment stays with the client.
      {"http://h/x", "/page#top", 1, 0, 1, 0, "http", "h", 80, "/page"},
      {nullptr, "http://h/p?q=1#frag", 0, 0, 1, 0, "http", "h", 80, "/p?q=1"},
      // A colon behind '/' or '?' starts no scheme; the base query is dropped.
      {"http://h/x/y", "next?u=a:b", 1, 0, 1, 0, "http", "h", 80, "/x/next?u=a:b"},
      {"http://h/x/y?q=1/2", "b", 1, 0, 1, 0, "http", "h", 80, "/x/b"},
      {"http://h/x/y", "//other/p", 1, 0, 1, 0, "http", "other", 80, "/p"},
      // A host or port that would corrupt the request is refused.
      {nullptr, "http://ho st/", 0, 0, 1, kHttpStatusInvalidValue, "http", "", 80, ""},
      {nullptr, "http://h\x7f/", 0, 0, 1, kHttpStatusInvalidValue, "http", "", 80, ""},
      {nullptr, "http://h:99999/", 0, 0, 1, kHttpStatusInvalidValue, "http", "", 80, ""},
      {nullptr, "http://h:8x/", 0, 0, 1, kHttpStatusInvalidValue, "http", "", 80, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.base ? c.base : "-") + " -> " + c.url);
    UrlTarget target;
    target.encoding.encodeUrl = c.encodeUrl;
    target.encoding.encodeRedirectLocation = c.encodeUrl;
    target.encoding.encodeQueryString = c.encodeQuery;
    UrlChange change;
    if (c.base != nullptr) {
      ASSERT_EQ(target.SetURL(c.base, 0, change), 0);
    }
    ASSERT_EQ(target.SetURL(c.url, c.redirect, change), c.status);
    if (c.status != 0) {
      EXPECT_TRUE(change.closeConnection);
      EXPECT_FALSE(target.ErrorText().IsEmpty());
      continue;
    }
    EXPECT_EQ(Text(target.Scheme()), c.scheme);
    EXPECT_EQ(Text(target.Server()), c.host);
    EXPECT_EQ(target.Port(), c.port);
    EXPECT_EQ(Text(target.Path()), c.path);
  }
}

TEST(UrlTarget, CredentialsAndIpv6Flag) {
  UrlTarget target;
  UrlChange change;
  ASSERT_EQ(target.SetURL("http://user:pw@host:8080/a", 0, change), 0);
  EXPECT_EQ(Text(target.User()), "user");
  EXPECT_EQ(Text(target.Password()), "pw");
  EXPECT_FALSE(target.Ipv6Literal());
  ASSERT_EQ(target.SetURL("http://[fe80::1]:81/", 0, change), 0);
  EXPECT_TRUE(target.Ipv6Literal());
  EXPECT_EQ(Text(target.User()), "user");  // a URL without credentials keeps them
  ASSERT_EQ(target.SetURL("", 0, change), 0);
  EXPECT_EQ(Text(target.User()), "");
  EXPECT_EQ(Text(target.Scheme()), "http");
  EXPECT_EQ(Text(target.Url()), "");
}

TEST(UrlTarget, RedirectBudgetAndIdenticalLocation) {
  UrlTarget target;
  UrlChange change;
  ASSERT_EQ(target.SetURL("http://h/0", 0, change), 0);
  for (int i = 1; i <= 20; ++i) {
    ASSERT_EQ(target.SetURL(("/" + std::to_string(i)).c_str(), 1, change), 0) << i;
  }
  EXPECT_EQ(target.SetURL("/21", 1, change), kHttpStatusTooManyRedirects);
  EXPECT_EQ(Text(target.ErrorText()), "There were too many redirects.");
  EXPECT_TRUE(change.closeConnection);

  ASSERT_EQ(target.SetURL("http://h/a", 0, change), 0);  // the caller's URL renews the budget
  EXPECT_EQ(target.RedirectsLeft(), 20);
  EXPECT_EQ(target.SetURL("http://h/a", 1, change), kHttpStatusProtocolError);
  EXPECT_EQ(Text(target.ErrorText()), "Attempting to redirect to identical URL.  Aborting connection.");
  target.allowIdenticalRedirectUrl = 1;
  EXPECT_EQ(target.SetURL("http://h/a", 1, change), 0);
}

TEST(UrlTarget, RedirectToAnotherOriginLeavesCredentialsBehind) {
  const struct {
    int follow;
    const char* location;
    bool otherOrigin;
    const char* user;
  } cases[] = {
      {1, "/same", false, "u"},                 // same origin: all stays
      {1, "http://h:81/p", true, ""},           // another port
      {1, "https://h/p", true, ""},             // another scheme
      {1, "http://H/p", false, "u"},            // host case does not matter
      {1, "http://v:w@other/p", true, "v"},     // the Location's own credentials
      {2, "/same", false, ""},                  // not "always": empty credentials clear them
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.location);
    UrlTarget target;
    target.followRedirects = c.follow;
    UrlChange change;
    ASSERT_EQ(target.SetURL("http://u:p@h/start", 0, change), 0);
    EXPECT_TRUE(change.closeConnection);  // from no server to h
    EXPECT_FALSE(target.IsOtherOrigin());
    ASSERT_EQ(target.SetURL(c.location, 1, change), 0);
    EXPECT_EQ(Text(target.User()), c.user);
    EXPECT_EQ(change.closeConnection, c.otherOrigin);
    EXPECT_EQ(change.clearAuthorization, c.otherOrigin && std::string(c.user).empty());
    EXPECT_TRUE(change.resetAuthentication);
    EXPECT_EQ(target.IsOtherOrigin(), c.otherOrigin);
  }
}

TEST(UrlTarget, ServerChangesDropServerCookies) {
  const struct {
    const char* url;
    int redirect;
    bool drop;
  } cases[] = {
      {"http://h/other", 0, false}, {"http://h:81/", 0, true}, {"http://x/", 0, true},
      {"/p", 1, false},             {"http://x/", 1, true},    {"https://h/", 1, true},
  };
  for (const auto& c : cases) {
    UrlTarget target;
    UrlChange change;
    ASSERT_EQ(target.SetURL("http://h/", 0, change), 0);
    ASSERT_EQ(target.SetURL(c.url, c.redirect, change), 0);
    EXPECT_EQ(change.dropServerCookies, c.drop) << c.url;
  }
  UrlTarget target;
  UrlChange change;
  ASSERT_EQ(target.SetURL("http://h/", 0, change), 0);
  ASSERT_EQ(target.SetServer("H", change), 0);
  EXPECT_FALSE(change.dropServerCookies);
  ASSERT_EQ(target.SetServer("k", change), 0);
  EXPECT_TRUE(change.dropServerCookies);
  EXPECT_EQ(target.SetServer("k\r\nX: 1", change), kHttpStatusInvalidValue);
  target.SetPort(80, change);
  EXPECT_FALSE(change.dropServerCookies);
  target.SetPort(8080, change);
  EXPECT_TRUE(change.dropServerCookies);
}

// Python's quote keeps '~' whatever the safe set; the encoding here does not.
TEST(UrlEncoding, AgreesWithPythonQuote) {
  std::vector<std::string> inputs;
  uint32_t seed = 12345;
  for (int n = 0; n < 300; ++n) {
    std::string s;
    const int length = n % 40;
    for (int i = 0; i < length; ++i) {
      seed = seed * 1103515245u + 12345u;
      char c = static_cast<char>((seed >> 16) & 0xFF);
      if (n % 3 == 0) c = static_cast<char>(0x20 + (seed >> 16) % 0x60);  // mostly printable
      if (c == '?') c = '=';
      s += c;
    }
    inputs.push_back(s);
  }
  std::string stdinText;
  for (const std::string& s : inputs) stdinText += testsupport::Hex(s) + "\n";
  const std::string script =
      "import sys, urllib.parse as u\n"
      "for line in sys.stdin.read().split('\\n')[:-1]:\n"
      "  b = bytes.fromhex(line)\n"
      "  p = u.quote(b, safe='-./_@*&').replace('~', '%7E')\n"
      "  q = u.quote(b, safe='-._@*&=').replace('~', '%7E')\n"
      "  print(p + ' ' + q)\n";
  testsupport::TempFile program(script);
  bool ok = true;
  const std::string out = testsupport::RunCommand("/usr/bin/python3 '" + program.Path() + "'", stdinText, ok);
  const std::vector<std::string> lines = testsupport::Lines(out);
  REQUIRE_OR_SKIP(ok && lines.size() == inputs.size(), "/usr/bin/python3 with urllib.parse");
  for (size_t i = 0; i < inputs.size(); ++i) {
    const std::string& s = inputs[i];
    ByteString path;
    ByteString query;
    ASSERT_EQ(http::AppendEncodedTarget(path, s.data(), static_cast<int>(s.size()), true, true), 0);
    const std::string withQuery = "?" + s;
    ASSERT_EQ(http::AppendEncodedTarget(query, withQuery.data(), static_cast<int>(withQuery.size()), true, true), 0);
    const std::string expectQuery = s.empty() ? "" : "?" + lines[i].substr(lines[i].find(' ') + 1);
    EXPECT_EQ(Text(path), lines[i].substr(0, lines[i].find(' '))) << i;
    EXPECT_EQ(Text(query), expectQuery) << i;
  }
}

}  // namespace
