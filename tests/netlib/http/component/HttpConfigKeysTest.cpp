// Every HTTP configuration key through Do(Config): its default answer, a value
// set and the answer after it, and the side effects of the setters.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "HttpHost.h"
#include "http/component/HttpComponent.h"

namespace {

struct HttpDeleter {
  void operator()(void* http) const { Tornell_HTTP_Destroy(http); }
};
using Http = std::unique_ptr<void, HttpDeleter>;

Http Create() { return Http(Tornell_HTTP_Create(nullptr, nullptr)); }

tornell::HttpProtocol& ProtocolOf(void* http) {
  return static_cast<tornell::HttpComponent*>(static_cast<tornell::ComponentHandle*>(http))->Protocol();
}

// Answer of a query; "<code N>" when the query failed.
std::string Query(void* http, const std::string& key) {
  const char* answer = nullptr;
  const int code = HttpHostConfig(http, key.c_str(), &answer);
  if (code != 0) return "<code " + std::to_string(code) + ">";
  return answer != nullptr ? answer : "<null>";
}

int SetKey(void* http, const std::string& key, const std::string& value) {
  const char* answer = nullptr;
  return HttpHostConfig(http, (key + "=" + value).c_str(), &answer);
}

constexpr const char* kUnknown = "<code -1>";

struct KeyRow {
  const char* key;
  const char* defaultAnswer;
  const char* value;   // nullptr: the key takes no value (the base answers)
  const char* after;   // answer after the value was set
};

// The keys in the order the class tests them.
const KeyRow kKeys[] = {
    {"TransferredData", "", nullptr, nullptr},
    {"TransferredHeaders", "", nullptr, nullptr},
    {"StatusLine", "", nullptr, nullptr},
    {"TransferredRequest", "", "ON", ""},
    {"SentHeaders", "", nullptr, nullptr},
    {"HTTPVersion", "1.1", "1.0", "1.0"},
    {"UserAgent", "Tornell HTTP Client", "probe/2", "probe/2"},
    {"MaxTransferredData", "0", "100", "100"},
    {"TransferredDataLimit", "0", "0x20", "32"},
    {"KeepAlive", "False", "yes", "True"},
    {"Authorization", "", "Bearer abc", "Bearer abc"},
    {"AcceptEncoding", "gzip, deflate", "br", "br"},
    {"AllowHTTPCompression", "0", "True", "1"},
    {"ProxyAuthScheme", "0", "1", "1"},
    {"ProxyServer", "", "proxy.test", "proxy.test"},
    {"ProxyPort", "80", "3128", "3128"},
    {"ProxyUser", "", "pu", "pu"},
    {"ProxyPassword", "", "pp", "pp"},
    {"ProxyAuthorization", "", "Basic eA==", "Basic eA=="},
    {"IfModifiedSince", "", "Sat, 29 Oct 1994 19:43:31 GMT", "Sat, 29 Oct 1994 19:43:31 GMT"},
    {"EncodeURL", "False", "1", "True"},
    {"EncodeQueryString", "True", "false", "False"},
    {"EncodeRedirectLocation", "False", "TRUE", "True"},
    {"Append", "False", "true", "True"},
    {"CreateLocalFileAttributes", "0", "7", "7"},
    {"SingleLineMode", "1", "false", "0"},  // the transport's default
    {"LocalFile", "", "/tmp/body.bin", "/tmp/body.bin"},
    {"GetOn302Redirect", "0", "True", "1"},
    {"AbsoluteURI", "False", "True", "True"},
    {"DebugTrace", "False", "True", "True"},
    {"DontClearCookiesOnUrlChange", "False", "True", "True"},
    {"UsePlatformHTTPClient", "False", "True", "True"},
    {"FollowRedirects", "0", "5", "5"},  // stored unchecked
    {"HttpCookies", "", "a=b; c=d", "a=b; c=d"},
    {"MaxRedirectAttempts", "20", "0", "0"},
    {"BytesTransferred", "0", nullptr, nullptr},
    {"UseChunkedEncoding", "False", "True", "True"},
    {"ChunkSize", "16384", "1024", "1024"},
    {"PostDataAfterNegotiate", "True", "False", "False"},
    {"AllowIdenticalRedirectURL", "False", "True", "True"},
    {"OtherHeaders", "", "X-A: 1", "X-A: 1"},
    {"UseWinInet", "False", "True", "True"},
    {"UseWinInetCookies", "True", "False", "False"},
    {"ReadContentLength", "False", "True", "True"},
    {"Loglevel", "1", "3", "3"},
    {"NegotiatedHTTPVersion", "", nullptr, nullptr},
    {"AllowHTTPFallback", "True", "False", "False"},
    {"HTTP2HeadersWithoutIndexing", "", "authorization, cookie", "authorization, cookie"},
    {"UseInternalKerberos", "0", "True", "1"},
    // KerberosKeytabFile reads the file it names: the Kerberos tests give it one.
    {"KerberosKDC", "", "kdc.test", "kdc.test"},
};

TEST(HttpConfigKeys, EveryKeyAnswersItsDefaultTakesAValueAndAnswersIt) {
  for (const KeyRow& row : kKeys) {
    SCOPED_TRACE(row.key);
    Http http = Create();
    ASSERT_NE(http, nullptr);
    EXPECT_EQ(Query(http.get(), row.key), row.defaultAnswer);
    if (row.value == nullptr) {
      // A value for a query-only key is not taken here and the base knows no such key.
      EXPECT_EQ(SetKey(http.get(), row.key, "x"), -1);
      EXPECT_STREQ(Tornell_HTTP_GetLastError(http.get()), "Unknown config setting.");
      continue;
    }
    EXPECT_EQ(SetKey(http.get(), row.key, row.value), 0);
    EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http.get()), 0);
    EXPECT_EQ(Query(http.get(), row.key), row.after);
  }
}

TEST(HttpConfigKeys, KeysCompareWithoutCase) {
  Http http = Create();
  EXPECT_EQ(SetKey(http.get(), "httpversion", "1.0"), 0);
  EXPECT_EQ(Query(http.get(), "HTTPVERSION"), "1.0");
  EXPECT_EQ(Query(http.get(), "loglevel"), "1");
}

TEST(HttpConfigKeys, WriteOnlyKeysAnswerAsUnknown) {
  for (const char* key : {"KerberosToken", "NoSuchKey"}) {
    SCOPED_TRACE(key);
    Http http = Create();
    EXPECT_EQ(Query(http.get(), key), kUnknown);
    EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http.get()), -1);
    EXPECT_STREQ(Tornell_HTTP_GetLastError(http.get()), "Unknown config setting.");
  }
}

TEST(HttpConfigKeys, HeadersWithoutIndexingReachTheHttp2Connection) {
  Http http = Create();
  EXPECT_EQ(SetKey(http.get(), "HTTP2HeadersWithoutIndexing", "Authorization"), 0);
  EXPECT_STREQ(ProtocolOf(http.get()).Http2().GetHeadersWithoutIndexing(), "Authorization");
}

TEST(HttpConfigKeys, UnsupportedHttpVersionIsKeptAndRefused) {
  Http http = Create();
  EXPECT_EQ(SetKey(http.get(), "HTTPVersion", "3.0"), 202);
  EXPECT_STREQ(Tornell_HTTP_GetLastError(http.get()),
               "Invalid HTTP version. Please use a supported HTTP version (1.0, 1.1, 2.0).");
  EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http.get()), 202);
  EXPECT_EQ(Query(http.get(), "HTTPVersion"), "3.0");
  EXPECT_STREQ(HttpHostGetText(http.get(), 24, 0), "3.0");
  // The property goes through the same setter.
  EXPECT_EQ(HttpHostSetText(http.get(), 24, "0.9"), 202);
  EXPECT_EQ(HttpHostSetText(http.get(), 24, "1.1"), 0);
}

TEST(HttpConfigKeys, Http2OffersH2AndOnlyThen) {
  Http http = Create();
  EXPECT_EQ(Query(http.get(), "ALPNExtension"), "");
  EXPECT_EQ(SetKey(http.get(), "HTTPVersion", "2.0"), 0);
  EXPECT_EQ(Query(http.get(), "ALPNExtension"), "h2");
  EXPECT_EQ(SetKey(http.get(), "HTTPVersion", "1.1"), 0);
  EXPECT_EQ(Query(http.get(), "ALPNExtension"), "");
  // A list the host chose itself stays.
  EXPECT_EQ(SetKey(http.get(), "ALPNExtension", "http/1.1"), 0);
  EXPECT_EQ(SetKey(http.get(), "HTTPVersion", "1.0"), 0);
  EXPECT_EQ(Query(http.get(), "ALPNExtension"), "http/1.1");
}

TEST(HttpConfigKeys, KerberosTokenBecomesANegotiateHeaderAndDropsTheCredentials) {
  Http http = Create();
  ASSERT_EQ(HttpHostSetText(http.get(), 62, "alice"), 0);
  ASSERT_EQ(HttpHostSetText(http.get(), 33, "secret"), 0);
  EXPECT_EQ(SetKey(http.get(), "KerberosToken", "YIIBtoken=="), 0);
  EXPECT_STREQ(HttpHostGetText(http.get(), 4, 0), "Negotiate YIIBtoken==");
  EXPECT_EQ(HttpHostGetInt(http.get(), 5), 2);
  EXPECT_STREQ(HttpHostGetText(http.get(), 62, 0), "");
  EXPECT_STREQ(HttpHostGetText(http.get(), 33, 0), "");
}

TEST(HttpConfigKeys, AuthorizationTextSwitchesToTheProprietaryScheme) {
  Http http = Create();
  ASSERT_EQ(HttpHostGetInt(http.get(), 5), 0);
  EXPECT_EQ(SetKey(http.get(), "Authorization", "Bearer t"), 0);
  EXPECT_EQ(HttpHostGetInt(http.get(), 5), 2);
  EXPECT_EQ(HttpHostSetText(http.get(), 4, "Bearer u"), 0);
  EXPECT_STREQ(HttpHostGetText(http.get(), 4, 0), "Bearer u");
}

TEST(HttpConfigKeys, CompressionIsTurnedOnOnlyByTheKey) {
  Http http = Create();
  EXPECT_EQ(SetKey(http.get(), "AllowHTTPCompression", "True"), 0);
  EXPECT_EQ(HttpHostGetInt(http.get(), 2), 1);
  EXPECT_EQ(HttpHostSetInt(http.get(), 2, 1), 0);
  EXPECT_EQ(HttpHostGetInt(http.get(), 2), 0);
  EXPECT_EQ(Query(http.get(), "AllowHTTPCompression"), "0");
}

TEST(HttpConfigKeys, SettersReachTheirOwners) {
  Http http = Create();
  tornell::HttpProtocol& protocol = ProtocolOf(http.get());
  // The proxy negotiator sends the same agent in its CONNECT request.
  EXPECT_EQ(SetKey(http.get(), "UserAgent", "agent/9"), 0);
  EXPECT_STREQ(protocol.Proxy().GetUserAgent(), "agent/9");
  // A new redirect budget restarts the one being spent.
  EXPECT_EQ(SetKey(http.get(), "MaxRedirectAttempts", "3"), 0);
  EXPECT_EQ(protocol.Target().RedirectsLeft(), 3);
  EXPECT_EQ(SetKey(http.get(), "Loglevel", "3"), 0);
  EXPECT_EQ(protocol.GetLogLevel(), 3);
  EXPECT_EQ(SetKey(http.get(), "SingleLineMode", "True"), 0);
  EXPECT_EQ(protocol.GetSingleLineMode(), 1);
  // Reset only with the bare key.
  ASSERT_EQ(protocol.TransferredData().Set("body"), 0);
  EXPECT_EQ(Query(http.get(), "TransferredData"), "body");
  EXPECT_EQ(SetKey(http.get(), "ResetTransferredData", "1"), -1);
  EXPECT_EQ(Query(http.get(), "TransferredData"), "body");
  EXPECT_EQ(Query(http.get(), "ResetTransferredData"), "");
  EXPECT_EQ(Query(http.get(), "TransferredData"), "");
}

TEST(HttpConfigKeys, StatusLineWithAValueFailsInTheBase) {
  Http http = Create();
  EXPECT_EQ(SetKey(http.get(), "StatusLine", "x"), -1);
  EXPECT_EQ(Tornell_HTTP_GetLastErrorCode(http.get()), -1);
  EXPECT_STREQ(Tornell_HTTP_GetLastError(http.get()), "Unknown config setting.");
}

TEST(HttpConfigKeys, BaseKeysAnswerThroughTheComponent) {
  Http http = Create();
  EXPECT_EQ(SetKey(http.get(), "CodePage", "65001"), 0);
  EXPECT_EQ(reinterpret_cast<intptr_t>(Tornell_HTTP_Get(http.get(), 2010, 0, nullptr)), 65001);
  EXPECT_EQ(Query(http.get(), "ConnectionTimeout"), Query(http.get(), "connectiontimeout"));
}

}  // namespace
