#pragma once
// Key table files (version bytes 0x05 0x01 or 0x05 0x02): the entries in
// file order, and the key, realm and principal of the first entry of a
// requested encryption type.
#include "core/buffer/PtrList.h"
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "core/text/StringList.h"

namespace tornell::net {

constexpr int kStatusKeytabTruncated = 1;  // a field passes its entry or the file

struct KeytabEntry {
  // Negative for a hole left by a removed entry (its bytes are skipped).
  int size = 0;
  int componentCount = 0;
  int nameType = 0;  // 0 in the layout without it
  int timestamp = 0;
  int keyVersion8 = 0;
  int keyVersion32 = 0;  // 0 when the entry does not hold it
  int keyType = 0;
  ByteString realm;
  StringList components;
  SecretBytes key;

  bool IsHole() const { return size < 0; }
  // Reads one entry of the file at the position and moves the position to
  // where the entry's size says it ends. The file holds keys, so it is read
  // in place rather than copied into a reader.
  [[nodiscard]] int Read(int minorVersion, const ByteString& file, int& position);
  // The list's copy; null when memory runs out.
  KeytabEntry* Clone() const;
};

class Keytab {
 public:
  [[nodiscard]] int SetFileName(const char* name) { return fileName_.Set(name != nullptr ? name : ""); }
  const char* GetFileName() const { return fileName_.CStr(); }
  // Reads the file and appends its entries to those already held.
  [[nodiscard]] int Load();
  [[nodiscard]] int Parse(const char* data, int length);
  // 1 when an entry of the type was selected, else 0.
  int SelectKey(int etype);

  int GetMajorVersion() const { return majorVersion_; }
  int GetMinorVersion() const { return minorVersion_; }
  int Count() const { return entries_.Count(); }
  KeytabEntry* Entry(int i) { return entries_.Get(i); }
  const ByteString& GetSelectedKey() const { return selectedKey_; }
  const char* GetSelectedRealm() const { return selectedRealm_.CStr(); }
  const char* GetSelectedPrincipal() const { return selectedPrincipal_.CStr(); }

 private:
  int majorVersion_ = 0;
  int minorVersion_ = 0;
  PtrList<KeytabEntry> entries_;
  ByteString fileName_;
  SecretBytes selectedKey_;
  ByteString selectedRealm_;
  ByteString selectedPrincipal_;
};

}  // namespace tornell::net
