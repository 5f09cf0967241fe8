#pragma once
// Helpers shared by the JSON tests: parsing a text and listing a tree in the
// form the Python reference prints.
#include <string>

#include "pki/json/JsonParser.h"

namespace jsontest {

inline std::string Hex(const char* data, int length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (int i = 0; i < length; ++i) {
    const unsigned char b = static_cast<unsigned char>(data[i]);
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out.empty() ? "-" : out;
}

inline std::string Hex(const std::string& s) { return Hex(s.data(), static_cast<int>(s.size())); }

// Nodes in document order as depth:type:hex(name):hex(value); walked without
// recursion so deep trees list too.
inline std::string Listing(const tornell::pki::JsonNode* root) {
  std::string out;
  const tornell::pki::JsonNode* node = root;
  int depth = 0;
  while (node != nullptr) {
    if (!out.empty()) out += ' ';
    out += std::to_string(depth) + ':' + std::to_string(node->Type()) + ':' +
           Hex(node->Name(), static_cast<int>(std::char_traits<char>::length(node->Name()))) + ':' +
           Hex(node->Value().Data(), node->Value().Length());
    if (node->FirstChild() != nullptr) {
      node = node->FirstChild();
      ++depth;
      continue;
    }
    while (node != nullptr && node != root && node->Next() == nullptr) {
      node = node->Parent();
      --depth;
    }
    node = (node == nullptr || node == root) ? nullptr : node->Next();
  }
  return out;
}

// A parser set up as the key reader sets it up, with escapes resolved too.
inline void Prepare(tornell::pki::JsonParser& parser, int decoding = 3) {
  static_cast<void>(parser.Restart());
  static_cast<void>(parser.SetValueDecoding(decoding));
  static_cast<void>(parser.SetRawContainerText(1));
  static_cast<void>(parser.SetBuildDom(1));
}

}  // namespace jsontest
