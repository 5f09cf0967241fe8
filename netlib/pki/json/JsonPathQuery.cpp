#include "pki/json/JsonPathQuery.h"

#include "core/base/Status.h"

namespace tornell::pki {

int JsonPathQuery::Push(const char* name, int length) {
  if (length < 0) length = 0;
  // The offset must fit its four base-128 digits.
  if (length > kMaxName || used_ > kMaxName - length) return kStatusNoMemory;
  TORNELL_TRY(names_.Resize(used_));
  TORNELL_TRY(names_.Append(name, length));
  TORNELL_TRY(names_.AppendByte(0));
  TORNELL_TRY(offsets_.Resize(count_ * 4));
  const char digits[4] = {static_cast<char>((used_ >> 21) & 0x7F), static_cast<char>((used_ >> 14) & 0x7F),
                          static_cast<char>((used_ >> 7) & 0x7F), static_cast<char>(used_ & 0x7F)};
  TORNELL_TRY(offsets_.Append(digits, 4));
  used_ += length + 1;
  ++count_;
  return kStatusOk;
}

int JsonPathQuery::OffsetAt(int index) const {
  int offset = 0;
  for (int i = 0; i < 4; ++i) offset = (offset << 7) | offsets_.ByteAt(index * 4 + i);
  return offset;
}

const char* JsonPathQuery::Pop() {
  if (count_ == 0) return kEmptyText;
  --count_;
  used_ = OffsetAt(count_);
  return names_.At(used_);
}

const char* JsonPathQuery::Top() const { return count_ == 0 ? kEmptyText : names_.At(OffsetAt(count_ - 1)); }

int JsonPathQuery::Reset() {
  names_.Clear();
  offsets_.Clear();
  count_ = 0;
  used_ = 0;
  valueType_ = 0;
  return kStatusOk;
}

}  // namespace tornell::pki
