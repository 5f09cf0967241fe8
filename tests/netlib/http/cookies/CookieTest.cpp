// Set-Cookie reading and the cookie table; Set-Cookie lines written and read
// back by Python's http.cookies as the reference.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "TestText.h"
#include "http/base/HttpStatus.h"
#include "http/cookies/HttpCookieList.h"
#include "http/cookies/SetCookie.h"

using namespace tornell;

namespace {

std::string Text(const ByteString& s) { return std::string(s.Data(), s.Length()); }

TEST(SetCookie, AttributeTable) {
  const struct {
    const char* line;
    const char* name;
    const char* value;
    const char* path;
    const char* domain;
    const char* expiry;
    int secure;
  } cases[] = {
      {"a=1; Path=/x; Secure; HttpOnly", "a", "1", "/x", "", "", 1},
      {"a=1; Secure; Path=/x; HttpOnly", "a", "1", "/x", "", "", 1},
      {"a=1; HttpOnly; Path=/x; SECURE", "a", "1", "/x", "", "", 1},
      {"a=1;Path=/x;Path=/y", "a", "1", "/y", "", "", 0},  // the later one wins
      {"b=; domain=.ex.org; expires=Wed, 09 Jun 2021 10:18:14 GMT", "b", "", "", ".ex.org",
       "Wed, 09 Jun 2021 10:18:14 GMT", 0},
      {"c=x=y; Max-Age=3", "c", "x=y", "", "", "", 0},
      {"lonely", "lonely", "", "", "", "", 0},
      {"lonely; Path=/p", "lonely", "", "/p", "", "", 0},  // the attribute's '=' splits nothing
      {"d=\"q v\"; Path=/", "d", "\"q v\"", "/", "", "", 0},  // kept as received
      {"", "", "", "", "", "", 0},
      {"e=1;  \t Path=/t ", "e", "1", "/t", "", "", 0},
  };
  for (const auto& c : cases) {
    http::SetCookieFields f;
    ASSERT_EQ(http::ParseSetCookie(c.line, -1, f), 0);
    EXPECT_EQ(Text(f.name), c.name) << c.line;
    EXPECT_EQ(Text(f.value), c.value) << c.line;
    EXPECT_EQ(Text(f.path), c.path) << c.line;
    EXPECT_EQ(Text(f.domain), c.domain) << c.line;
    EXPECT_EQ(Text(f.expiry), c.expiry) << c.line;
    EXPECT_EQ(f.secure, c.secure) << c.line;
  }
}

// Python writes each line with http.cookies.Morsel, shuffles the attributes
// and reads it back with SimpleCookie. The value compared is the coded one:
// the cookie store keeps a value as received, quotes included, where Python
// also hands out the unquoted form.
TEST(SetCookie, AgreesWithPythonHttpCookies) {
  const std::string script = R"PY(
import random, http.cookies as hc
random.seed(7)
names = ['a', 'sid', 'Tok_1', 'x-y', 'LANG']
values = ['1', 'abc', 'a b', 'x=y', '', 'v,w', 'quote"d', 'slash/v']
for n in range(200):
    c = hc.SimpleCookie()
    name = random.choice(names)
    c[name] = random.choice(values)
    m = c[name]
    if random.random() < 0.6: m['path'] = random.choice(['/', '/x', '/a/b'])
    if random.random() < 0.5: m['domain'] = random.choice(['example.com', '.ex.org'])
    if random.random() < 0.5: m['secure'] = True
    if random.random() < 0.4: m['httponly'] = True
    if random.random() < 0.4: m['expires'] = 'Wed, 09 Jun 2021 10:18:14 GMT'
    if random.random() < 0.3: m['max-age'] = 60
    if random.random() < 0.3: m['samesite'] = 'Lax'
    parts = m.OutputString().split('; ')
    attrs = parts[1:]
    random.shuffle(attrs)
    line = '; '.join([parts[0]] + attrs)
    back = hc.SimpleCookie()
    back.load(line)
    r = back[name]
    print('\t'.join([line.encode().hex(), name, r.coded_value, r['path'], r['domain'],
                     r['expires'], '1' if r['secure'] else '0']))
)PY";
  bool ok = true;
  const std::string out = testsupport::RunPython(script, ok);
  const std::vector<std::string> lines = testsupport::Lines(out);
  REQUIRE_OR_SKIP(ok && lines.size() == 200, "/usr/bin/python3 with http.cookies");
  for (const std::string& line : lines) {
    std::vector<std::string> f;
    size_t from = 0;
    for (size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1) {
      f.push_back(line.substr(from, tab - from));
    }
    f.push_back(line.substr(from));
    ASSERT_EQ(f.size(), 7u);
    const std::string header = testsupport::Unhex(f[0]);
    http::SetCookieFields got;
    ASSERT_EQ(http::ParseSetCookie(header.data(), static_cast<int>(header.size()), got), 0);
    EXPECT_EQ(Text(got.name), f[1]) << header;
    EXPECT_EQ(Text(got.value), f[2]) << header;
    EXPECT_EQ(Text(got.path), f[3]) << header;
    EXPECT_EQ(Text(got.domain), f[4]) << header;
    EXPECT_EQ(Text(got.expiry), f[5]) << header;
    EXPECT_EQ(got.secure, std::stoi(f[6])) << header;
  }
}

int AddServer(HttpCookieList& list, const char* line) {
  http::SetCookieFields f;
  const int status = http::ParseSetCookie(line, -1, f);
  if (status != 0) return status;
  return list.AddOrUpdate(f.name.CStr(), f.value.CStr(), f.expiry.CStr(), f.domain.CStr(), f.path.CStr(),
                          f.secure, HttpCookieList::kServerCookie);
}

TEST(HttpCookieList, FindOrUpdateAndColumns) {
  HttpCookieList list;
  ASSERT_EQ(AddServer(list, "a=1; Path=/x; Domain=h"), 0);
  ASSERT_EQ(AddServer(list, "A=2; Path=/X; Domain=H; Secure; Expires=later"), 0);  // same cookie
  ASSERT_EQ(AddServer(list, "a=3; Path=/y; Domain=h"), 0);                        // another path
  ASSERT_EQ(list.Count(), 2);
  EXPECT_STREQ(list.Name(0), "a");
  EXPECT_STREQ(list.Value(0), "2");
  EXPECT_STREQ(list.Expiry(0), "later");
  EXPECT_EQ(list.Secure(0), 1);
  EXPECT_EQ(list.Origin(0), 0);
  EXPECT_STREQ(list.Path(1), "/y");
  EXPECT_EQ(list.Name(2), nullptr);
  EXPECT_EQ(list.Secure(-1), 0);
  EXPECT_EQ(list.SetValue(2, "v"), kHttpStatusCookieIndex);
  ASSERT_EQ(list.SetValue(1, "v"), 0);
  ASSERT_EQ(list.SetSecure(1, 5), 0);
  EXPECT_EQ(list.Secure(1), 1);

  ByteString error("stale");
  EXPECT_EQ(CheckCookieIndex(list, 1, error), 0);
  EXPECT_EQ(Text(error), "");
  EXPECT_EQ(CheckCookieIndex(list, 2, error), kHttpStatusCookieIndex);
  EXPECT_EQ(Text(error), "Invalid cookie index (out of range).");
  EXPECT_EQ(CheckCookieIndex(list, -1, error), kHttpStatusCookieIndex);

  ASSERT_EQ(list.SetCount(4), 0);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_STREQ(list.Name(3), "");
  ASSERT_EQ(list.SetCount(-1), 0);
  EXPECT_EQ(list.Count(), 4);
  ASSERT_EQ(list.SetCount(0), 0);
  EXPECT_EQ(list.Count(), 0);
}

TEST(HttpCookieList, CallerCookiesSurviveAServerChange) {
  for (int dontClear : {0, 1}) {
    HttpCookieList list;
    ASSERT_EQ(AddServer(list, "s1=1"), 0);
    ASSERT_EQ(list.AddCallerCookie("mine", "m"), 0);
    ASSERT_EQ(AddServer(list, "s2=2; Path=/"), 0);
    ASSERT_EQ(list.AddCallerCookie("also", "n"), 0);
    ASSERT_EQ(list.DropServerCookies(dontClear), 0);
    if (dontClear) {
      EXPECT_EQ(list.Count(), 4);
      continue;
    }
    ASSERT_EQ(list.Count(), 2);
    EXPECT_STREQ(list.Name(0), "mine");
    EXPECT_STREQ(list.Name(1), "also");
    EXPECT_EQ(list.Origin(1), 1);
  }
}

TEST(HttpCookieList, CookieHeaderValue) {
  HttpCookieList list;
  ByteString value;
  ASSERT_EQ(list.HeaderValue(false, value, nullptr), 0);
  EXPECT_EQ(Text(value), "");
  ASSERT_EQ(AddServer(list, "a=1"), 0);
  ASSERT_EQ(AddServer(list, "s=secret; Secure"), 0);
  ASSERT_EQ(list.AddCallerCookie("c", "3"), 0);
  ASSERT_EQ(list.HeaderValue(false, value, nullptr), 0);
  EXPECT_EQ(Text(value), "a=1; c=3");  // no secure cookie over http
  ASSERT_EQ(list.HeaderValue(true, value, nullptr), 0);
  EXPECT_EQ(Text(value), "a=1; s=secret; c=3");
  ASSERT_EQ(list.rawText.Set("raw=1"), 0);
  ASSERT_EQ(list.HeaderValue(false, value, nullptr), 0);
  EXPECT_EQ(Text(value), "raw=1");
  ASSERT_EQ(list.rawText.Set(""), 0);

  ASSERT_EQ(list.AddCallerCookie("x", "1\r\nX-Injected: 1"), 0);
  ByteString error;
  EXPECT_EQ(list.HeaderValue(false, value, &error), kHttpStatusInvalidValue);
  EXPECT_EQ(Text(error), "Invalid character in header value.");
}

}  // namespace
