// Key tables: crafted files, and files written by the MIT tools compared with
// klist -kteK and with our string-to-key.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "TestText.h"
#include "net/kerberos/Keytab.h"
#include "net/kerberos/KerberosClient.h"

namespace {

using tornell::ByteString;
using tornell::net::Keytab;
using tornell::net::KeytabEntry;
using testsupport::Hex;

std::string U16(unsigned v) { return std::string{static_cast<char>(v >> 8), static_cast<char>(v)}; }
std::string U32(uint32_t v) { return U16(v >> 16) + U16(v & 0xFFFF); }
std::string Counted(const std::string& s) { return U16(static_cast<unsigned>(s.size())) + s; }

struct Fields {
  std::string realm = "R";
  std::vector<std::string> components = {"HTTP", "host"};
  int keyType = 18;
  std::string key = std::string(32, 'k');
  uint32_t timestamp = 0x5f000000;
  int kvno = 2;
};

// One entry; kvno32 adds the 32-bit key version, tail adds bytes its size covers.
std::string Entry(int minor, const Fields& f, bool kvno32 = false, const std::string& tail = "") {
  std::string body = U16(static_cast<unsigned>(f.components.size())) + Counted(f.realm);
  for (const std::string& c : f.components) body += Counted(c);
  if (minor != 1) body += U32(1);
  body += U32(f.timestamp) + std::string(1, static_cast<char>(f.kvno)) + U16(static_cast<unsigned>(f.keyType)) +
          Counted(f.key);
  if (kvno32) body += U32(0x100 + static_cast<uint32_t>(f.kvno));
  body += tail;
  return U32(static_cast<uint32_t>(body.size())) + body;
}

std::string Hole(int size) { return U32(static_cast<uint32_t>(-size)) + std::string(static_cast<size_t>(size), '\0'); }

int Parse(Keytab& keytab, const std::string& bytes) {
  return keytab.Parse(bytes.data(), static_cast<int>(bytes.size()));
}

TEST(Keytab, CraftedFiles) {
  Keytab keytab;
  ASSERT_EQ(keytab.SetFileName("crafted"), 0);
  Fields rc4;
  rc4.keyType = 23;
  rc4.key = std::string(16, 'r');
  rc4.components = {"other"};
  const std::string file = "\x05\x02" + Entry(2, Fields{}) + Entry(2, rc4, true) + Entry(2, rc4, false, "xyz");
  ASSERT_EQ(Parse(keytab, file), 0);
  ASSERT_EQ(keytab.Count(), 3);
  EXPECT_EQ(keytab.GetMajorVersion(), 5);
  EXPECT_EQ(keytab.GetMinorVersion(), 2);
  EXPECT_EQ(keytab.Entry(0)->nameType, 1);
  EXPECT_EQ(keytab.Entry(0)->keyVersion32, 0);   // size ends at the key
  EXPECT_EQ(keytab.Entry(1)->keyVersion32, 0x102);
  EXPECT_EQ(keytab.Entry(2)->keyVersion32, 0);   // fewer than 4 bytes left
  EXPECT_EQ(keytab.SelectKey(18), 1);
  EXPECT_STREQ(keytab.GetSelectedPrincipal(), "HTTP/host");
  EXPECT_STREQ(keytab.GetSelectedRealm(), "R");
  EXPECT_EQ(keytab.SelectKey(23), 1);  // the first of two wins
  EXPECT_STREQ(keytab.GetSelectedPrincipal(), "other");
  EXPECT_EQ(keytab.SelectKey(17), 0);
  // A second load appends.
  ASSERT_EQ(Parse(keytab, "\x05\x02" + Entry(2, Fields{})), 0);
  EXPECT_EQ(keytab.Count(), 4);
}

TEST(Keytab, VersionOneHasNoNameType) {
  Keytab keytab;
  ASSERT_EQ(keytab.SetFileName("crafted"), 0);
  Fields f;
  f.timestamp = 0x01020304;
  ASSERT_EQ(Parse(keytab, "\x05\x01" + Entry(1, f, true)), 0);
  ASSERT_EQ(keytab.Count(), 1);
  EXPECT_EQ(keytab.Entry(0)->nameType, 0);
  EXPECT_EQ(keytab.Entry(0)->timestamp, 0x01020304);
  EXPECT_EQ(keytab.Entry(0)->keyVersion32, 0x102);
  EXPECT_EQ(keytab.SelectKey(18), 1);
  EXPECT_EQ(Hex(std::string(keytab.GetSelectedKey().Data(), 32)), Hex(f.key));
}

TEST(Keytab, HolesAreSkippedAndBadFilesFail) {
  Keytab keytab;
  ASSERT_EQ(keytab.SetFileName("crafted"), 0);
  ASSERT_EQ(Parse(keytab, "\x05\x02" + Hole(80) + Hole(64) + Entry(2, Fields{})), 0);
  ASSERT_EQ(keytab.Count(), 1);
  EXPECT_EQ(keytab.SelectKey(18), 1);
  EXPECT_STREQ(keytab.GetSelectedPrincipal(), "HTTP/host");

  Keytab empty;
  EXPECT_EQ(Parse(empty, "\x05\x02"), 0);
  EXPECT_EQ(empty.Count(), 0);
  EXPECT_EQ(empty.SelectKey(18), 0);  // no file name: no keytab in use

  const std::string good = "\x05\x02" + Entry(2, Fields{});
  struct Bad {
    const char* what;
    std::string bytes;
  };
  std::string overstated = good;
  overstated[5] = static_cast<char>(overstated[5] + 1);  // size one past the file
  std::string understated = good;
  understated[5] = static_cast<char>(understated[5] - 40);  // key length passes the entry
  const Bad cases[] = {
      {"one byte", "\x05"},
      {"truncated", good.substr(0, good.size() - 5)},
      {"size past the file", overstated},
      {"field past its entry", understated},
      {"hole past the file", "\x05\x02" + U32(static_cast<uint32_t>(-100)) + std::string(10, '\0')},
      {"short size", std::string("\x05\x02\x00\x00", 4)},
  };
  for (const Bad& c : cases) {
    Keytab keytab2;
    EXPECT_EQ(Parse(keytab2, c.bytes), tornell::net::kStatusKeytabTruncated) << c.what;
  }
  Keytab missing;
  ASSERT_EQ(missing.SetFileName("/nonexistent/keytab"), 0);
  EXPECT_NE(missing.Load(), 0);
}

// ---- MIT tools ----

struct KlistRow {
  int kvno;
  std::string principal;
  int etype;
  std::string key;
};

std::vector<KlistRow> ReadKlist(const std::string& path) {
  std::vector<KlistRow> rows;
  const std::map<std::string, int> etypes = {{"(aes128-cts-hmac-sha1-96)", 17},
                                             {"(aes256-cts-hmac-sha1-96)", 18},
                                             {"(DEPRECATED:arcfour-hmac)", 23},
                                             {"(arcfour-hmac)", 23}};
  for (const std::string& line : testsupport::Lines(testsupport::ReadFileText(path))) {
    const std::vector<std::string> w = testsupport::Words(line);
    if (w.size() != 6 || w[5].rfind("(0x", 0) != 0 || etypes.count(w[4]) == 0) continue;
    rows.push_back({std::stoi(w[0]), w[3], etypes.at(w[4]), w[5].substr(3, w[5].size() - 4)});
  }
  return rows;
}

class MitKeytabs : public ::testing::Test {
 protected:
  void SetUp() override {
    const bool tools = testsupport::HaveTool("/usr/sbin/kadmin.local") && testsupport::HaveTool("/usr/bin/ktutil") &&
                       testsupport::HaveTool("/usr/sbin/kdb5_util") && testsupport::HaveTool("/usr/bin/klist");
    if (!tools) {
      REQUIRE_OR_SKIP(false, "MIT Kerberos tools (krb5-user, krb5-kdc, krb5-admin-server) are not installed");
    }
    char path[] = "/tmp/tornell_krb_XXXXXX";
    ASSERT_NE(mkdtemp(path), nullptr);
    dir_ = path;
    const std::string script = (testsupport::SourceDir() / "tests/netlib/net/kerberos/mit_keytabs.sh").string();
    bool ok = false;
    testsupport::RunCommand("timeout 60 sh '" + script + "' '" + dir_ + "' 2>&1", ok);
    ASSERT_TRUE(ok) << "the MIT tools could not build the realm";
  }
  void TearDown() override {
    if (!dir_.empty()) std::filesystem::remove_all(dir_);
  }

  // The keytab as we read it equals klist's view, entry by entry.
  void Compare(const std::string& name, Keytab& keytab, std::vector<KlistRow>& rows) {
    rows = ReadKlist(dir_ + "/" + name + ".klist");
    ASSERT_FALSE(rows.empty()) << name;
    ASSERT_EQ(keytab.SetFileName((dir_ + "/" + name + ".keytab").c_str()), 0);
    ASSERT_EQ(keytab.Load(), 0) << name;
    ASSERT_EQ(keytab.Count(), static_cast<int>(rows.size())) << name;
    for (int i = 0; i < keytab.Count(); ++i) {
      const KeytabEntry* e = keytab.Entry(i);
      const KlistRow& row = rows[static_cast<size_t>(i)];
      EXPECT_EQ(e->keyType, row.etype) << name << " " << i;
      EXPECT_EQ(Hex(std::string(e->key.Data(), static_cast<size_t>(e->key.Length()))), row.key) << name << " " << i;
      EXPECT_EQ(e->keyVersion32 != 0 ? e->keyVersion32 : e->keyVersion8, row.kvno) << name << " " << i;
      std::string principal;
      for (int c = 0; c < e->components.Count(); ++c) principal += std::string(c ? "/" : "") + e->components.Get(c);
      EXPECT_EQ(principal + "@" + e->realm.CStr(), row.principal) << name << " " << i;
    }
  }

  // Each key equals our string-to-key of the password (rc4 over UTF-16LE).
  void CheckKeys(const std::vector<KlistRow>& rows, const std::string& password, const std::string& salt) {
    tornell::KerberosClient client;
    for (const KlistRow& row : rows) {
      std::string text = password;
      if (row.etype == 23) {
        text.clear();
        for (char ch : password) text += std::string{ch, '\0'};
      }
      ByteString pw, s, key;
      ASSERT_EQ(pw.Set(text.data(), static_cast<int>(text.size())), 0);
      ASSERT_EQ(s.Set(salt.c_str()), 0);
      ASSERT_EQ(client.StringToKey(row.etype, pw, s, ByteString(), key), 0);
      EXPECT_EQ(Hex(std::string(key.Data(), static_cast<size_t>(key.Length()))), row.key) << row.etype;
    }
  }

  std::string dir_;
};

TEST_F(MitKeytabs, KadminAndKtutilKeysMatch) {
  std::vector<KlistRow> rows;
  Keytab user;
  Compare("user", user, rows);
  CheckKeys(rows, "userpw", "TEST.LOCALuser");
  Keytab alice;
  Compare("alice", alice, rows);
  EXPECT_EQ(rows.size(), 3u);
  CheckKeys(rows, "alicepw", "TEST.LOCALalice");
  EXPECT_EQ(alice.SelectKey(23), 1);
  EXPECT_STREQ(alice.GetSelectedPrincipal(), "alice");
  EXPECT_STREQ(alice.GetSelectedRealm(), "TEST.LOCAL");
}

TEST_F(MitKeytabs, RemovedEntriesLeaveHoles) {
  std::vector<KlistRow> rows;
  Keytab http;
  Compare("http", http, rows);
  for (const KlistRow& row : rows) EXPECT_EQ(row.kvno, 3);
  EXPECT_EQ(http.SelectKey(18), 1);
  EXPECT_STREQ(http.GetSelectedPrincipal(), "HTTP/localhost");
}

}  // namespace
