#pragma once
// A node of a parsed DER tree. Until it is split its body holds its complete
// encoding; a split moves the content into children linked through their
// next-sibling pointers. A node owns its first child and its next sibling.
#include <cstddef>
#include <cstdint>

#include "pki/der/DerWriter.h"

namespace tornell::pki {

class DerElement {
 public:
  DerElement() = default;
  // Frees the subtree and every later sibling without recursion, so a tree of
  // any depth or width is safe to drop.
  virtual ~DerElement();
  DerElement(const DerElement&) = delete;
  DerElement& operator=(const DerElement&) = delete;

  // One level: the element in the body becomes a list of children.
  [[nodiscard]] virtual int SplitChildren();
  // Every constructed element below, without recursion; primitive nodes keep
  // their encoding, constructed ones end with an empty body.
  [[nodiscard]] virtual int Parse();
  [[nodiscard]] virtual int Join() { return 0; }

  // The i-th child, or null past the child count. Loops should walk
  // firstChild / nextSibling instead: each call follows i links.
  DerElement* Child(int i) const;
  // For trees of private keys: this node and every child split from it wipe
  // their encodings before giving them back.
  void MarkSecret() { secret_ = true; }
  bool IsConstructed() const { return (tag & 0x20) != 0; }

  DerWriter body;
  uint8_t tag = 0x04;
  int childCount = 0;
  DerElement* firstChild = nullptr;
  DerElement* nextSibling = nullptr;

 private:
  // Drops the children of this node (not its siblings).
  void ReleaseChildren();
  [[nodiscard]] int ClearBody();
  // Builds the children of the element at data, copying only the bytes of
  // nodes that keep a body when deep is set.
  [[nodiscard]] int SplitFrom(const uint8_t* data, size_t available, bool deep, bool& split);

  // Work-list link of Parse and the destructor.
  DerElement* pending_ = nullptr;
  // Where Parse finds this node's bytes while its body stays empty.
  const uint8_t* source_ = nullptr;
  size_t sourceLength_ = 0;
  bool secret_ = false;
};

}  // namespace tornell::pki
