#pragma once
// Streaming JSON parser: text arrives in pieces of any size, element events
// go to virtual operations, and with BuildDOM a tree of JsonNode is built and
// addressed with XPath-style ("/json/kty") or JSONPath ("$['kty']") paths.
//
// Lenient on purpose, as the key files it reads need: a trailing comma in an
// object or array, true/false/null in any case inside containers, a document
// wrapped in "(" and ")", and any run of number characters as a number.
#include "core/base/ComponentBase.h"
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "pki/json/ByteStack.h"
#include "pki/json/JsonNode.h"
#include "pki/json/JsonPathQuery.h"
#include "pki/json/JsonStatus.h"
#include "pki/json/TextBuffer.h"

namespace tornell::pki {

class JsonParser : public ComponentBase {
 public:
  // Value decoding bits.
  static constexpr int kDropQuotes = 1;
  static constexpr int kResolveEscapes = 2;

  JsonParser();
  ~JsonParser() override;

  int Reset();
  // Reset, tree building off, and all input kept so container text stays readable.
  int Restart();
  int SetBuildDom(int on) { buildDom_ = on; return kStatusOk; }
  int SetValueDecoding(int bits) { valueDecoding_ = bits; return kStatusOk; }
  int SetRawContainerText(int on) { rawText_ = on; return kStatusOk; }
  int SetCanonicalPath(int on) { canonicalPath_ = on; return kStatusOk; }

  [[nodiscard]] int Input(const char* text);
  [[nodiscard]] int Input(const void* data, int length);

  const char* GetName() const;
  // The selected node's value; for a container with the raw-text flag, its JSON text.
  const char* GetText();
  int GetChildCount() const;
  [[nodiscard]] int GetType();
  int IsJsonPath(const char* path) const;
  int HasPath(const char* path);
  [[nodiscard]] int SelectPath(const char* path);
  [[nodiscard]] int Select(const char* path, int isJsonPath, int& found);
  JsonNode* FindNode(const char* path, int isJsonPath);

  const char* SelectedPath() const { return selectedPath_.CStr(); }
  JsonNode* Root() const { return root_; }
  JsonNode* Selected() const { return selected_; }

  // Value decoding of a text into out (bit 0 drops the quotes at both ends,
  // bit 1 resolves the escapes, \uXXXX as UTF-8).
  [[nodiscard]] static int DecodeValue(const char* data, int length, int bits, ByteString& out);

  // Events; a non-zero answer of OnStartDocument, OnEndDocument or (with a
  // tree) OnEndElement stops the parse with that code.
  virtual int OnValue(const char* text) { static_cast<void>(text); return 0; }
  virtual int OnEndElement(const char* name) { static_cast<void>(name); return 0; }
  virtual int FireError(int code, const char* text) { static_cast<void>(code); static_cast<void>(text); return 0; }
  virtual int OnWhitespace(const char* text) { static_cast<void>(text); return 0; }
  virtual int OnStartElement(const char* name) { static_cast<void>(name); return 0; }
  virtual int OnStartDocument() { return 0; }
  virtual int OnEndDocument() { return 0; }

 private:
  enum State {
    kStart = 0,
    kDocument = 1,
    kMember = 4,
    kValue = 5,
    kName = 6,
    kString = 7,
    kNumber = 8,
    kLiteral = 9,
    kAfterName = 10,
    kAfterValue = 11,
    kAfterDocument = 12,
  };
  static constexpr int kObjectKind = 2;
  static constexpr int kArrayKind = 3;

  int ClassOf(unsigned char c) const { return c < 128 ? classes_[c] : kOther; }
  int Abs(int index) const { return base_ + index; }
  [[nodiscard]] int Step();
  [[nodiscard]] int Markup();
  [[nodiscard]] int SkipSpace();
  bool ScanString();
  [[nodiscard]] int StartDocumentValue(unsigned char c);
  [[nodiscard]] int OpenContainer(int kind);
  [[nodiscard]] int BeginElement(int kind);
  [[nodiscard]] int CloseContainer(int kind);
  void DropPlaceholder(int kind);
  [[nodiscard]] int EndName();
  [[nodiscard]] int EndScalar(int type);
  [[nodiscard]] int ValueEvent();
  [[nodiscard]] int EndValue(int type);
  [[nodiscard]] int FinishDocument();
  [[nodiscard]] int NewNode(JsonNode* parent, int start, JsonNode*& out);
  void DropConsumed();

  static constexpr int kSpace = 1;
  static constexpr int kNumberChar = 2;
  static constexpr int kTerminator = 4;
  static constexpr int kOther = 8;

  int classes_[128] = {};
  int position_ = 0;
  int end_ = 0;
  int state_ = kStart;
  ByteStack containers_;
  JsonPathQuery names_;
  JsonNode* root_ = nullptr;
  JsonNode* current_ = nullptr;
  JsonNode* selected_ = nullptr;
  int keepInput_ = 0;
  // The document and the values taken from it may be a private key.
  SecretBytes input_;
  TextBuffer token_;
  int buildDom_ = 0;
  ByteString selectedPath_;
  int escape_ = 0;
  int parenthesis_ = 0;
  int canonicalPath_ = 1;
  SecretBytes valueText_;
  SecretBytes decoded_;
  int mark_ = 0;
  int valueDecoding_ = 0;
  int scalar_ = 0;
  int rawText_ = 0;
  // Bytes already dropped from the front of the input: node offsets count from
  // the start of the document.
  int base_ = 0;
  // A child made for the next element or member that no value has claimed yet;
  // "]" or "}" removes it (empty container, trailing comma).
  bool placeholder_ = false;
};

}  // namespace tornell::pki
