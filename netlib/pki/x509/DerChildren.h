#pragma once
// Reading the children of a split DER node by index, as the certificate,
// private-key, CMS and PKCS#12 readers do: a missing child is 447, never a
// null read.
#include "core/base/Status.h"
#include "pki/der/DerElement.h"
#include "pki/der/DerStatus.h"

namespace tornell::pki::detail {

// Child i of a split node, 447 when the node has fewer children.
inline int ChildAt(const DerElement& node, int i, DerElement*& child) {
  child = node.Child(i);
  return child == nullptr ? kDerMissing : kStatusOk;
}

inline int SplitChildAt(const DerElement& node, int i, DerElement*& child) {
  TORNELL_TRY(ChildAt(node, i, child));
  return child->SplitChildren();
}

// The node holds the element and is split one level.
inline int LoadSplit(DerElement& node, const void* data, int length) {
  TORNELL_TRY(node.body.output.Set(data, length));
  return node.SplitChildren();
}
inline int LoadSplit(DerElement& node, const ByteString& element) {
  return LoadSplit(node, element.Data(), element.Length());
}

inline int OidOf(const DerElement& node, int i, ByteString& out) {
  DerElement* child = nullptr;
  TORNELL_TRY(ChildAt(node, i, child));
  return child->body.ReadOid(0, out);
}

inline int ContentOf(const DerElement& node, int i, ByteString& out) {
  DerElement* child = nullptr;
  TORNELL_TRY(ChildAt(node, i, child));
  return child->body.ReadElement(0, out);
}

}  // namespace tornell::pki::detail
