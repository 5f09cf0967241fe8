#pragma once
// Helpers of the X.509 tests: hex of strings, openssl text dumps read as
// label -> hex, and the tree of a DER file laid out the way asn1parse prints it.
#include <cctype>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "TestText.h"
#include "core/text/ByteString.h"
#include "pki/der/DerCodec.h"
#include "pki/der/DerElement.h"

namespace x509test {

inline std::string HexOf(const tornell::ByteString& s) { return testsupport::Hex(s.Data(), static_cast<size_t>(s.Length())); }

inline std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Hex without leading zero bytes, lower case.
inline std::string Magnitude(const std::string& hex) {
  std::string h = Lower(hex);
  size_t i = 0;
  while (i + 2 <= h.size() && h.compare(i, 2, "00") == 0) i += 2;
  return h.substr(i);
}

// "label:" followed by indented lines of colon-separated hex, as openssl's
// -text prints key values.
inline std::map<std::string, std::string> HexBlocks(const std::string& text) {
  std::map<std::string, std::string> blocks;
  std::string current;
  for (std::string line : testsupport::Lines(text)) {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (!line.empty() && line[0] != ' ' && line.back() == ':') {
      current = line.substr(0, line.size() - 1);
      blocks[current];
    } else if (!line.empty() && line[0] == ' ' && !current.empty()) {
      std::string hex;
      bool plain = true;
      for (char c : line) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
          hex += c;
        } else if (c != ':' && c != ' ') {
          plain = false;
        }
      }
      if (plain) blocks[current] += Lower(hex);
    } else {
      current.clear();
    }
  }
  return blocks;
}

// offset, depth, header length, content length
using TreeRow = std::tuple<size_t, int, size_t, size_t>;

inline std::vector<TreeRow> AsnRows(const std::string& asn1parseOutput) {
  std::vector<TreeRow> rows;
  for (const std::string& line : testsupport::Lines(asn1parseOutput)) {
    size_t offset = 0, hl = 0, l = 0;
    int depth = 0;
    if (std::sscanf(line.c_str(), " %zu:d=%d hl=%zu l=%zu", &offset, &depth, &hl, &l) == 4) {
      rows.emplace_back(offset, depth, hl, l);
    }
  }
  return rows;
}

inline size_t HeaderLength(size_t content) {
  size_t k = 0;
  for (size_t v = content; v != 0; v >>= 8) ++k;
  return content < 128 ? 2 : 2 + k;
}

// Total encoded length of a node of a parsed tree (minimal headers, as DER has).
inline size_t TotalLength(const tornell::pki::DerElement& node) {
  if (!node.body.output.IsEmpty()) {
    return tornell::pki::DerElementLength(reinterpret_cast<const uint8_t*>(node.body.output.Data()),
                                          static_cast<size_t>(node.body.output.Length()));
  }
  size_t content = 0;
  for (const tornell::pki::DerElement* c = node.firstChild; c != nullptr; c = c->nextSibling) content += TotalLength(*c);
  return HeaderLength(content) + content;
}

inline void TreeRows(const tornell::pki::DerElement& node, size_t offset, int depth, std::vector<TreeRow>& rows) {
  const size_t total = TotalLength(node);
  size_t hl = 0;
  if (!node.body.output.IsEmpty()) {
    size_t available = static_cast<size_t>(node.body.output.Length());
    int tag = 0;
    const uint8_t* start = reinterpret_cast<const uint8_t*>(node.body.output.Data());
    const uint8_t* content = tornell::pki::DerParseHeader(start, available, tag);
    hl = content != nullptr ? static_cast<size_t>(content - start) : 0;
  } else {
    size_t content = 0;
    for (const tornell::pki::DerElement* c = node.firstChild; c != nullptr; c = c->nextSibling) content += TotalLength(*c);
    hl = HeaderLength(content);
  }
  rows.emplace_back(offset, depth, hl, total - hl);
  size_t at = offset + hl;
  for (const tornell::pki::DerElement* c = node.firstChild; c != nullptr; c = c->nextSibling) {
    TreeRows(*c, at, depth + 1, rows);
    at += TotalLength(*c);
  }
}

}  // namespace x509test
