#pragma once
// One node of a parsed JSON document. A node owns its children, a doubly
// linked list; tearing down and path building walk the tree without
// recursion, so nesting depth is bounded only by memory.
#include "core/text/ByteString.h"
#include "core/text/InlineString.h"
#include "core/text/StringTokenizer.h"

namespace tornell::pki {

class JsonPathSteps;

class JsonNode {
 public:
  static constexpr int kObject = 0;
  static constexpr int kArray = 1;
  static constexpr int kString = 2;
  static constexpr int kNumber = 3;
  static constexpr int kBoolean = 4;
  static constexpr int kNull = 5;

  // With a parent the node goes in as its last child.
  JsonNode(JsonNode* parent, int start);
  JsonNode(JsonNode* parent, const char* name, int start);
  ~JsonNode();
  JsonNode(const JsonNode&) = delete;
  JsonNode& operator=(const JsonNode&) = delete;

  // -1 when the child already hangs somewhere.
  int AppendChild(JsonNode* child);
  // Unlinks the child and destroys its subtree.
  int RemoveChild(JsonNode* child);
  int RemoveAllChildren();

  // Values may be private key members (a JWK's "d"): the text wipes what it
  // gives back.
  class SmallText : public InlineString<15> {
   public:
    SmallText() { MarkSecret(); }
  };

  const char* Name() const { return name_.CStr(); }
  [[nodiscard]] int SetName(const void* name, int length) { return name_.Set(name, length); }
  // The name, or for an unnamed node (an array element) its index among its
  // siblings in brackets: 1-based for XPath, 0-based for JSONPath. The index
  // is counted, not remembered from a selection, so both path languages give
  // a path that selects the node again.
  [[nodiscard]] int LabelText(ByteString& out, int jsonStyle) const;
  const SmallText& Value() const { return value_; }
  [[nodiscard]] int AppendValue(const void* data, int length) { return value_.Append(data, length); }
  int Start() const { return start_; }
  int End() const { return end_; }
  void SetEnd(int end) { end_ = end; }
  int ValueStart() const { return valueStart_; }
  void SetValueStart(int start) { valueStart_ = start; }
  int Type() const { return type_; }
  void SetType(int type) { type_ = type; }
  int ChildCount() const { return childCount_; }
  JsonNode* Parent() const { return parent_; }
  JsonNode* FirstChild() const { return firstChild_; }
  JsonNode* LastChild() const { return lastChild_; }
  JsonNode* Next() const { return next_; }
  JsonNode* Previous() const { return previous_; }

  // The node's path from the root. A megabyte of nesting costs nodes, not
  // stack: the text is measured and filled walking up the parents.
  [[nodiscard]] int GetPath(int jsonStyle, ByteString& out) const;
  [[nodiscard]] int GetXPath(ByteString& out) const { return GetPath(0, out); }
  [[nodiscard]] int GetJsonPath(ByteString& out) const { return GetPath(1, out); }

  // XPath steps from the tokenizer; with first set the node itself may match
  // the first step. Null when a step selects nothing.
  JsonNode* EvalXPath(StringTokenizer& steps, int first);
  JsonNode* EvalJsonPath(JsonPathSteps& steps);

 private:
  enum class Index { kFirst, kOneBased, kZeroBased };
  bool Matches(const char* name) const;
  JsonNode* SelectChild(const char* step, Index base);
  JsonNode* NthMatch(const char* name, int n);
  JsonNode* NthMatchFromEnd(const char* name, int k);
  int AppendLabel(ByteString& out, int jsonStyle) const;
  int StepText(ByteString& out, int jsonStyle) const;

  JsonNode* parent_ = nullptr;
  JsonNode* previous_ = nullptr;
  JsonNode* next_ = nullptr;
  JsonNode* firstChild_ = nullptr;
  JsonNode* lastChild_ = nullptr;
  SmallText value_;
  int start_ = 0;
  int end_ = 0;
  int valueStart_ = 0;
  int childCount_ = 0;
  SmallText name_;
  int type_ = kObject;
};

}  // namespace tornell::pki
