#include "http/headers/HttpHeaderList.h"

#include "core/base/Status.h"
#include "core/text/TextUtils.h"

namespace tornell {

int HttpHeaderList::Add(const char* name, const char* value) {
  if (name != nullptr && *name != '\0') {
    // Both entries or neither: a failed value must not leave a lone name
    // that shifts every later pair.
    TORNELL_TRY(entries_.Add(name));
    const int status = entries_.Add(value != nullptr ? value : "");
    if (status != kStatusOk) {
      const int dropped = entries_.RemoveLast();
      (void)dropped;  // removing the last entry only shrinks
      return status;
    }
    return kStatusOk;
  }
  if (value == nullptr || Count() == 0) return kStatusOk;
  if (entries_.EntryLength(entries_.Count() - 1) > 0) TORNELL_TRY(entries_.AppendToLast(" "));
  return entries_.AppendToLast(value);
}

int HttpHeaderList::CheckIndex(int i) const {
  return (i >= 0 && i < Count()) ? kStatusOk : kStatusIndexRange;
}

const char* HttpHeaderList::Name(int i) const {
  return CheckIndex(i) == kStatusOk ? entries_.Get(2 * i) : "";
}

const char* HttpHeaderList::Value(int i) const {
  return CheckIndex(i) == kStatusOk ? entries_.Get(2 * i + 1) : "";
}

const char* HttpHeaderList::Find(const char* name) const {
  if (name == nullptr) return "";
  for (int i = 0; i < Count(); ++i) {
    if (CompareNoCase(entries_.Get(2 * i), name) == 0) return entries_.Get(2 * i + 1);
  }
  return "";
}

}  // namespace tornell
