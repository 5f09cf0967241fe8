#include "net/kerberos/Keytab.h"

#include <cstdint>
#include <new>

#include "core/base/FileStream.h"
#include "core/base/Status.h"

namespace tornell::net {

namespace {

// Big-endian fields inside [position, end); every read checks the bound.
struct EntryCursor {
  const uint8_t* bytes;
  int64_t position;
  int64_t end;

  int Number(int width, uint32_t& out) {
    if (end - position < width) return kStatusKeytabTruncated;
    out = 0;
    for (int i = 0; i < width; ++i) out = out << 8 | bytes[position++];
    return kStatusOk;
  }
  int Number(int width, int& out) {
    uint32_t value = 0;
    TORNELL_TRY(Number(width, value));
    out = static_cast<int>(value);
    return kStatusOk;
  }
  int Counted(ByteString& out) {
    uint32_t length = 0;
    TORNELL_TRY(Number(2, length));
    if (end - position < static_cast<int64_t>(length)) return kStatusKeytabTruncated;
    TORNELL_TRY(out.Set(bytes + position, static_cast<int>(length)));
    position += length;
    return kStatusOk;
  }
};

}  // namespace

// The size is signed: kadmin ktremove leaves holes of negative size whose
// bytes must be skipped, and each entry ends where its size says, so that
// a longer entry from a later version does not shift the ones after it.
int KeytabEntry::Read(int minorVersion, const ByteString& file, int& position) {
  EntryCursor cursor{file.Bytes(), position, file.Length()};
  uint32_t rawSize = 0;
  TORNELL_TRY(cursor.Number(4, rawSize));
  size = static_cast<int32_t>(rawSize);
  const int64_t span = size < 0 ? -static_cast<int64_t>(size) : size;
  if (span > cursor.end - cursor.position) return kStatusKeytabTruncated;
  const int64_t entryEnd = cursor.position + span;
  if (size < 0) {
    position = static_cast<int>(entryEnd);
    return kStatusOk;
  }
  cursor.end = entryEnd;
  TORNELL_TRY(cursor.Number(2, componentCount));
  TORNELL_TRY(cursor.Counted(realm));
  ByteString component;
  for (int i = 0; i < componentCount; ++i) {
    TORNELL_TRY(cursor.Counted(component));
    TORNELL_TRY(components.Add(component.Data(), component.Length()));
  }
  if (minorVersion != 1) TORNELL_TRY(cursor.Number(4, nameType));
  TORNELL_TRY(cursor.Number(4, timestamp));
  TORNELL_TRY(cursor.Number(1, keyVersion8));
  TORNELL_TRY(cursor.Number(2, keyType));
  TORNELL_TRY(cursor.Counted(key));
  if (cursor.end - cursor.position >= 4) TORNELL_TRY(cursor.Number(4, keyVersion32));
  position = static_cast<int>(entryEnd);
  return kStatusOk;
}

KeytabEntry* KeytabEntry::Clone() const {
  auto* copy = new (std::nothrow) KeytabEntry;
  if (copy == nullptr) return nullptr;
  copy->size = size;
  copy->componentCount = componentCount;
  copy->nameType = nameType;
  copy->timestamp = timestamp;
  copy->keyVersion8 = keyVersion8;
  copy->keyVersion32 = keyVersion32;
  copy->keyType = keyType;
  if (copy->realm.Assign(realm) != 0 || copy->components.Assign(components) != 0 || copy->key.Assign(key) != 0) {
    delete copy;
    return nullptr;
  }
  return copy;
}

int Keytab::Load() {
  SecretBytes file;
  TORNELL_TRY(FileStream::ReadAll(fileName_.CStr(), file));
  return Parse(file.Data(), file.Length());
}

int Keytab::Parse(const char* data, int length) {
  // Without its two version bytes the file is not a key table.
  if (data == nullptr || length < 2) return kStatusKeytabTruncated;
  SecretBytes file;
  TORNELL_TRY(file.Set(data, length));
  majorVersion_ = file.Bytes()[0];
  minorVersion_ = file.Bytes()[1];
  int position = 2;
  while (position < file.Length()) {
    KeytabEntry entry;
    TORNELL_TRY(entry.Read(minorVersion_, file, position));
    if (!entry.IsHole()) TORNELL_TRY(entries_.Add(entry));
  }
  return kStatusOk;
}

int Keytab::SelectKey(int etype) {
  if (fileName_.Length() == 0) return 0;
  for (int i = 0; i < entries_.Count(); ++i) {
    const KeytabEntry* entry = entries_.Get(i);
    if (entry == nullptr || entry->keyType != etype) continue;
    if (selectedKey_.Assign(entry->key) != 0 || selectedRealm_.Assign(entry->realm) != 0) return 0;
    selectedPrincipal_.Clear();
    for (int c = 0; c < entry->components.Count(); ++c) {
      if (c > 0 && selectedPrincipal_.Append("/") != 0) return 0;
      if (selectedPrincipal_.Append(entry->components.Get(c), entry->components.EntryLength(c)) != 0) return 0;
    }
    return 1;
  }
  return 0;
}

}  // namespace tornell::net
