#include "pki/der/DerElement.h"

#include <new>

#include "core/base/Status.h"
#include "core/secure/SecureWipe.h"
#include "pki/der/DerCodec.h"

namespace tornell::pki {

namespace {

const uint8_t* BodyBytes(const DerWriter& body) { return reinterpret_cast<const uint8_t*>(body.output.Data()); }

}  // namespace

DerElement::~DerElement() {
  if (secret_) SecureWipe(body.output.Data(), static_cast<size_t>(body.output.Length()));
  DerElement* stack = nullptr;
  auto push = [&stack](DerElement*& node) {
    if (node != nullptr) {
      node->pending_ = stack;
      stack = node;
      node = nullptr;
    }
  };
  push(firstChild);
  push(nextSibling);
  while (stack != nullptr) {
    DerElement* node = stack;
    stack = node->pending_;
    push(node->firstChild);
    push(node->nextSibling);
    delete node;  // has no links left, so nothing recurses
  }
}

int DerElement::ClearBody() {
  if (secret_) SecureWipe(body.output.Data(), static_cast<size_t>(body.output.Length()));
  return body.output.Clear();
}

void DerElement::ReleaseChildren() {
  delete firstChild;
  firstChild = nullptr;
  childCount = 0;
}

DerElement* DerElement::Child(int i) const {
  if (i < 0 || i >= childCount) return nullptr;
  DerElement* node = firstChild;
  for (int k = 0; k < i && node != nullptr; ++k) node = node->nextSibling;
  return node;
}

int DerElement::SplitFrom(const uint8_t* data, size_t available, bool deep, bool& split) {
  split = false;
  if (DerElementLength(data, available) == 0) return kDerMissing;
  int headerTag = 0;
  size_t contentLength = available;
  const uint8_t* content = DerParseHeader(data, contentLength, headerTag);
  if (content == nullptr) return kDerMalformed;
  tag = static_cast<uint8_t>(headerTag);
  if (contentLength == 0 || DerElementLength(content, contentLength) == 0) return kStatusOk;

  ReleaseChildren();
  DerElement* last = nullptr;
  while (contentLength > 0) {
    const size_t m = DerElementLength(content, contentLength);
    if (m == 0) return kDerMalformed;
    DerElement* child = new (std::nothrow) DerElement();
    if (child == nullptr) return kDerMalformed;
    (last == nullptr ? firstChild : last->nextSibling) = child;
    last = child;
    ++childCount;
    child->tag = content[0];
    child->secret_ = secret_;
    if (deep && child->IsConstructed()) {
      child->source_ = content;
      child->sourceLength_ = m;
    } else {
      TORNELL_TRY(child->body.output.Set(content, static_cast<int>(m)));
    }
    content += m;
    contentLength -= m;
  }
  split = true;
  return kStatusOk;
}

int DerElement::SplitChildren() {
  bool split = false;
  TORNELL_TRY(SplitFrom(BodyBytes(body), static_cast<size_t>(body.output.Length()), false, split));
  return split ? ClearBody() : kStatusOk;
}

int DerElement::Parse() {
  if (body.output.IsEmpty()) return kStatusOk;
  tag = body.output.Bytes()[0];
  if (!IsConstructed()) return kStatusOk;
  // Constructed nodes below the root are split straight from the root's
  // bytes: nothing is copied but the primitive leaves, so the work is
  // linear in the input whatever its depth.
  bool split = false;
  TORNELL_TRY(SplitFrom(BodyBytes(body), static_cast<size_t>(body.output.Length()), true, split));
  if (!split) return kStatusOk;

  DerElement* stack = nullptr;
  auto pushChildren = [&stack](DerElement* parent) {
    // Pushed so that the first child comes off first: document order.
    DerElement* head = nullptr;
    DerElement* tail = nullptr;
    for (DerElement* c = parent->firstChild; c != nullptr; c = c->nextSibling) {
      if (c->source_ == nullptr) continue;
      c->pending_ = nullptr;
      (tail == nullptr ? head : tail->pending_) = c;
      tail = c;
    }
    if (tail != nullptr) {
      tail->pending_ = stack;
      stack = head;
    }
  };
  pushChildren(this);
  int status = kStatusOk;
  while (stack != nullptr && status == kStatusOk) {
    DerElement* node = stack;
    stack = node->pending_;
    node->pending_ = nullptr;
    const uint8_t* from = node->source_;
    const size_t length = node->sourceLength_;
    node->source_ = nullptr;
    status = node->SplitFrom(from, length, true, split);
    if (status == kStatusOk && !split) status = node->body.output.Set(from, static_cast<int>(length));
    if (status == kStatusOk && split) pushChildren(node);
  }
  // Nodes left unvisited after a failure must not keep pointers into the body.
  for (; stack != nullptr; stack = stack->pending_) stack->source_ = nullptr;
  if (status != kStatusOk) return status;
  return ClearBody();
}

}  // namespace tornell::pki
