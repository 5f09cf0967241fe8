#pragma once
// One header field (name and value, any bytes) as the header tables hold it.
#include <new>

#include "core/text/ByteString.h"

namespace tornell {

class HpackHeaderField {
 public:
  // Per-entry overhead of the table size accounting (RFC 7541 section 4.1).
  static constexpr int kEntryOverhead = 32;

  HpackHeaderField() = default;

  [[nodiscard]] int Set(const void* name, int nameLength, const void* value, int valueLength) {
    int status = Name.Set(name, nameLength);
    return status != kStatusOk ? status : Value.Set(value, valueLength);
  }

  const char* GetName() const { return Name.CStr(); }
  int NameLength() const { return Name.Length(); }
  const char* GetValue() const { return Value.CStr(); }
  int ValueLength() const { return Value.Length(); }
  int Size() const { return kEntryOverhead + Name.Length() + Value.Length(); }

  // Heap copy for PtrList; null when memory runs out.
  HpackHeaderField* Clone() const {
    HpackHeaderField* copy = new (std::nothrow) HpackHeaderField();
    if (copy != nullptr && copy->Set(Name.Data(), Name.Length(), Value.Data(), Value.Length()) != kStatusOk) {
      delete copy;
      copy = nullptr;
    }
    return copy;
  }

  ByteString Name;
  ByteString Value;
};

}  // namespace tornell
