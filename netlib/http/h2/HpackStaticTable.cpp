#include "http/h2/HpackStaticTable.h"

#include <cstring>

#include "core/base/Status.h"

namespace tornell {

namespace {

struct StaticEntry {
  const char* name;
  const char* value;
};

// RFC 7541 Appendix A.
constexpr StaticEntry kStaticEntries[HpackStaticTable::kStaticCount] = {
    {":authority", ""}, {":method", "GET"}, {":method", "POST"}, {":path", "/"},
    {":path", "/index.html"}, {":scheme", "http"}, {":scheme", "https"}, {":status", "200"},
    {":status", "204"}, {":status", "206"}, {":status", "304"}, {":status", "400"},
    {":status", "404"}, {":status", "500"}, {"accept-charset", ""}, {"accept-encoding", "gzip, deflate"},
    {"accept-language", ""}, {"accept-ranges", ""}, {"accept", ""}, {"access-control-allow-origin", ""},
    {"age", ""}, {"allow", ""}, {"authorization", ""}, {"cache-control", ""},
    {"content-disposition", ""}, {"content-encoding", ""}, {"content-language", ""}, {"content-length", ""},
    {"content-location", ""}, {"content-range", ""}, {"content-type", ""}, {"cookie", ""},
    {"date", ""}, {"etag", ""}, {"expect", ""}, {"expires", ""},
    {"from", ""}, {"host", ""}, {"if-match", ""}, {"if-modified-since", ""},
    {"if-none-match", ""}, {"if-range", ""}, {"if-unmodified-since", ""}, {"last-modified", ""},
    {"link", ""}, {"location", ""}, {"max-forwards", ""}, {"proxy-authenticate", ""},
    {"proxy-authorization", ""}, {"range", ""}, {"referer", ""}, {"refresh", ""},
    {"retry-after", ""}, {"server", ""}, {"set-cookie", ""}, {"strict-transport-security", ""},
    {"transfer-encoding", ""}, {"user-agent", ""}, {"vary", ""}, {"via", ""},
    {"www-authenticate", ""},
};

bool SameBytes(const ByteString& held, const void* bytes, int length) {
  return held.Length() == length && (length == 0 || std::memcmp(held.Data(), bytes, static_cast<size_t>(length)) == 0);
}

}  // namespace

HpackStaticTable::HpackStaticTable() {
  // Only memory can fail here; the table then reads as short and every
  // index past it is refused.
  (void)Reset();
}

int HpackStaticTable::Add(const char* name, const char* value) {
  HpackHeaderField field;
  TORNELL_TRY(field.Set(name, static_cast<int>(std::strlen(name)), value, static_cast<int>(std::strlen(value))));
  return entries_.Add(field);
}

int HpackStaticTable::Reset() {
  TORNELL_TRY(entries_.Clear());
  size_ = 0;
  maxSize_ = kDefaultMaxSize;
  sizeLimit_ = kDefaultMaxSize;
  pendingSizeUpdate_ = -1;
  TORNELL_TRY(Add("", ""));
  for (const StaticEntry& entry : kStaticEntries) TORNELL_TRY(Add(entry.name, entry.value));
  return kStatusOk;
}

const HpackHeaderField* HpackStaticTable::Get(int index) {
  if (index < 0 || index >= entries_.Count()) return nullptr;
  return entries_.Get(index);
}

void HpackStaticTable::EvictTo(int maxSize) {
  while (size_ > maxSize && entries_.Count() > kFirstDynamic) {
    const int last = entries_.Count() - 1;
    size_ -= entries_.Get(last)->Size();
    (void)entries_.RemoveAt(last);  // cannot fail for an index inside the list
  }
}

int HpackStaticTable::Insert(int index, const void* name, int nameLength, const void* value, int valueLength) {
  const int64_t entrySize = int64_t{HpackHeaderField::kEntryOverhead} + nameLength + valueLength;
  if (entrySize > maxSize_) {
    EvictTo(0);
    return kStatusOk;
  }
  // Make room first: the new entry may not refer to one it pushes out, and
  // the copy is ready before anything changes.
  HpackHeaderField field;
  TORNELL_TRY(field.Set(name, nameLength, value, valueLength));
  EvictTo(maxSize_ - static_cast<int>(entrySize));
  if (index < kFirstDynamic) index = kFirstDynamic;
  TORNELL_TRY(entries_.Add(index, field));
  size_ += static_cast<int>(entrySize);
  return kStatusOk;
}

int HpackStaticTable::FindNameValue(const void* name, int nameLength, const void* value, int valueLength) {
  for (int i = 1; i < entries_.Count(); ++i) {
    const HpackHeaderField* entry = entries_.Get(i);
    if (entry != nullptr && SameBytes(entry->Name, name, nameLength) && SameBytes(entry->Value, value, valueLength)) {
      return i;
    }
  }
  return -1;
}

int HpackStaticTable::FindName(const void* name, int nameLength) {
  for (int i = 1; i < entries_.Count(); ++i) {
    const HpackHeaderField* entry = entries_.Get(i);
    if (entry != nullptr && SameBytes(entry->Name, name, nameLength)) return i;
  }
  return -1;
}

int HpackStaticTable::SetMaxSize(int maxSize) {
  if (maxSize < 0) maxSize = 0;
  maxSize_ = maxSize;
  EvictTo(maxSize_);
  return kStatusOk;
}

int HpackStaticTable::SetEncoderMaxSize(int peerSetting) {
  const int wanted = (peerSetting < 0 || peerSetting > kDefaultMaxSize) ? kDefaultMaxSize : peerSetting;
  if (wanted == maxSize_) return kStatusOk;
  if (pendingSizeUpdate_ < 0 || wanted < pendingSizeUpdate_) pendingSizeUpdate_ = wanted;
  return SetMaxSize(wanted);
}

}  // namespace tornell
