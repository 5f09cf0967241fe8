#include "tls/engine/SessionCache.h"

#include <cstring>
#include <new>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"

namespace tornell {

SessionCacheEntry* SessionCacheEntry::Clone() const {
  auto* copy = new (std::nothrow) SessionCacheEntry();
  if (copy != nullptr && copy->CopyFrom(*this) != kStatusOk) {
    delete copy;
    copy = nullptr;
  }
  return copy;
}

int SessionCacheEntry::Set(const ByteString& id, const ByteString& masterSecret) {
  TORNELL_TRY(sessionId.Assign(id));
  TORNELL_TRY(secret.Assign(masterSecret));
  return Touch();
}

int SessionCacheEntry::Touch() {
  time = TickCountMs();
  return kStatusOk;
}

int SessionCacheEntry::CopyFrom(const SessionCacheEntry& other) {
  if (this == &other) return kStatusOk;
  time = other.time;
  TORNELL_TRY(sessionId.Assign(other.sessionId));
  TORNELL_TRY(secret.Assign(other.secret));
  return host.Assign(other.host);
}

bool SessionCacheEntry::HostMatches(const char* text) const { return text != nullptr && host.Equals(text); }

bool SessionCacheEntry::IdEquals(const void* bytes, int length) const {
  return length >= 0 && sessionId.Equals(bytes, length);
}

int SessionCache::Add(const SessionCacheEntry& entry) {
  TORNELL_TRY(entries.Append(entry));
  if (entries.Count() > capacity) Evict();
  return kStatusOk;
}

SessionCacheEntry* SessionCache::Find(const void* id, int length) {
  for (int i = 0; i < entries.Count(); ++i) {
    SessionCacheEntry* entry = entries.Get(i);
    if (entry == nullptr || !entry->IdEquals(id, length)) continue;
    if (entry->IsValid()) return entry;
    (void)entries.RemoveAt(i);  // removal by index cannot fail
    return nullptr;
  }
  return nullptr;
}

void SessionCache::Evict() {
  bool removedInvalid = false;
  int oldest = -1;
  for (int i = entries.Count() - 1; i >= 0; --i) {
    SessionCacheEntry* entry = entries.Get(i);
    if (entry == nullptr || !entry->IsValid()) {
      (void)entries.RemoveAt(i);
      removedInvalid = true;
      continue;
    }
    // Only strictly older replaces: of equal times the one nearer the end goes.
    if (!removedInvalid && (oldest < 0 || entry->IsOlderThan(*entries.Get(oldest)))) oldest = i;
  }
  if (!removedInvalid && oldest >= 0) (void)entries.RemoveAt(oldest);
}

int SessionCache::CopyFrom(SessionCache& source) {
  if (this == &source) return kStatusOk;
  capacity = source.capacity;
  for (int i = 0; i < source.entries.Count(); ++i) {
    SessionCacheEntry* entry = source.entries.Get(i);
    if (entry != nullptr) TORNELL_TRY(entries.Append(*entry));
  }
  return kStatusOk;
}

}  // namespace tornell
