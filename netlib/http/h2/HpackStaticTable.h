#pragma once
// One direction's HPACK header table: index 0 a placeholder, 1 to 61 the
// static table, from 62 the dynamic entries, newest first. The dynamic part
// is bounded by RFC 7541 section 4: each entry counts 32 + name + value bytes
// and the oldest go first when the table would exceed its maximum size.
#include "core/buffer/PtrList.h"
#include "http/h2/HpackHeaderField.h"

namespace tornell {

class HpackStaticTable {
 public:
  static constexpr int kStaticCount = 61;
  static constexpr int kFirstDynamic = 62;
  // SETTINGS_HEADER_TABLE_SIZE's default; we never advertise another value.
  static constexpr int kDefaultMaxSize = 4096;

  HpackStaticTable();
  HpackStaticTable(const HpackStaticTable&) = delete;
  HpackStaticTable& operator=(const HpackStaticTable&) = delete;

  // Static entries only, maximum size and limit back to 4096.
  [[nodiscard]] int Reset();

  int Count() const { return entries_.Count(); }
  int DynamicCount() const { return entries_.Count() - kFirstDynamic; }
  // The entry at an HPACK index; null outside 0 .. Count() - 1.
  const HpackHeaderField* Get(int index);

  // A copy of the field goes in at the index (clamped to the dynamic part;
  // past the end appends), then the oldest entries are evicted until the
  // table fits. A field larger than the maximum empties the dynamic part and
  // is not kept.
  [[nodiscard]] int Insert(int index, const void* name, int nameLength, const void* value, int valueLength);

  // Smallest index from 1 whose name (and value) equal the bytes; -1 if none.
  int FindNameValue(const void* name, int nameLength, const void* value, int valueLength);
  int FindName(const void* name, int nameLength);

  // Sum of the dynamic entries' sizes.
  int Size() const { return size_; }
  int MaxSize() const { return maxSize_; }
  // Sets the maximum size, evicting down to it (a size update).
  [[nodiscard]] int SetMaxSize(int maxSize);

  // Decoder side: the largest maximum a peer's size update may ask for.
  int SizeLimit() const { return sizeLimit_; }
  void SetSizeLimit(int limit) { sizeLimit_ = limit; }

  // Encoder side: the peer's SETTINGS_HEADER_TABLE_SIZE. The maximum becomes
  // min(4096, setting); a change is announced by size updates at the start
  // of the next header block.
  [[nodiscard]] int SetEncoderMaxSize(int peerSetting);
  // The smallest maximum since the last block, -1 when no update is owed.
  int PendingSizeUpdate() const { return pendingSizeUpdate_; }
  void ClearPendingSizeUpdate() { pendingSizeUpdate_ = -1; }

 private:
  [[nodiscard]] int Add(const char* name, const char* value);
  void EvictTo(int maxSize);

  PtrList<HpackHeaderField> entries_;
  int size_ = 0;
  int maxSize_ = kDefaultMaxSize;
  int sizeLimit_ = kDefaultMaxSize;
  int pendingSizeUpdate_ = -1;
};

}  // namespace tornell
