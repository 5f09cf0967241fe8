// The HTTP component's entry points: null handles, the property and method
// tables, the wide offsets, the index checks with their last error, and the
// events as the host callback receives them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "HttpHost.h"
#include "http/component/HttpComponent.h"

namespace {

struct HttpDeleter {
  void operator()(void* http) const { Tornell_HTTP_Destroy(http); }
};
using Http = std::unique_ptr<void, HttpDeleter>;

tornell::HttpComponent& ComponentOf(void* http) {
  return *static_cast<tornell::HttpComponent*>(static_cast<tornell::ComponentHandle*>(http));
}

long AsInt(void* slot) { return static_cast<long>(reinterpret_cast<intptr_t>(slot)); }
void* Slot(long value) { return reinterpret_cast<void*>(static_cast<intptr_t>(value)); }

void AddCookie(void* http, const char* name, const char* value) {
  void* argv[2] = {const_cast<char*>(name), const_cast<char*>(value)};
  int lengths[2] = {0, 0};
  ASSERT_EQ(Tornell_HTTP_Do(http, 2, 2, argv, lengths), 0);
}

TEST(HttpEntry, NullHandleNeverReachesAComponent) {
  void* argv[1] = {nullptr};
  int lengths[1] = {0};
  int length = 7;
  EXPECT_EQ(Tornell_HTTP_CheckIndex(nullptr, 11, 0), 200);
  EXPECT_EQ(Tornell_HTTP_Set(nullptr, 1, 0, "x", 0), 200);
  EXPECT_EQ(Tornell_HTTP_Do(nullptr, 6, 1, argv, lengths), 200);
  EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(nullptr), 200);
  EXPECT_EQ(Tornell_HTTP_Get(nullptr, 0, 0, &length), nullptr);
  EXPECT_EQ(Tornell_HTTP_GetLastError(nullptr), nullptr);
  EXPECT_EQ(Tornell_HTTP_Destroy(nullptr), 0);
  EXPECT_EQ(Tornell_HTTP_StaticInit(nullptr), 0);
  EXPECT_EQ(Tornell_HTTP_StaticDestroy(), 0);
}

enum Type { kInt, kText };

struct PropertyRow {
  int id;
  Type type;
  const char* defaultText;  // text default; nullptr = not checked
  long defaultInt;          // int default
  const char* writeText;    // text written and read back
  long writeInt;            // int written and read back
};

// Plain read-write properties: default after Create, then a value written back.
const PropertyRow kProperties[] = {
    {1, kText, "", 0, "text/html", 0},                   // Accept
    {3, kText, "", 0, "/tmp/upload.bin", 0},             // AttachedFile
    {5, kInt, nullptr, 0, nullptr, 1},                   // AuthScheme
    {7, kText, "", 0, "application/json", 0},            // ContentType
    {16, kInt, nullptr, 0, nullptr, 2},                  // FirewallType
    {17, kText, "", 0, "127.0.0.1", 0},                  // FirewallHost
    {18, kText, "", 0, "fwpass", 0},                     // FirewallPassword
    {19, kInt, nullptr, 0, nullptr, 1080},               // FirewallPort
    {20, kText, "", 0, "fwuser", 0},                     // FirewallUser
    {21, kInt, nullptr, 0, nullptr, 7},                  // FollowRedirects, unchecked
    {22, kText, "", 0, "me@example.test", 0},            // From
    {23, kText, "", 0, "PROPFIND", 0},                   // HTTPMethod
    {24, kText, "1.1", 0, "1.0", 0},                     // HTTPVersion
    {26, kText, "", 0, "Sat, 29 Oct 1994 19:43:31 GMT", 0},  // IfModifiedSince
    {27, kText, "", 0, "/tmp/body.bin", 0},              // LocalFile
    {29, kText, "", 0, "X-One: 1\r\nX-Two: 2", 0},       // OtherHeaders
    {33, kText, "", 0, "pw", 0},                         // Password
    {35, kText, "", 0, "no-cache", 0},                   // Pragma
    {36, kInt, nullptr, 0, nullptr, 1},                  // ProxyAuthScheme
    {38, kText, "", 0, "ppw", 0},                        // ProxyPassword
    {39, kInt, nullptr, 80, nullptr, 3128},              // ProxyPort
    {40, kText, "", 0, "proxy.test", 0},                 // ProxyServer
    {41, kInt, nullptr, 0, nullptr, 2},                  // ProxySSL
    {42, kText, "", 0, "puser", 0},                      // ProxyUser
    {43, kText, "", 0, "0-99", 0},                       // Range
    {44, kText, "", 0, "http://ref.test/", 0},           // Referer
    {48, kText, "", 0, "storepw", 0},                    // SSLCertStorePassword
    {49, kInt, nullptr, 0, nullptr, 2},                  // SSLCertStoreType
    {53, kInt, nullptr, 60, nullptr, 5},                 // Timeout
    {57, kText, "", 0, "http://www.example.test:8080/a/b?c=d", 0},  // URL
    {62, kText, "", 0, "alice", 0},                      // User
};

TEST(HttpEntry, PropertiesStartAtTheirDefaultsAndKeepWhatIsWritten) {
  for (const PropertyRow& row : kProperties) {
    SCOPED_TRACE(row.id);
    Http http(Tornell_HTTP_Create(nullptr, nullptr));
    ASSERT_NE(http, nullptr);
    if (row.type == kText) {
      if (row.defaultText != nullptr) {
        EXPECT_STREQ(HttpHostGetText(http.get(), row.id, 0), row.defaultText);
      }
      EXPECT_EQ(HttpHostSetText(http.get(), row.id, row.writeText), 0);
      EXPECT_STREQ(HttpHostGetText(http.get(), row.id, 0), row.writeText);
      // A null text counts as empty, which is no HTTP version.
      EXPECT_EQ(Tornell_HTTP_Set(http.get(), row.id, 0, nullptr, 0), row.id == 24 ? 202 : 0);
      EXPECT_STREQ(HttpHostGetText(http.get(), row.id, 0), "");
      if (row.id == 24) continue;
    } else {
      EXPECT_EQ(HttpHostGetInt(http.get(), row.id), row.defaultInt);
      EXPECT_EQ(HttpHostSetInt(http.get(), row.id, row.writeInt), 0);
      EXPECT_EQ(HttpHostGetInt(http.get(), row.id), row.writeInt);
    }
    EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http.get()), 0);
  }
}

TEST(HttpEntry, UrlPropertiesFollowTheUrl) {
  Http http(Tornell_HTTP_Create(nullptr, nullptr));
  ASSERT_EQ(HttpHostSetText(http.get(), 57, "https://www.example.test:8443/p/q?x=1"), 0);
  EXPECT_STREQ(HttpHostGetText(http.get(), 60, 0), "https");
  EXPECT_STREQ(HttpHostGetText(http.get(), 61, 0), "www.example.test");
  EXPECT_EQ(HttpHostGetInt(http.get(), 59), 8443);
  EXPECT_STREQ(HttpHostGetText(http.get(), 58, 0), "/p/q?x=1");
}

struct EdgeRow {
  const char* what;
  int id;
  long value;
  int setCode;
};

// Ids Set does not serve: read-only ones, ids outside the table, wide ids.
const EdgeRow kNotSettable[] = {
    {"version id", 0, 1, -1},       {"CookieDomain", 9, 1, -1},       {"CookieSecure", 13, 1, -1},
    {"Idle", 25, 0, -1},            {"ResponseHeaderCount", 30, 1, -1}, {"ResponseHeaderName", 31, 1, -1},
    {"ClearedBytes", 51, 1, -1},    {"StatusLine", 52, 1, -1},        {"TransferredData", 54, 1, -1},
    {"TransferredHeaders", 56, 1, -1}, {"beyond the table", 63, 1, -1}, {"negative", -5, 1, -1},
    {"wide FollowRedirects", 10021, 1, -1}, {"long wide", 20021, 1, -1}, {"code page", 2010, 1, -1},
};

TEST(HttpEntry, SetOfAnIdItDoesNotServeLeavesTheLastError) {
  Http http(Tornell_HTTP_Create(nullptr, nullptr));
  ASSERT_EQ(HttpHostSetText(http.get(), 24, "3.0"), 202);
  for (const EdgeRow& row : kNotSettable) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(Tornell_HTTP_Set(http.get(), row.id, 0, Slot(row.value), 0), row.setCode);
    EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http.get()), 202);
  }
  EXPECT_EQ(HttpHostGetInt(http.get(), 25), 1);  // Idle
  EXPECT_EQ(HttpHostGetInt(http.get(), 21), 0);
}

TEST(HttpEntry, VersionAndCodePageIdsLeaveTheLastError) {
  Http http(Tornell_HTTP_Create(nullptr, nullptr));
  ASSERT_EQ(HttpHostSetText(http.get(), 24, "3.0"), 202);
  EXPECT_STREQ(static_cast<const char*>(Tornell_HTTP_Get(http.get(), 0, 0, nullptr)), "TORNELL_VERSION_16_0_6879");
  EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http.get()), 202);
  const char* answer = nullptr;
  ASSERT_EQ(HttpHostConfig(http.get(), "CodePage=932", &answer), 0);
  EXPECT_EQ(AsInt(Tornell_HTTP_Get(http.get(), 2010, 0, nullptr)), 932);
  // Any other read starts by clearing the code.
  ASSERT_EQ(HttpHostSetText(http.get(), 24, "3.0"), 202);
  EXPECT_EQ(AsInt(Tornell_HTTP_Get(http.get(), 2010, 0, nullptr)), 932);
  EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http.get()), 202);
  static_cast<void>(Tornell_HTTP_Get(http.get(), 999, 0, nullptr));
  EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http.get()), 0);
  EXPECT_EQ(Tornell_HTTP_Get(http.get(), 999, 0, nullptr), nullptr);
}

TEST(HttpEntry, WideIdsReadTheSameProperty) {
  Http http(Tornell_HTTP_Create(nullptr, nullptr));
  tornell::HttpProtocol& protocol = ComponentOf(http.get()).Protocol();
  ASSERT_EQ(protocol.TransferredData().Set("abc\0def", 7), 0);
  int narrowLength = 0;
  int wideLength = 0;
  int longWideLength = 0;
  const char* narrow = HttpHostGetBytes(http.get(), 54, &narrowLength);
  const char* wide = static_cast<const char*>(Tornell_HTTP_Get(http.get(), 10054, 0, &wideLength));
  const char* longWide = static_cast<const char*>(Tornell_HTTP_Get(http.get(), 20054, 0, &longWideLength));
  EXPECT_EQ(narrowLength, 7);
  EXPECT_EQ(wideLength, 7);
  EXPECT_EQ(longWideLength, 7);
  EXPECT_EQ(std::string(narrow, 7), std::string("abc\0def", 7));
  EXPECT_EQ(wide, narrow);
  EXPECT_EQ(longWide, narrow);
  ASSERT_EQ(HttpHostSetText(http.get(), 62, "bob"), 0);
  EXPECT_STREQ(static_cast<const char*>(Tornell_HTTP_Get(http.get(), 10062, 0, nullptr)), "bob");
  // The platform keeps no wide file names.
  ASSERT_EQ(HttpHostSetText(http.get(), 27, "/tmp/f"), 0);
  EXPECT_EQ(Tornell_HTTP_Get(http.get(), 10027, 0, nullptr), nullptr);
  EXPECT_EQ(Tornell_HTTP_Get(http.get(), 10003, 0, nullptr), nullptr);
  EXPECT_STREQ(HttpHostGetText(http.get(), 27, 0), "/tmp/f");
}

TEST(HttpEntry, CookieAndHeaderIndexesAreChecked) {
  Http http(Tornell_HTTP_Create(nullptr, nullptr));
  AddCookie(http.get(), "first", "1");
  AddCookie(http.get(), "second", "2");
  ASSERT_EQ(HttpHostGetInt(http.get(), 8), 2);
  EXPECT_STREQ(HttpHostGetText(http.get(), 11, 1), "second");
  EXPECT_STREQ(HttpHostGetText(http.get(), 14, 0), "1");
  EXPECT_EQ(Tornell_HTTP_CheckIndex(http.get(), 11, 1), 0);

  ASSERT_EQ(HttpHostSetText(http.get(), 24, "3.0"), 202);
  EXPECT_EQ(Tornell_HTTP_CheckIndex(http.get(), 11, 2), 280);
  EXPECT_STREQ(Tornell_HTTP_GetLastError(http.get()), "Invalid cookie index (out of range).");
  EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http.get()), 202);  // CheckIndex keeps the code

  EXPECT_STREQ(HttpHostGetText(http.get(), 11, 2), "");
  EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http.get()), 432);
  EXPECT_STREQ(Tornell_HTTP_GetLastError(http.get()), "Invalid cookie index (out of range).");
  EXPECT_STREQ(HttpHostGetText(http.get(), 9, -1), "");
  EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http.get()), 432);
  EXPECT_EQ(AsInt(Tornell_HTTP_Get(http.get(), 13, 5, nullptr)), 0);

  // Writes: in range they land, out of range the code is not stored.
  EXPECT_EQ(Tornell_HTTP_Set(http.get(), 14, 1, "22", 0), 0);
  EXPECT_STREQ(HttpHostGetText(http.get(), 14, 1), "22");
  EXPECT_EQ(Tornell_HTTP_Set(http.get(), 11, 2, "third", 0), 432);
  EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http.get()), 0);
  EXPECT_EQ(HttpHostSetInt(http.get(), 8, 1), 0);
  EXPECT_EQ(HttpHostGetInt(http.get(), 8), 1);

  // The response header list is empty before any response.
  EXPECT_EQ(HttpHostGetInt(http.get(), 30), 0);
  EXPECT_EQ(Tornell_HTTP_CheckIndex(http.get(), 31, 0), 280);
  EXPECT_EQ(Tornell_HTTP_CheckIndex(http.get(), 32, -1), 280);
  EXPECT_EQ(Tornell_HTTP_CheckIndex(http.get(), 1, 99), 0);
  EXPECT_STREQ(HttpHostGetText(http.get(), 32, 0), "");
  EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http.get()), 432);
}

TEST(HttpEntry, BytesAndLongValues) {
  Http http(Tornell_HTTP_Create(nullptr, nullptr));
  EXPECT_EQ(HttpHostSetBytes(http.get(), 34, "a\0b", 3), 0);
  int length = 0;
  const char* data = HttpHostGetBytes(http.get(), 34, &length);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(data, static_cast<size_t>(length)), std::string("a\0b", 3));
  // Null bytes count as empty whatever the length; a negative length as 0.
  EXPECT_EQ(HttpHostSetBytes(http.get(), 34, nullptr, 4096), 0);
  EXPECT_NE(HttpHostGetBytes(http.get(), 34, &length), nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(HttpHostSetBytes(http.get(), 34, "abc", -3), 0);
  static_cast<void>(HttpHostGetBytes(http.get(), 34, &length));
  EXPECT_EQ(length, 0);

  const int64_t limit = 5'000'000'000LL;
  EXPECT_EQ(Tornell_HTTP_Set(http.get(), 55, 0, &limit, 0), 0);
  const auto* read = static_cast<const int64_t*>(Tornell_HTTP_Get(http.get(), 55, 0, nullptr));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(*read, limit);
  EXPECT_EQ(Tornell_HTTP_Set(http.get(), 55, 0, nullptr, 0), 0);
  EXPECT_EQ(*static_cast<const int64_t*>(Tornell_HTTP_Get(http.get(), 55, 0, nullptr)), 0);

  // The store answers 306 and keeps "MY", the subject the same.
  EXPECT_EQ(HttpHostSetBytes(http.get(), 47, "ROOT", 4), 306);
  EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http.get()), 306);
  EXPECT_STRNE(Tornell_HTTP_GetLastError(http.get()), "");
  EXPECT_EQ(HttpHostSetText(http.get(), 50, "CN=x"), 306);
  // ProxyAutoDetect and FirewallAutoDetect take any value and stay 0; ProxySSL 3 means a CONNECT tunnel.
  EXPECT_EQ(HttpHostSetInt(http.get(), 37, 1), 0);
  EXPECT_EQ(HttpHostGetInt(http.get(), 37), 0);
  EXPECT_EQ(HttpHostSetInt(http.get(), 15, 1), 0);
  EXPECT_EQ(HttpHostGetInt(http.get(), 15), 0);
  EXPECT_EQ(HttpHostSetInt(http.get(), 41, 3), 0);
  EXPECT_EQ(HttpHostGetInt(http.get(), 16), 1);
  EXPECT_EQ(HttpHostSetInt(http.get(), 41, 1), 0);
  EXPECT_EQ(HttpHostGetInt(http.get(), 16), 0);
}

TEST(HttpEntry, MethodsReadNoArgumentBeyondArgc) {
  Http http(Tornell_HTTP_Create(nullptr, nullptr));
  // Exactly argc slots on the heap, so a read past them is caught.
  auto argv = std::make_unique<void*[]>(1);
  argv[0] = const_cast<char*>("lonely");
  EXPECT_EQ(Tornell_HTTP_Do(http.get(), 2, 1, argv.get(), nullptr), 0);
  EXPECT_STREQ(HttpHostGetText(http.get(), 11, 0), "lonely");
  EXPECT_STREQ(HttpHostGetText(http.get(), 14, 0), "");
  EXPECT_EQ(Tornell_HTTP_Do(http.get(), 2, 0, nullptr, nullptr), 0);
  EXPECT_STREQ(HttpHostGetText(http.get(), 11, 1), "");
  // Config with no argument reads the empty key and writes no answer.
  auto none = std::make_unique<void*[]>(1);
  none[0] = Slot(42);
  EXPECT_EQ(Tornell_HTTP_Do(http.get(), 3, 0, none.get(), nullptr), -1);
  EXPECT_EQ(AsInt(none[0]), 42);
}

TEST(HttpEntry, MethodIdsOutsideTheTableDoNothingAndClearTheCode) {
  Http http(Tornell_HTTP_Create(nullptr, nullptr));
  for (int method : {1, 13, 999, 10013}) {
    SCOPED_TRACE(method);
    ASSERT_EQ(HttpHostSetText(http.get(), 24, "3.0"), 202);
    EXPECT_EQ(HttpHostDo(http.get(), method), 0);
    EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http.get()), 0);
  }
  // Interrupt and DoEvents while idle, ResetRequest and Reset.
  EXPECT_EQ(HttpHostDo(http.get(), 8), 0);
  EXPECT_EQ(HttpHostDo(http.get(), 5), 0);
  ASSERT_EQ(HttpHostSetText(http.get(), 1, "text/plain"), 0);
  ASSERT_EQ(HttpHostSetText(http.get(), 43, "0-9"), 0);
  EXPECT_EQ(HttpHostDo(http.get(), 12), 0);
  EXPECT_STREQ(HttpHostGetText(http.get(), 1, 0), "");
  EXPECT_STREQ(HttpHostGetText(http.get(), 43, 0), "0-9");  // Range survives a request reset
  ASSERT_EQ(HttpHostSetText(http.get(), 24, "1.0"), 0);
  EXPECT_EQ(HttpHostDo(http.get(), 11), 0);
  EXPECT_STREQ(HttpHostGetText(http.get(), 24, 0), "1.1");
}

TEST(HttpEntry, WideMethodsConvertTheirTextAndAnswerNarrow) {
  Http http(Tornell_HTTP_Create(nullptr, nullptr));
  void* argv[2] = {const_cast<char*>("UserAgent=wide/1"), nullptr};
  int lengths[2] = {0, 0};
  EXPECT_EQ(Tornell_HTTP_Do(http.get(), 10003, 1, argv, lengths), 0);
  argv[0] = const_cast<char*>("UserAgent");
  EXPECT_EQ(Tornell_HTTP_Do(http.get(), 10003, 1, argv, lengths), 0);
  EXPECT_STREQ(static_cast<const char*>(argv[1]), "wide/1");
  void* cookie[2] = {const_cast<char*>("w"), const_cast<char*>("v")};
  EXPECT_EQ(Tornell_HTTP_Do(http.get(), 10002, 2, cookie, lengths), 0);
  EXPECT_STREQ(HttpHostGetText(http.get(), 11, 0), "w");
}

TEST(HttpEntry, AUrlMethodWithABadUrlEndsBeforeAnyAction) {
  Http http(Tornell_HTTP_Create(nullptr, nullptr));
  const int code = HttpHostUrlMethod(http.get(), 6, "http://example.test:99999/");
  EXPECT_EQ(code, 202);  // refused before any request was attempted
  EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http.get()), code);
  EXPECT_STRNE(Tornell_HTTP_GetLastError(http.get()), "");
  EXPECT_EQ(HttpHostGetInt(http.get(), 25), 1);
}

// ---- events ------------------------------------------------------------------------------

struct Seen {
  int id = 0;
  int argc = 0;
  std::vector<long> ints;
  std::vector<std::string> texts;
  std::vector<int> lengths;
  int64_t bytes = 0;
  int writeBack = -1;
};

int Record(void* context, int id, int argc, void** argv, int* lengths) {
  auto* seen = static_cast<Seen*>(context);
  seen->id = id;
  seen->argc = argc;
  seen->ints.clear();
  seen->texts.clear();
  seen->lengths.assign(lengths, lengths + argc);
  for (int i = 0; i < argc; ++i) seen->ints.push_back(AsInt(argv[i]));
  if (id == 14) seen->bytes = *static_cast<const int64_t*>(argv[1]);
  // Where each event carries its texts.
  static const std::vector<std::vector<int>> kTextSlots = {
      {}, {1}, {0, 2}, {1}, {}, {1}, {0, 1}, {1, 2}, {0}, {0, 1, 2, 3, 4}, {1, 2, 3}, {0}, {}, {0, 2}, {3}};
  if (id >= 1 && id <= 14) {
    for (int slot : kTextSlots[static_cast<size_t>(id)]) seen->texts.emplace_back(static_cast<const char*>(argv[slot]));
  }
  if (seen->writeBack >= 0 && id == 8) argv[1] = Slot(seen->writeBack);
  if (seen->writeBack >= 0 && id == 10) argv[4] = Slot(seen->writeBack);
  return 77;
}

TEST(HttpEntry, EventsReachTheCallbackInParameterOrder) {
  Seen seen;
  Http http(Tornell_HTTP_Create(Record, &seen));
  tornell::HttpProtocol& p = ComponentOf(http.get()).Protocol();

  p.FireConnected(0, "OK");
  EXPECT_EQ(seen.id, 1);
  EXPECT_EQ(seen.argc, 2);
  EXPECT_EQ(seen.texts, (std::vector<std::string>{"OK"}));

  p.FireConnectionStatus("Remote host connected", 5, nullptr);
  EXPECT_EQ(seen.id, 2);
  EXPECT_EQ(seen.argc, 3);
  EXPECT_EQ(seen.ints[1], 5);
  EXPECT_EQ(seen.texts, (std::vector<std::string>{"Remote host connected", ""}));

  p.FireDisconnected(107, "gone");
  EXPECT_EQ(seen.id, 3);
  EXPECT_EQ(seen.ints[0], 107);

  p.FireEndTransfer(1);
  EXPECT_EQ(seen.id, 4);
  EXPECT_EQ(seen.argc, 1);
  EXPECT_EQ(seen.ints[0], 1);

  char errorText[] = "bad";
  p.FireError(-3, errorText);
  EXPECT_EQ(seen.id, 5);
  EXPECT_EQ(seen.ints[0], -3);

  p.FireHeader("Content-Type", "text/html");
  EXPECT_EQ(seen.id, 6);
  EXPECT_EQ(seen.texts, (std::vector<std::string>{"Content-Type", "text/html"}));

  p.FireLog(2, "line", "Info");
  EXPECT_EQ(seen.id, 7);
  EXPECT_EQ(seen.ints[0], 2);
  EXPECT_EQ(seen.texts, (std::vector<std::string>{"line", "Info"}));

  p.FireSetCookie("n", "v", "e", "d", "/p", 1);
  EXPECT_EQ(seen.id, 9);
  EXPECT_EQ(seen.argc, 6);
  EXPECT_EQ(seen.ints[5], 1);
  EXPECT_EQ(seen.texts, (std::vector<std::string>{"n", "v", "e", "d", "/p"}));

  p.FireSSLStatus("hello");
  EXPECT_EQ(seen.id, 11);
  EXPECT_EQ(seen.texts, (std::vector<std::string>{"hello"}));

  p.FireStartTransfer(0);
  EXPECT_EQ(seen.id, 12);
  EXPECT_EQ(seen.ints[0], 0);

  p.FireStatus("HTTP/1.1", 404, "Not Found");
  EXPECT_EQ(seen.id, 13);
  EXPECT_EQ(seen.ints[1], 404);
  EXPECT_EQ(seen.texts, (std::vector<std::string>{"HTTP/1.1", "Not Found"}));

  // Transfer: the 64-bit count through a pointer, the text with its length,
  // terminated for the call and put back afterwards.
  char body[] = "abcdef";
  p.FireTransfer(1, 5'000'000'001LL, 40, body, 3);
  EXPECT_EQ(seen.id, 14);
  EXPECT_EQ(seen.argc, 4);
  EXPECT_EQ(seen.bytes, 5'000'000'001LL);
  EXPECT_EQ(seen.ints[2], 40);
  EXPECT_EQ(seen.lengths, (std::vector<int>{0, 0, 0, 3}));
  EXPECT_EQ(seen.texts, (std::vector<std::string>{"abc"}));
  EXPECT_STREQ(body, "abcdef");
}

TEST(HttpEntry, AcceptSlotsAreWrittenBack) {
  Seen seen;
  Http http(Tornell_HTTP_Create(Record, &seen));
  tornell::HttpProtocol& p = ComponentOf(http.get()).Protocol();
  int accept = 1;
  p.FireRedirect("http://elsewhere.test/", accept);
  EXPECT_EQ(seen.id, 8);
  EXPECT_EQ(accept, 1);  // untouched slot comes back as it went
  seen.writeBack = 0;
  p.FireRedirect("http://elsewhere.test/", accept);
  EXPECT_EQ(accept, 0);
  EXPECT_EQ(seen.texts, (std::vector<std::string>{"http://elsewhere.test/"}));

  int trust = 0;
  seen.writeBack = 1;
  p.FireSSLServerAuthentication("\x30\x03\x02\x01\x00", 5, "CN=s", "CN=i", "unknown issuer", trust);
  EXPECT_EQ(seen.id, 10);
  EXPECT_EQ(seen.argc, 5);
  EXPECT_EQ(seen.lengths[0], 5);
  EXPECT_EQ(seen.texts, (std::vector<std::string>{"CN=s", "CN=i", "unknown issuer"}));
  EXPECT_EQ(trust, 1);
}

TEST(HttpEntry, ExternalLoopEventsCarryTheirSlots) {
  Seen seen;
  Http http(Tornell_HTTP_Create(Record, &seen));
  tornell::HttpComponent& component = ComponentOf(http.get());
  EXPECT_EQ(HttpHostDo(http.get(), 2001), 0);
  long timeout = 250;
  EXPECT_EQ(component.ExternalWait(timeout), 77);
  EXPECT_EQ(seen.id, 2000);
  EXPECT_EQ(seen.ints, (std::vector<long>{250}));
  void* handle = Slot(9);
  EXPECT_EQ(component.ExternalRegisterSocket(12, 51, handle), 77);
  EXPECT_EQ(seen.id, 2001);
  EXPECT_EQ(seen.ints, (std::vector<long>{12, 51, 9}));
  EXPECT_EQ(component.ExternalUnregisterSocket(handle), 77);
  EXPECT_EQ(seen.id, 2002);
  EXPECT_EQ(HttpHostDo(http.get(), 2000), 0);
}

TEST(HttpEntry, WithoutACallbackEventsAreDropped) {
  Http http(Tornell_HTTP_Create(nullptr, nullptr));
  tornell::HttpProtocol& p = ComponentOf(http.get()).Protocol();
  int accept = 1;
  p.FireRedirect("http://x.test/", accept);
  EXPECT_EQ(accept, 1);
  long timeout = 5;
  EXPECT_EQ(ComponentOf(http.get()).ExternalWait(timeout), 0);
}

}  // namespace
