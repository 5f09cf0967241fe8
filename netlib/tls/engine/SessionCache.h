#pragma once
// Sessions kept for resumption: the client keeps one entry, the server a
// bounded list searched by the session id a ClientHello offers.
#include <cstdint>

#include "core/buffer/PtrList.h"
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"

namespace tornell {

struct SessionCacheEntry {
  ByteString sessionId;
  SecretBytes secret;  // the master secret
  ByteString host;     // the host a client made the session with; empty on a server
  uint64_t time = 0;   // millisecond tick of the last Set or Touch; wraps with the tick

  SessionCacheEntry() = default;
  SessionCacheEntry(const SessionCacheEntry&) = delete;
  SessionCacheEntry& operator=(const SessionCacheEntry&) = delete;

  // A heap copy, or null when memory runs out.
  SessionCacheEntry* Clone() const;
  // Copies both, then Touch; the host stays.
  [[nodiscard]] int Set(const ByteString& id, const ByteString& masterSecret);
  int Touch();
  [[nodiscard]] int CopyFrom(const SessionCacheEntry& other);
  bool IsEmpty() const { return sessionId.IsEmpty(); }
  bool IsValid() const { return !sessionId.IsEmpty() && !secret.IsEmpty(); }
  // Exact, case-sensitive; false for null.
  bool HostMatches(const char* text) const;
  bool IsOlderThan(const SessionCacheEntry& other) const { return time < other.time; }
  bool IdEquals(const void* bytes, int length) const;
};

class SessionCache {
 public:
  static constexpr int kDefaultCapacity = 200;

  SessionCache() = default;
  SessionCache(const SessionCache&) = delete;
  SessionCache& operator=(const SessionCache&) = delete;

  // Appends a copy, then evicts when the list outgrows the capacity.
  [[nodiscard]] int Add(const SessionCacheEntry& entry);
  // The valid entry with that id (the cache keeps it), or null; an invalid
  // entry found under the id is removed.
  SessionCacheEntry* Find(const void* id, int length);
  // Removes every invalid entry, or when there is none the single oldest one.
  void Evict();
  // Takes the capacity and appends copies of the source's entries.
  [[nodiscard]] int CopyFrom(SessionCache& source);

  int Count() const { return entries.Count(); }
  SessionCacheEntry* Get(int i) { return i >= 0 && i < entries.Count() ? entries.Get(i) : nullptr; }
  int GetCapacity() const { return capacity; }
  void SetCapacity(int n) { capacity = n; }

 private:
  PtrList<SessionCacheEntry> entries;
  int capacity = kDefaultCapacity;
};

}  // namespace tornell
