// Session entries and the bounded server cache with its eviction.
#include <gtest/gtest.h>

#include <string>

#include "tls/engine/SessionCache.h"

using namespace tornell;

namespace {

// Adds a copy of an entry with that id, secret and time.
int Add(SessionCache& cache, const std::string& id, const std::string& secret, uint64_t time) {
  SessionCacheEntry entry;
  EXPECT_EQ(entry.sessionId.Set(id.data(), int(id.size())), 0);
  EXPECT_EQ(entry.secret.Set(secret.data(), int(secret.size())), 0);
  entry.time = time;
  return cache.Add(entry);
}

// Fills the cache with valid entries "id0".."idN-1" whose time is 1000 + i.
void Fill(SessionCache& cache, int n) {
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(Add(cache, "id" + std::to_string(i), "secret", 1000 + i), 0);
  }
}

bool Has(SessionCache& cache, const std::string& id) {
  for (int i = 0; i < cache.Count(); ++i) {
    if (cache.Get(i)->IdEquals(id.data(), int(id.size()))) return true;
  }
  return false;
}

TEST(SessionCacheEntry, SetTouchAndCompare) {
  SessionCacheEntry entry;
  EXPECT_TRUE(entry.IsEmpty());
  EXPECT_FALSE(entry.IsValid());
  ASSERT_EQ(entry.host.Set("Example.com"), 0);
  ASSERT_EQ(entry.Set(ByteString("id"), ByteString("master")), 0);
  EXPECT_TRUE(entry.IsValid());
  EXPECT_STREQ(entry.host.CStr(), "Example.com");  // Set leaves the host
  EXPECT_TRUE(entry.HostMatches("Example.com"));
  EXPECT_FALSE(entry.HostMatches("example.com"));
  EXPECT_FALSE(entry.HostMatches(nullptr));
  EXPECT_TRUE(entry.IdEquals("id", 2));
  EXPECT_FALSE(entry.IdEquals("id", 1));
  EXPECT_FALSE(entry.IdEquals("ie", 2));

  SessionCacheEntry copy;
  ASSERT_EQ(copy.CopyFrom(entry), 0);
  EXPECT_EQ(copy.time, entry.time);
  EXPECT_STREQ(copy.secret.CStr(), "master");
  copy.time = entry.time + 1;
  EXPECT_TRUE(entry.IsOlderThan(copy));
  EXPECT_FALSE(copy.IsOlderThan(entry));
}

TEST(SessionCache, FullCacheDropsTheOldest) {
  SessionCache cache;
  Fill(cache, 200);
  // Make a middle entry the oldest.
  cache.Get(57)->time = 5;
  ASSERT_EQ(Add(cache, "new", "secret", 9999), 0);
  EXPECT_EQ(cache.Count(), 200);
  EXPECT_FALSE(Has(cache, "id57"));
  EXPECT_TRUE(Has(cache, "id0"));
  EXPECT_TRUE(Has(cache, "new"));
}

TEST(SessionCache, InvalidEntriesGoInsteadOfTheOldest) {
  SessionCache cache;
  Fill(cache, 200);
  ASSERT_EQ(cache.Get(120)->secret.Clear(), 0);  // invalid
  ASSERT_EQ(Add(cache, "new", "secret", 9999), 0);
  EXPECT_EQ(cache.Count(), 200);
  EXPECT_FALSE(Has(cache, "id120"));
  EXPECT_TRUE(Has(cache, "id0"));  // the oldest stays
  // Two invalid entries: both go, and nothing else.
  ASSERT_EQ(cache.Get(3)->secret.Clear(), 0);
  ASSERT_EQ(cache.Get(9)->sessionId.Clear(), 0);
  ASSERT_EQ(Add(cache, "newer", "secret", 10000), 0);
  EXPECT_EQ(cache.Count(), 199);
  EXPECT_FALSE(Has(cache, "id3"));
  EXPECT_TRUE(Has(cache, "id0"));
}

TEST(SessionCache, EqualOldestTimesDropTheLaterEntry) {
  SessionCache cache;
  Fill(cache, 200);
  cache.Get(10)->time = 1;
  cache.Get(150)->time = 1;
  ASSERT_EQ(Add(cache, "new", "secret", 9999), 0);
  EXPECT_TRUE(Has(cache, "id10"));
  EXPECT_FALSE(Has(cache, "id150"));
}

TEST(SessionCache, FindRemovesAnInvalidMatch) {
  SessionCache cache;
  ASSERT_EQ(Add(cache, "good", "secret", 1), 0);
  ASSERT_EQ(Add(cache, "bad", "", 2), 0);
  SessionCacheEntry* found = cache.Find("good", 4);
  ASSERT_NE(found, nullptr);
  EXPECT_STREQ(found->secret.CStr(), "secret");
  EXPECT_EQ(cache.Find("bad", 3), nullptr);
  EXPECT_EQ(cache.Count(), 1);
  EXPECT_EQ(cache.Find("bad", 3), nullptr);
  EXPECT_EQ(cache.Count(), 1);
  EXPECT_EQ(cache.Find("goo", 3), nullptr);
}

TEST(SessionCache, CopyAppendsToWhatIsThere) {
  SessionCache source;
  source.SetCapacity(7);
  ASSERT_EQ(Add(source, "a", "s", 1), 0);
  ASSERT_EQ(Add(source, "b", "s", 2), 0);
  SessionCache target;
  ASSERT_EQ(Add(target, "c", "s", 3), 0);
  ASSERT_EQ(target.CopyFrom(source), 0);
  EXPECT_EQ(target.GetCapacity(), 7);
  ASSERT_EQ(target.Count(), 3);
  EXPECT_TRUE(target.Get(0)->IdEquals("c", 1));
  EXPECT_TRUE(target.Get(2)->IdEquals("b", 1));
  EXPECT_EQ(source.Count(), 2);
}

}  // namespace
