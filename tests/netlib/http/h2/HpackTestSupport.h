#pragma once
// Header lists as plain strings for the HPACK tests: encoding and decoding
// through the library, and the dynamic table's contents.
#include <string>
#include <utility>
#include <vector>

#include "TestText.h"
#include "core/buffer/PtrList.h"
#include "core/text/StringList.h"
#include "http/h2/HpackStaticTable.h"
#include "http/h2/Http2HeadersFrame.h"

namespace hpacktest {

using Fields = std::vector<std::pair<std::string, std::string>>;
using tornell::HpackStaticTable;
using tornell::Http2HeadersFrame;

struct Decoded {
  int status = 0;
  Fields fields;
  std::string error;
};

inline Decoded DecodeBytes(HpackStaticTable& table, const std::string& block) {
  Decoded result;
  tornell::StringList out;
  tornell::ByteString error;
  result.status = Http2HeadersFrame::DecodeHeaderBlock(block.data(), 0, static_cast<int>(block.size()), table, out,
                                                       &error);
  for (int i = 0; i + 1 < out.Count(); i += 2) {
    result.fields.emplace_back(std::string(out.Get(i), out.EntryLength(i)),
                               std::string(out.Get(i + 1), out.EntryLength(i + 1)));
  }
  result.error.assign(error.Data(), error.Length());
  return result;
}

inline Decoded DecodeHex(HpackStaticTable& table, const std::string& hex) {
  return DecodeBytes(table, testsupport::Unhex(hex));
}

// The block as bytes; empty with status set on failure.
inline std::string EncodeBytes(HpackStaticTable& table, const Fields& fields, bool huffman = true,
                               const char* withoutIndexing = "", int* status = nullptr) {
  tornell::PtrList<tornell::HpackHeaderField> list;
  for (const auto& [name, value] : fields) {
    tornell::HpackHeaderField field;
    if (field.Set(name.data(), static_cast<int>(name.size()), value.data(), static_cast<int>(value.size())) != 0 ||
        list.Add(field) != 0) {
      if (status != nullptr) *status = 200;
      return "";
    }
  }
  tornell::ByteString out;
  const int result = Http2HeadersFrame::EncodeHeaderBlock(huffman, list, table, withoutIndexing, out);
  if (status != nullptr) *status = result;
  return std::string(out.Data(), out.Length());
}

inline std::string EncodeHex(HpackStaticTable& table, const Fields& fields, bool huffman = true,
                             const char* withoutIndexing = "") {
  return testsupport::Hex(EncodeBytes(table, fields, huffman, withoutIndexing));
}

inline Fields DynamicEntries(HpackStaticTable& table) {
  Fields entries;
  for (int i = HpackStaticTable::kFirstDynamic; i < table.Count(); ++i) {
    const tornell::HpackHeaderField* entry = table.Get(i);
    entries.emplace_back(std::string(entry->Name.Data(), entry->Name.Length()),
                         std::string(entry->Value.Data(), entry->Value.Length()));
  }
  return entries;
}

}  // namespace hpacktest
