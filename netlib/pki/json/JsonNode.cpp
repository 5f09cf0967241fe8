#include "pki/json/JsonNode.h"

#include <climits>
#include <cstring>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "pki/json/JsonPathSteps.h"

namespace tornell::pki {

namespace {

// The text between the first "[" and the "]" after it, and the text before
// the "[", both trimmed of blanks. Without a closing "]" the whole step is
// the name.
struct SplitStep {
  ByteString name;
  ByteString predicate;
};

int SplitStepText(const char* step, SplitStep& out) {
  const char* open = std::strchr(step, '[');
  const char* close = open != nullptr ? std::strchr(open, ']') : nullptr;
  if (close == nullptr) {
    TORNELL_TRY(out.name.Set(step));
  } else {
    TORNELL_TRY(out.name.Set(step, static_cast<int>(open - step)));
    TORNELL_TRY(out.predicate.Set(open + 1, static_cast<int>(close - open - 1)));
  }
  TORNELL_TRY(out.name.TrimChar(' '));
  return out.predicate.TrimChar(' ');
}

// Decimal digits only, saturated at INT_MAX; -1 for anything else.
int ReadIndex(const char* text) {
  if (*text == '\0') return -1;
  long long value = 0;
  for (; *text != '\0'; ++text) {
    if (*text < '0' || *text > '9') return -1;
    value = value * 10 + (*text - '0');
    if (value > INT_MAX) value = INT_MAX;
  }
  return static_cast<int>(value);
}

// "last()" with an optional "-k": k, or -1 when the predicate is not of that form.
int ReadLastOffset(const char* predicate) {
  if (std::strncmp(predicate, "last()", 6) != 0) return -1;
  const char* rest = predicate + 6;
  while (*rest == ' ') ++rest;
  if (*rest == '\0') return 0;
  if (*rest != '-') return -1;
  ++rest;
  while (*rest == ' ') ++rest;
  ByteString digits;
  if (digits.Set(rest) != kStatusOk || digits.TrimChar(' ') != kStatusOk) return -1;
  return ReadIndex(digits.CStr());
}

}  // namespace

JsonNode::JsonNode(JsonNode* parent, int start) : start_(start), valueStart_(start) {
  if (parent != nullptr) static_cast<void>(parent->AppendChild(this));
}

JsonNode::JsonNode(JsonNode* parent, const char* name, int start) : JsonNode(parent, start) {
  static_cast<void>(name_.Set(name));
}

JsonNode::~JsonNode() { static_cast<void>(RemoveAllChildren()); }

int JsonNode::AppendChild(JsonNode* child) {
  if (child->parent_ != nullptr) return -1;
  child->parent_ = this;
  child->previous_ = lastChild_;
  child->next_ = nullptr;
  if (lastChild_ != nullptr) {
    lastChild_->next_ = child;
  } else {
    firstChild_ = child;
  }
  lastChild_ = child;
  ++childCount_;
  return kStatusOk;
}

int JsonNode::RemoveChild(JsonNode* child) {
  if (child == nullptr || child->parent_ != this) return kStatusOk;
  if (child->previous_ != nullptr) {
    child->previous_->next_ = child->next_;
  } else {
    firstChild_ = child->next_;
  }
  if (child->next_ != nullptr) {
    child->next_->previous_ = child->previous_;
  } else {
    lastChild_ = child->previous_;
  }
  --childCount_;
  child->parent_ = child->previous_ = child->next_ = nullptr;
  delete child;
  return kStatusOk;
}

// Deletes leaves one at a time, always the first child of its parent, so no
// destructor ever sees children and nothing recurses.
int JsonNode::RemoveAllChildren() {
  JsonNode* node = firstChild_;
  while (node != nullptr && node != this) {
    if (node->firstChild_ != nullptr) {
      node = node->firstChild_;
      continue;
    }
    JsonNode* parent = node->parent_;
    JsonNode* next = node->next_;
    parent->firstChild_ = next;
    if (next != nullptr) next->previous_ = nullptr;
    node->parent_ = node->next_ = nullptr;
    delete node;
    node = next != nullptr ? next : parent;
  }
  firstChild_ = lastChild_ = nullptr;
  childCount_ = 0;
  return kStatusOk;
}

int JsonNode::LabelText(ByteString& out, int jsonStyle) const {
  out.Clear();
  return AppendLabel(out, jsonStyle);
}

int JsonNode::AppendLabel(ByteString& out, int jsonStyle) const {
  if (!name_.IsEmpty() || parent_ == nullptr) return out.Append(name_);
  int index = jsonStyle != 0 ? 0 : 1;
  for (const JsonNode* n = previous_; n != nullptr; n = n->previous_) ++index;
  TORNELL_TRY(out.AppendByte('['));
  TORNELL_TRY(out.AppendInt(index));
  return out.AppendByte(']');
}

// XPath: "/" and the label text. JSONPath: "$" for the root, "['" name "']"
// for a named node, the index label otherwise.
int JsonNode::StepText(ByteString& out, int jsonStyle) const {
  if (jsonStyle == 0) {
    TORNELL_TRY(out.Set("/"));
    return AppendLabel(out, 0);
  }
  if (parent_ == nullptr) return out.Set("$");
  out.Clear();
  if (name_.IsEmpty()) return AppendLabel(out, 1);
  TORNELL_TRY(out.Append("['"));
  TORNELL_TRY(out.Append(name_));
  return out.Append("']");
}

int JsonNode::GetPath(int jsonStyle, ByteString& out) const {
  long long total = 0;
  ByteString piece;
  for (const JsonNode* n = this; n != nullptr; n = n->parent_) {
    TORNELL_TRY(n->StepText(piece, jsonStyle));
    total += piece.Length();
    if (total > INT_MAX - 1) return kStatusNoMemory;
  }
  TORNELL_TRY(out.Resize(static_cast<int>(total)));
  int at = static_cast<int>(total);
  for (const JsonNode* n = this; n != nullptr; n = n->parent_) {
    TORNELL_TRY(n->StepText(piece, jsonStyle));
    at -= piece.Length();
    std::memcpy(out.Data() + at, piece.Data(), static_cast<size_t>(piece.Length()));
  }
  return kStatusOk;
}

bool JsonNode::Matches(const char* name) const {
  if (*name == '\0' || std::strcmp(name, "*") == 0) return true;
  return CompareNoCase(name, name_.CStr()) == 0;
}

// The n-th (1-based) child that matches the name.
JsonNode* JsonNode::NthMatch(const char* name, int n) {
  int seen = 0;
  for (JsonNode* c = firstChild_; c != nullptr; c = c->next_) {
    if (c->Matches(name) && ++seen == n) return c;
  }
  return nullptr;
}

// The (k+1)-th matching child counted from the end.
JsonNode* JsonNode::NthMatchFromEnd(const char* name, int k) {
  int seen = 0;
  for (JsonNode* c = lastChild_; c != nullptr; c = c->previous_) {
    if (c->Matches(name) && seen++ == k) return c;
  }
  return nullptr;
}

JsonNode* JsonNode::SelectChild(const char* step, Index base) {
  SplitStep split;
  if (SplitStepText(step, split) != kStatusOk) return nullptr;
  const char* name = split.name.CStr();
  if (split.predicate.IsEmpty()) {
    for (JsonNode* c = firstChild_; c != nullptr; c = c->next_) {
      if (c->Matches(name)) return c;
    }
    return nullptr;
  }
  const int k = ReadLastOffset(split.predicate.CStr());
  if (k >= 0) return NthMatchFromEnd(name, k);
  if (std::strncmp(split.predicate.CStr(), "last()", 6) == 0) return nullptr;
  const int index = ReadIndex(split.predicate.CStr());
  if (index < 0) return nullptr;
  // Saturated: an index past INT_MAX is past every child.
  const int n = base == Index::kZeroBased ? (index == INT_MAX ? INT_MAX : index + 1) : index;
  if (n < 1 || n > childCount_) return nullptr;
  return NthMatch(name, n);
}

JsonNode* JsonNode::EvalXPath(StringTokenizer& steps, int first) {
  JsonNode* node = this;
  while (node != nullptr && steps.HasMore()) {
    const char* step = steps.NextToken();
    if (*step == '\0') break;
    if (std::strcmp(step, ".") == 0) {
      // the node itself
    } else if (std::strcmp(step, "..") == 0) {
      node = node->parent_;
    } else if (first != 0) {
      // Only the start node itself can match, as the first (and only) item.
      SplitStep split;
      if (SplitStepText(step, split) != kStatusOk) return nullptr;
      const char* p = split.predicate.CStr();
      const bool firstItem = *p == '\0' || ReadIndex(p) == 1 || ReadLastOffset(p) == 0;
      if (!firstItem || !node->Matches(split.name.CStr())) return nullptr;
    } else {
      node = node->SelectChild(step, Index::kOneBased);
    }
    first = 0;
  }
  return node;
}

JsonNode* JsonNode::EvalJsonPath(JsonPathSteps& steps) {
  JsonNode* node = this;
  while (node != nullptr && steps.HasNext() != 0) {
    const char* step = steps.Next();
    if (std::strcmp(step, "$") == 0 || std::strcmp(step, "@") == 0) continue;
    if (std::strcmp(step, "..") == 0) return nullptr;
    node = node->SelectChild(step, Index::kZeroBased);
  }
  return node;
}

}  // namespace tornell::pki
