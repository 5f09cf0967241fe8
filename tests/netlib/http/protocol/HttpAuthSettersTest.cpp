// The credential and scheme setters with their side effects, as one table:
// each row runs its steps on an object that holds server and proxy Basic
// credentials and a stored challenge on each side, then reads every field.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Http1Client.h"

using namespace tornell;

namespace {

struct Step {
  const char* setter;  // a setter's name, or "config:" + a configuration key
  const char* value;
};

struct State {
  int scheme;
  const char* user;
  const char* password;
  const char* authorization;  // a trailing '*' compares the prefix only
  const char* challenge;
  int keepAlive;
  int proxyScheme;
  const char* proxyUser;
  const char* proxyPassword;
  const char* proxyAuthorization;
  const char* proxyChallenge;
};

int Apply(http1test::Client& client, const Step& step) {
  const std::string setter = step.setter;
  if (setter.rfind("config:", 0) == 0) {
    const char* answer = nullptr;
    return client.ConfigText((setter.substr(7) + "=" + step.value).c_str(), answer);
  }
  if (setter == "User") return client.SetUser(step.value);
  if (setter == "Password") return client.SetPassword(step.value);
  if (setter == "AuthScheme") return client.SetAuthScheme(std::atoi(step.value));
  if (setter == "Authorization") return client.SetCallerAuthorization(step.value);
  if (setter == "ProxyUser") return client.SetProxyUser(step.value);
  if (setter == "ProxyPassword") return client.SetProxyPassword(step.value);
  if (setter == "ProxyAuthScheme") return client.SetProxyAuthScheme(std::atoi(step.value));
  if (setter == "ProxyAuthorization") return client.SetProxyAuthorization(step.value);
  ADD_FAILURE() << "no setter " << setter;
  return -1;
}

void ExpectText(const char* actual, const char* expected, const char* field) {
  std::string want = expected;
  if (!want.empty() && want.back() == '*') {
    want.pop_back();
    EXPECT_EQ(std::string(actual).substr(0, want.size()), want) << field;
  } else {
    EXPECT_STREQ(actual, expected) << field;
  }
}

TEST(AuthSetters, SideEffects) {
  // Basic "u":"p" for the server, "pu":"pp" for the proxy, a challenge each.
  const State start = {kAuthBasic, "u", "p", "Basic dTpw", "srv", 0, kAuthBasic, "pu", "pp", "Basic cHU6cHA=", "prx"};
  struct Row {
    std::vector<Step> steps;
    State expected;
  };
  const Row rows[] = {
      // Server credentials rebuild the text and drop the challenge.
      {{{"User", "x"}}, {0, "x", "p", "Basic eDpw", "", 0, 0, "pu", "pp", "Basic cHU6cHA=", "prx"}},
      {{{"Password", ""}}, {0, "u", "", "Basic dTo=", "", 0, 0, "pu", "pp", "Basic cHU6cHA=", "prx"}},
      {{{"User", ""}}, {0, "", "p", "Basic OnA=", "", 0, 0, "pu", "pp", "Basic cHU6cHA=", "prx"}},
      {{{"User", ""}, {"Password", ""}}, {0, "", "", "", "", 0, 0, "pu", "pp", "Basic cHU6cHA=", "prx"}},
      // The same scheme keeps the credentials, another one empties them.
      {{{"AuthScheme", "0"}}, {0, "u", "p", "Basic dTpw", "", 0, 0, "pu", "pp", "Basic cHU6cHA=", "prx"}},
      {{{"AuthScheme", "1"}}, {1, "", "", "", "", 0, 0, "pu", "pp", "Basic cHU6cHA=", "prx"}},
      {{{"AuthScheme", "3"}, {"User", "u"}, {"Password", "p"}},
       {3, "u", "p", "", "", 0, 0, "pu", "pp", "Basic cHU6cHA=", "prx"}},
      // NTLM and Negotiate keep the connection; their tokens are made per
      // request, not by the credential setters.
      {{{"AuthScheme", "4"}, {"User", "u"}, {"Password", "p"}},
       {4, "u", "p", "", "", 1, 0, "pu", "pp", "Basic cHU6cHA=", "prx"}},
      {{{"AuthScheme", "5"}}, {5, "", "", "", "", 1, 0, "pu", "pp", "Basic cHU6cHA=", "prx"}},
      {{{"AuthScheme", "7"}, {"User", "u"}}, {7, "u", "", "", "", 0, 0, "pu", "pp", "Basic cHU6cHA=", "prx"}},
      // The caller's text makes the scheme Proprietary and is kept as given.
      {{{"Authorization", "Token abc"}}, {2, "u", "p", "Token abc", "srv", 0, 0, "pu", "pp", "Basic cHU6cHA=", "prx"}},
      {{{"Authorization", "Token abc"}, {"User", "y"}},
       {2, "y", "p", "Token abc", "", 0, 0, "pu", "pp", "Basic cHU6cHA=", "prx"}},
      {{{"AuthScheme", "6"}, {"Authorization", "Tok"}, {"Password", "q"}},
       {6, "", "q", "Tok", "", 0, 0, "pu", "pp", "Basic cHU6cHA=", "prx"}},
      {{{"config:Authorization", "Token def"}},
       {2, "u", "p", "Token def", "srv", 0, 0, "pu", "pp", "Basic cHU6cHA=", "prx"}},
      {{{"config:KerberosToken", "YIIB"}}, {2, "", "", "Negotiate YIIB", "", 0, 0, "pu", "pp", "Basic cHU6cHA=", "prx"}},
      // Proxy credentials rebuild the proxy text.
      {{{"ProxyUser", "q"}}, {0, "u", "p", "Basic dTpw", "srv", 0, 0, "q", "pp", "Basic cTpwcA==", "prx"}},
      {{{"config:ProxyPassword", ""}}, {0, "u", "p", "Basic dTpw", "srv", 0, 0, "pu", "", "Basic cHU6", "prx"}},
      {{{"ProxyUser", ""}, {"ProxyPassword", ""}}, {0, "u", "p", "Basic dTpw", "srv", 0, 0, "", "", "", "prx"}},
      // The proxy scheme: the same one keeps the text, another one empties
      // it, None also the proxy credentials; only NTLM keeps the connection.
      {{{"ProxyAuthScheme", "0"}}, {0, "u", "p", "Basic dTpw", "srv", 0, 0, "pu", "pp", "Basic cHU6cHA=", ""}},
      {{{"ProxyAuthScheme", "1"}}, {0, "u", "p", "Basic dTpw", "srv", 0, 1, "pu", "pp", "", ""}},
      {{{"config:ProxyAuthScheme", "3"}}, {0, "u", "p", "Basic dTpw", "srv", 0, 3, "", "", "", ""}},
      {{{"ProxyAuthScheme", "4"}}, {0, "u", "p", "Basic dTpw", "srv", 1, 4, "pu", "pp", "", ""}},
      {{{"ProxyAuthScheme", "5"}}, {0, "u", "p", "Basic dTpw", "srv", 0, 5, "pu", "pp", "", ""}},
      {{{"ProxyAuthScheme", "4"}, {"ProxyUser", "pu"}},
       {0, "u", "p", "Basic dTpw", "srv", 1, 4, "pu", "pp", "NTLM TlRMTVNTUAABAAAA*", ""}},
      // The proxy text is stored as given; only Proprietary keeps it when a
      // credential changes.
      {{{"ProxyAuthorization", "X"}}, {0, "u", "p", "Basic dTpw", "srv", 0, 0, "pu", "pp", "X", "prx"}},
      {{{"ProxyAuthorization", "X"}, {"ProxyUser", "a"}},
       {0, "u", "p", "Basic dTpw", "srv", 0, 0, "a", "pp", "Basic YTpwcA==", "prx"}},
      {{{"ProxyAuthScheme", "2"}, {"config:ProxyAuthorization", "X"}, {"ProxyUser", "a"}},
       {0, "u", "p", "Basic dTpw", "srv", 0, 2, "a", "pp", "X", ""}},
  };
  for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
    const Row& row = rows[i];
    std::string trace = "row " + std::to_string(i) + ":";
    for (const Step& step : row.steps) trace += std::string(" ") + step.setter + "=" + step.value;
    SCOPED_TRACE(trace);
    http1test::Client client;
    ASSERT_EQ(client.SetUser(start.user), 0);
    ASSERT_EQ(client.SetPassword(start.password), 0);
    ASSERT_EQ(client.SetProxyUser(start.proxyUser), 0);
    ASSERT_EQ(client.SetProxyPassword(start.proxyPassword), 0);
    ASSERT_EQ(client.SetPendingAuth(start.challenge), 0);
    ASSERT_EQ(client.SetPendingProxyAuth(start.proxyChallenge), 0);
    ASSERT_STREQ(client.GetAuthorization(), start.authorization);
    ASSERT_STREQ(client.GetProxyAuthorization(), start.proxyAuthorization);
    ASSERT_EQ(client.GetHttpKeepAlive(), start.keepAlive);
    for (const Step& step : row.steps) ASSERT_EQ(Apply(client, step), 0) << client.GetLastErrorText();
    const State& e = row.expected;
    EXPECT_EQ(client.GetAuthScheme(), e.scheme);
    EXPECT_STREQ(client.GetUser(), e.user);
    EXPECT_STREQ(client.GetPassword(), e.password);
    ExpectText(client.GetAuthorization(), e.authorization, "Authorization");
    EXPECT_STREQ(client.GetPendingAuth(), e.challenge);
    EXPECT_EQ(client.GetHttpKeepAlive(), e.keepAlive);
    EXPECT_EQ(client.GetProxyAuthScheme(), e.proxyScheme);
    EXPECT_STREQ(client.GetProxyUser(), e.proxyUser);
    EXPECT_STREQ(client.GetProxyPassword(), e.proxyPassword);
    ExpectText(client.GetProxyAuthorization(), e.proxyAuthorization, "ProxyAuthorization");
    EXPECT_STREQ(client.GetPendingProxyAuth(), e.proxyChallenge);
  }
}

}  // namespace
