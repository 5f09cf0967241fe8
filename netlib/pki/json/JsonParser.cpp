#include "pki/json/JsonParser.h"

#include <climits>
#include <cstring>
#include <new>

#include "core/base/Status.h"
#include "core/text/StringTokenizer.h"
#include "core/text/TextUtils.h"
#include "pki/json/JsonPathSteps.h"

namespace tornell::pki {

namespace {

constexpr const char kMarkupText[] = "Invalid JSON markup.";
constexpr const char kJsonPathText[] = "Invalid JSONPath.";
constexpr const char kXPathText[] = "Invalid XPath.";
constexpr const char kNoTreeText[] = "DOM tree unavailable (set BuildDOM to TRUE and reparse).";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The code unit of "\uXXXX" at data (which starts at the backslash), or -1.
long ReadUnit(const char* data, int available) {
  if (available < 6 || data[0] != '\\' || data[1] != 'u') return -1;
  long unit = 0;
  for (int i = 2; i < 6; ++i) {
    const int digit = HexValue(data[i]);
    if (digit < 0) return -1;
    unit = unit * 16 + digit;
  }
  return unit;
}

int AppendUtf8(ByteString& out, long code) {
  if (code < 0x80) return out.AppendByte(static_cast<int>(code));
  if (code < 0x800) {
    TORNELL_TRY(out.AppendByte(static_cast<int>(0xC0 | (code >> 6))));
  } else if (code < 0x10000) {
    TORNELL_TRY(out.AppendByte(static_cast<int>(0xE0 | (code >> 12))));
    TORNELL_TRY(out.AppendByte(static_cast<int>(0x80 | ((code >> 6) & 0x3F))));
  } else {
    TORNELL_TRY(out.AppendByte(static_cast<int>(0xF0 | (code >> 18))));
    TORNELL_TRY(out.AppendByte(static_cast<int>(0x80 | ((code >> 12) & 0x3F))));
    TORNELL_TRY(out.AppendByte(static_cast<int>(0x80 | ((code >> 6) & 0x3F))));
  }
  return out.AppendByte(static_cast<int>(0x80 | (code & 0x3F)));
}

// Resolves one escape at data[0] == '\\'; *used gets the bytes consumed
// (an escape it does not know stays as written: one byte, the backslash).
int ResolveEscape(const char* data, int available, ByteString& out, int* used) {
  *used = 1;
  if (available < 2) return out.AppendByte('\\');
  static const char kFrom[] = "\"/\\bfnrt";
  static const char kTo[] = "\"/\\\b\f\n\r\t";
  if (const char* at = std::strchr(kFrom, data[1]); at != nullptr && data[1] != '\0') {
    *used = 2;
    return out.AppendByte(kTo[at - kFrom]);
  }
  const long unit = ReadUnit(data, available);
  if (unit < 0) return out.AppendByte('\\');
  if (unit >= 0xD800 && unit <= 0xDBFF) {
    // A high surrogate joins the low one after it; alone it stays as written.
    const long low = ReadUnit(data + 6, available - 6);
    if (low < 0xDC00 || low > 0xDFFF) return out.AppendByte('\\');
    *used = 12;
    return AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
  }
  if (unit >= 0xDC00 && unit <= 0xDFFF) return out.AppendByte('\\');
  *used = 6;
  return AppendUtf8(out, unit);
}

}  // namespace

JsonParser::JsonParser() { static_cast<void>(Reset()); }

JsonParser::~JsonParser() { static_cast<void>(Reset()); }

int JsonParser::Reset() {
  position_ = end_ = 0;
  state_ = kStart;
  static_cast<void>(containers_.Clear());
  static_cast<void>(names_.Reset());
  delete root_;
  root_ = current_ = selected_ = nullptr;
  input_.Clear();
  static_cast<void>(token_.Clear());
  selectedPath_.Clear();
  escape_ = parenthesis_ = scalar_ = 0;
  canonicalPath_ = 1;
  valueText_.Clear();
  mark_ = 0;
  base_ = 0;
  placeholder_ = false;
  for (int c = 0; c < 128; ++c) classes_[c] = kOther;
  for (const char* c = "\t\n\f\r "; *c != '\0'; ++c) classes_[static_cast<unsigned char>(*c)] = kSpace;
  for (const char* c = "+-.0123456789Ee"; *c != '\0'; ++c) classes_[static_cast<unsigned char>(*c)] = kNumberChar;
  for (const char* c = ",]}"; *c != '\0'; ++c) classes_[static_cast<unsigned char>(*c)] = kTerminator;
  return kStatusOk;
}

int JsonParser::Restart() {
  static_cast<void>(Reset());
  buildDom_ = 0;
  keepInput_ = 1;
  return 1;
}

int JsonParser::Input(const char* text) {
  if (text == nullptr) text = "";
  const size_t n = std::strlen(text);
  if (n > static_cast<size_t>(INT_MAX)) return kJsonStackMemory;
  return Input(text, static_cast<int>(n));
}

int JsonParser::Input(const void* data, int length) {
  if (length > 0 && input_.Append(data, length) != kStatusOk) return kJsonStackMemory;
  if (static_cast<long long>(base_) + input_.Length() > INT_MAX) return kJsonStackMemory;
  end_ = input_.Length();
  while (position_ < end_) TORNELL_TRY(Step());
  if (keepInput_ == 0 || buildDom_ == 0) DropConsumed();
  return kStatusOk;
}

// Only a token still being read (a name, string, number or literal) needs
// its bytes; everything before it goes.
void JsonParser::DropConsumed() {
  const bool inToken = state_ == kName || state_ == kString || state_ == kNumber || state_ == kLiteral;
  const int cut = inToken ? mark_ : position_;
  if (cut <= 0) return;
  static_cast<void>(input_.EraseFront(cut));
  base_ += cut;
  position_ -= cut;
  mark_ = inToken ? 0 : position_;
  end_ = input_.Length();
}

int JsonParser::Markup() { return ReturnError(kJsonInvalidMarkup, kMarkupText); }

int JsonParser::NewNode(JsonNode* parent, int start, JsonNode*& out) {
  out = new (std::nothrow) JsonNode(parent, start);
  return out == nullptr ? kJsonNoMemory : kStatusOk;
}

// Swallows a run of whitespace and reports it.
int JsonParser::SkipSpace() {
  const int start = position_;
  while (position_ < end_ && ClassOf(input_.Bytes()[position_]) == kSpace) ++position_;
  if (position_ == start) return kStatusOk;
  TORNELL_TRY(token_.Set(input_.Data() + start, position_ - start));
  static_cast<void>(OnWhitespace(token_.Data()));
  return kStatusOk;
}

// Advances to the closing quote of the string being read (true) or to the end
// of the input (false). A backslash hides the next character, "\u" four more.
bool JsonParser::ScanString() {
  const unsigned char* data = input_.Bytes();
  while (position_ < end_) {
    const unsigned char c = data[position_];
    if (escape_ == -1) {
      escape_ = c == 'u' ? 4 : 0;
    } else if (escape_ > 0) {
      --escape_;
    } else if (c == '\\') {
      escape_ = -1;
    } else if (c == '"') {
      return true;
    }
    ++position_;
  }
  return false;
}

int JsonParser::Step() {
  const unsigned char c = input_.Bytes()[position_];
  switch (state_) {
    case kStart:
      if (c == '(') {
        parenthesis_ = 1;
        ++position_;
      }
      state_ = kDocument;
      return kStatusOk;
    case kDocument:
      if (ClassOf(c) == kSpace) return SkipSpace();
      TORNELL_TRY(OnStartDocument());
      return StartDocumentValue(c);
    case kMember:
      if (ClassOf(c) == kSpace) return SkipSpace();
      if (c == '}') {
        state_ = kAfterValue;
        return kStatusOk;
      }
      if (c != '"') return Markup();
      placeholder_ = false;
      mark_ = position_++;
      escape_ = 0;
      state_ = kName;
      return kStatusOk;
    case kValue:
      if (ClassOf(c) == kSpace) return SkipSpace();
      if (buildDom_ != 0) current_->SetValueStart(Abs(position_));
      if (c == ']') {
        state_ = kAfterValue;
        return kStatusOk;
      }
      placeholder_ = false;
      if (c == '{') return OpenContainer(kObjectKind);
      if (c == '[') return OpenContainer(kArrayKind);
      mark_ = position_;
      if (c == '"') {
        ++position_;
        escape_ = 0;
        state_ = kString;
      } else {
        state_ = ClassOf(c) == kNumberChar ? kNumber : kLiteral;
      }
      return kStatusOk;
    case kName:
      if (!ScanString()) return kStatusOk;
      ++position_;
      return EndName();
    case kString:
      if (!ScanString()) return kStatusOk;
      ++position_;
      return EndScalar(JsonNode::kString);
    case kNumber: {
      while (position_ < end_ && ClassOf(input_.Bytes()[position_]) == kNumberChar) ++position_;
      if (position_ == end_) return kStatusOk;
      const int next = ClassOf(input_.Bytes()[position_]);
      if (next != kSpace && next != kTerminator) return Markup();
      return EndScalar(JsonNode::kNumber);
    }
    case kLiteral: {
      while (position_ < end_) {
        const int next = ClassOf(input_.Bytes()[position_]);
        if (next == kSpace || next == kTerminator) break;
        if (position_ - mark_ >= 5) return Markup();
        ++position_;
      }
      if (position_ == end_) return kStatusOk;
      ByteString word;
      TORNELL_TRY(word.Set(input_.Data() + mark_, position_ - mark_));
      // Inside a container any case is taken; a document of one literal must be exact.
      auto same = [&](const char* literal) {
        return scalar_ != 0 ? std::strcmp(word.CStr(), literal) == 0 : CompareNoCase(word.CStr(), literal) == 0;
      };
      if (same("true") || same("false")) return EndScalar(JsonNode::kBoolean);
      if (same("null")) return EndScalar(JsonNode::kNull);
      return Markup();
    }
    case kAfterName:
      if (ClassOf(c) == kSpace) return SkipSpace();
      if (c != ':') return Markup();
      ++position_;
      state_ = kValue;
      return kStatusOk;
    case kAfterValue:
      if (ClassOf(c) == kSpace) return SkipSpace();
      if (c == ']') return CloseContainer(kArrayKind);
      if (c == '}') return CloseContainer(kObjectKind);
      if (c != ',' || containers_.Count() == 0) return Markup();
      ++position_;
      return BeginElement(containers_.Top());
    default:
      if (ClassOf(c) == kSpace) return SkipSpace();
      if (c != ')' || parenthesis_ == 0) return Markup();
      parenthesis_ = 0;
      ++position_;
      return kStatusOk;
  }
}

// The first character of the document: a container, or a single scalar value.
int JsonParser::StartDocumentValue(unsigned char c) {
  if (c == '[') return OpenContainer(kArrayKind);
  if (c == '{') return OpenContainer(kObjectKind);
  scalar_ = 1;
  int type = JsonNode::kBoolean;
  mark_ = position_;
  if (c == '"') {
    type = JsonNode::kString;
    ++position_;
    escape_ = 0;
    state_ = kString;
  } else if (ClassOf(c) == kNumberChar) {
    type = JsonNode::kNumber;
    state_ = kNumber;
  } else {
    state_ = kLiteral;
  }
  if (buildDom_ != 0) {
    TORNELL_TRY(NewNode(nullptr, Abs(mark_), root_));
    root_->SetType(type);
    current_ = root_;
  }
  return kStatusOk;
}

int JsonParser::OpenContainer(int kind) {
  const bool first = containers_.Count() == 0;
  TORNELL_TRY(containers_.Push(kind));
  if (first) {
    if (buildDom_ != 0) {
      TORNELL_TRY(NewNode(nullptr, Abs(position_), root_));
      if (root_->SetName("json", 4) != kStatusOk) return kJsonNoMemory;
      current_ = root_;
    } else {
      TORNELL_TRY(names_.Push("json", 4));
    }
    static_cast<void>(OnStartElement("json"));
  }
  if (buildDom_ != 0) current_->SetType(kind == kObjectKind ? JsonNode::kObject : JsonNode::kArray);
  ++position_;
  return BeginElement(kind);
}

// Makes the node of the next element or member; it stays a placeholder until
// a value or a name claims it.
int JsonParser::BeginElement(int kind) {
  if (buildDom_ != 0) {
    JsonNode* child = nullptr;
    TORNELL_TRY(NewNode(current_, Abs(position_), child));
    current_ = child;
  }
  placeholder_ = true;
  if (kind == kArrayKind) {
    if (buildDom_ == 0) TORNELL_TRY(names_.Push("", 0));
    static_cast<void>(OnStartElement(""));
    state_ = kValue;
  } else {
    state_ = kMember;
  }
  mark_ = position_;
  return kStatusOk;
}

void JsonParser::DropPlaceholder(int kind) {
  if (!placeholder_) return;
  placeholder_ = false;
  if (buildDom_ != 0) {
    JsonNode* parent = current_->Parent();
    static_cast<void>(parent->RemoveChild(current_));
    current_ = parent;
  } else if (kind == kArrayKind) {
    static_cast<void>(names_.Pop());
  }
}

int JsonParser::CloseContainer(int kind) {
  if (containers_.Top() != kind) return Markup();
  static_cast<void>(containers_.Pop());
  ++position_;
  DropPlaceholder(kind);
  TORNELL_TRY(EndValue(kind == kObjectKind ? JsonNode::kObject : JsonNode::kArray));
  if (containers_.Count() == 0) return FinishDocument();
  state_ = kAfterValue;
  return kStatusOk;
}

// The member name between the quotes (escapes resolved only when asked).
int JsonParser::EndName() {
  TORNELL_TRY(DecodeValue(input_.Data() + mark_ + 1, position_ - mark_ - 2, valueDecoding_ & kResolveEscapes, decoded_));
  if (buildDom_ != 0) {
    if (current_->SetName(decoded_.Data(), decoded_.Length()) != kStatusOk) return kJsonNoMemory;
  } else {
    TORNELL_TRY(names_.Push(decoded_.Data(), decoded_.Length()));
  }
  static_cast<void>(OnStartElement(decoded_.CStr()));
  mark_ = position_;
  state_ = kAfterName;
  return kStatusOk;
}

int JsonParser::EndScalar(int type) {
  TORNELL_TRY(ValueEvent());
  if (scalar_ != 0) {
    if (buildDom_ != 0) {
      root_->SetType(type);
      root_->SetEnd(Abs(position_));
    }
    names_.SetValueType(type);
    return FinishDocument();
  }
  TORNELL_TRY(EndValue(type));
  state_ = kAfterValue;
  return kStatusOk;
}

// The token from the mark to the position, decoded when asked, to OnValue
// and the current node.
int JsonParser::ValueEvent() {
  const char* text = input_.Data() + mark_;
  int length = position_ - mark_;
  if (valueDecoding_ != 0) {
    TORNELL_TRY(DecodeValue(text, length, valueDecoding_, decoded_));
    text = decoded_.Data();
    length = decoded_.Length();
  }
  TORNELL_TRY(token_.Set(text, length));
  static_cast<void>(OnValue(token_.Data()));
  if (buildDom_ != 0 && current_->AppendValue(text, length) != kStatusOk) return kJsonNoMemory;
  mark_ = position_;
  return kStatusOk;
}

int JsonParser::EndValue(int type) {
  if (buildDom_ == 0) {
    names_.SetValueType(type);
    static_cast<void>(OnEndElement(names_.Pop()));
    return kStatusOk;
  }
  current_->SetEnd(Abs(position_));
  current_->SetType(type);
  TORNELL_TRY(OnEndElement(current_->Name()));
  if (current_->Parent() != nullptr) current_ = current_->Parent();
  return kStatusOk;
}

int JsonParser::FinishDocument() {
  state_ = kAfterDocument;
  mark_ = position_;
  return OnEndDocument();
}

int JsonParser::DecodeValue(const char* data, int length, int bits, ByteString& out) {
  out.Clear();
  if (length <= 0) return kStatusOk;
  if ((bits & kDropQuotes) != 0) {
    if (data[0] == '"') {
      ++data;
      --length;
    }
    if (length > 0 && data[length - 1] == '"') --length;
  }
  if ((bits & kResolveEscapes) == 0) return out.Set(data, length);
  for (int i = 0; i < length;) {
    if (data[i] != '\\') {
      TORNELL_TRY(out.AppendByte(data[i++]));
      continue;
    }
    int used = 1;
    TORNELL_TRY(ResolveEscape(data + i, length - i, out, &used));
    i += used;
  }
  return kStatusOk;
}

const char* JsonParser::GetName() const { return selected_ != nullptr ? selected_->Name() : kEmptyText; }

const char* JsonParser::GetText() {
  valueText_.Clear();
  if (selected_ == nullptr) return kEmptyText;
  if (valueText_.Assign(selected_->Value()) != kStatusOk) return kEmptyText;
  const int type = selected_->Type();
  // Only a container answers with its source: an empty string stays empty.
  if (valueText_.IsEmpty() && rawText_ != 0 && (type == JsonNode::kObject || type == JsonNode::kArray)) {
    const int from = selected_->ValueStart() - base_;
    const int to = selected_->End() - base_;
    if (from >= 0 && to > from && to <= input_.Length() && valueText_.Set(input_.Data() + from, to - from) != kStatusOk) {
      return kEmptyText;
    }
  }
  return valueText_.CStr();
}

int JsonParser::GetChildCount() const { return selected_ != nullptr ? selected_->ChildCount() : 0; }

int JsonParser::GetType() {
  if (buildDom_ == 0) return names_.GetValueType();
  if (selected_ != nullptr) return selected_->Type();
  if (current_ != nullptr) return current_->Type();
  return ReturnError(kJsonInvalidPath, kJsonPathText);
}

int JsonParser::IsJsonPath(const char* path) const { return IsJsonPathText(path); }

namespace {

bool IsSelfPath(const char* path, int isJsonPath) {
  return path == nullptr || *path == '\0' || std::strcmp(path, isJsonPath != 0 ? "@" : ".") == 0;
}

}  // namespace

int JsonParser::HasPath(const char* path) {
  const int isJsonPath = IsJsonPath(path);
  if (IsSelfPath(path, isJsonPath) || root_ == nullptr) return 0;
  int found = 0;
  if (Select(path, isJsonPath, found) != kStatusOk) return 0;
  return found;
}

int JsonParser::SelectPath(const char* path) {
  if (root_ == nullptr) return ReturnError(kJsonNoTree, kNoTreeText);
  int found = 0;
  TORNELL_TRY(Select(path, IsJsonPath(path), found));
  return found != 0 ? kStatusOk : ReturnError(kJsonInvalidXPath, kXPathText);
}

int JsonParser::Select(const char* path, int isJsonPath, int& found) {
  found = 0;
  if (IsSelfPath(path, isJsonPath)) return kStatusOk;
  if (root_ == nullptr) return ReturnError(kJsonNoTree, kNoTreeText);
  JsonNode* node = FindNode(path, isJsonPath);
  if (node == nullptr) return kStatusOk;
  selected_ = node;
  found = 1;
  if (canonicalPath_ != 0) return node->GetPath(isJsonPath, selectedPath_);
  return selectedPath_.Set(path);
}

JsonNode* JsonParser::FindNode(const char* path, int isJsonPath) {
  if (root_ == nullptr || path == nullptr) return nullptr;
  if (isJsonPath != 0) {
    JsonPathSteps steps;
    if (steps.Parse(path) != kStatusOk) return nullptr;
    JsonNode* start = (*path == '$' || selected_ == nullptr) ? root_ : selected_;
    return start->EvalJsonPath(steps);
  }
  StringTokenizer steps;
  if (steps.Start(path, "/") != kStatusOk) return nullptr;
  if (*path == '/' || selected_ == nullptr) return root_->EvalXPath(steps, 1);
  return selected_->EvalXPath(steps, 0);
}

}  // namespace tornell::pki
