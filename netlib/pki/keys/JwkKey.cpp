// JSON Web Keys (RSA and EC) read into and written from a KeyHolder, and the
// PEM key text that feeds the writer.
#include <cstring>

#include "core/base/Status.h"
#include "pki/json/JsonParser.h"
#include "pki/keys/KeyCodec.h"
#include "pki/x509/X509Codec.h"

namespace tornell::pki {

namespace {

constexpr const char kAttributePrefix[] = "JWK_";
constexpr int kAttributeTypeAt = 4;   // "JWK_<digit>_<member>"
constexpr int kAttributeNameAt = 6;
constexpr const char* kCurveNames[] = {"P-256", "P-384", "P-521"};
constexpr const char* kRsaMembers[] = {"n", "e", "d", "p", "q", "dp", "dq", "qi"};
constexpr const char* kEcMembers[] = {"crv", "x", "y", "d"};

template <size_t N>
bool IsOneOf(const char* name, const char* const (&names)[N]) {
  for (const char* known : names) {
    if (std::strcmp(name, known) == 0) return true;
  }
  return false;
}

int AppendKeyMember(ByteString& out, const char* name, ByteString& field) {
  TORNELL_TRY(KeyCodec::StripLeadingZero(field));
  TORNELL_TRY(out.AppendFormat(",\"%s\":\"", name));
  TORNELL_TRY(out.AppendBase64Url(field.Data(), field.Length()));
  return out.AppendByte('"');
}

int AppendRsaMembers(RsaKey& key, int includePrivate, ByteString& out) {
  TORNELL_TRY(out.Append("\"kty\":\"RSA\""));
  TORNELL_TRY(AppendKeyMember(out, "n", key.n));
  TORNELL_TRY(AppendKeyMember(out, "e", key.e));
  if (includePrivate == 0) return kStatusOk;
  TORNELL_TRY(AppendKeyMember(out, "d", key.d));
  TORNELL_TRY(AppendKeyMember(out, "p", key.p));
  TORNELL_TRY(AppendKeyMember(out, "q", key.q));
  TORNELL_TRY(AppendKeyMember(out, "dp", key.dP));
  TORNELL_TRY(AppendKeyMember(out, "dq", key.dQ));
  return AppendKeyMember(out, "qi", key.qInv);
}

int AppendEcMembers(EcKey& key, int includePrivate, ByteString& out) {
  TORNELL_TRY(out.Append("\"kty\":\"EC\""));
  if (key.curveIndex < 0 || key.curveIndex > 2) return kKeyFormatNotFound;
  TORNELL_TRY(out.AppendFormat(",\"crv\":\"%s\"", kCurveNames[key.curveIndex]));
  TORNELL_TRY(AppendKeyMember(out, "x", key.X));
  TORNELL_TRY(AppendKeyMember(out, "y", key.Y));
  if (includePrivate == 0) return kStatusOk;
  return AppendKeyMember(out, "d", key.D);
}

// Members a JWK read brought along, except those the key itself writes. The
// value goes in as it came: quoted for a string, raw JSON text otherwise.
// Member texts are kept as escaped JSON text, cut at a NUL byte; a cut that
// leaves a lone backslash would escape the closing quote when written back.
bool EndsInLoneBackslash(const char* text) {
  size_t run = 0;
  for (size_t at = std::strlen(text); at > 0 && text[at - 1] == '\\'; --at) ++run;
  return run % 2 == 1;
}

int AppendExtraMembers(const KeyHolder& holder, ByteString& out) {
  for (int i = 0; i < holder.attributeNames.Count() && i < holder.attributeValues.Count(); ++i) {
    const char* name = holder.attributeNames.Get(i);
    if (std::strncmp(name, kAttributePrefix, 4) != 0 || std::strlen(name) < kAttributeNameAt) continue;
    const char* member = name + kAttributeNameAt;
    if (std::strcmp(member, "kty") == 0) continue;
    if (holder.type == kKeyTypeRsa ? IsOneOf(member, kRsaMembers) : IsOneOf(member, kEcMembers)) continue;
    const int type = name[kAttributeTypeAt] - '0';
    if (EndsInLoneBackslash(member) || EndsInLoneBackslash(holder.attributeValues.Get(i))) return kKeyUnusable;
    TORNELL_TRY(out.AppendFormat(",\"%s\":", member));
    if (type == JsonNode::kNull) {
      TORNELL_TRY(out.Append("null"));
    } else if (type == JsonNode::kString) {
      TORNELL_TRY(out.AppendByte('"'));
      TORNELL_TRY(out.Append(holder.attributeValues.Get(i)));
      TORNELL_TRY(out.AppendByte('"'));
    } else {
      TORNELL_TRY(out.Append(holder.attributeValues.Get(i)));
    }
  }
  return kStatusOk;
}

// A member already read, under its own name or as a JWK attribute of any type.
bool AlreadyRead(const KeyHolder& holder, const char* member) {
  if (*holder.GetAttribute(member) != '\0') return true;
  for (int i = 0; i < holder.attributeNames.Count(); ++i) {
    const char* name = holder.attributeNames.Get(i);
    if (std::strncmp(name, kAttributePrefix, 4) == 0 && std::strlen(name) >= kAttributeNameAt &&
        std::strcmp(name + kAttributeNameAt, member) == 0) {
      return true;
    }
  }
  return false;
}

int DecodeUrl(const ByteString& text, ByteString& field) {
  TORNELL_TRY(field.Assign(text));
  return field.Base64Decode(1);
}

int ReadEcMember(const char* member, const ByteString& text, EcKey& key) {
  if (std::strcmp(member, "crv") == 0) {
    for (int i = 0; i < 3; ++i) {
      if (text.Equals(kCurveNames[i])) {
        key.curveIndex = i;
        return kStatusOk;
      }
    }
    return kKeyUnusable;
  }
  if (std::strcmp(member, "x") == 0) return DecodeUrl(text, key.X);
  if (std::strcmp(member, "y") == 0) return DecodeUrl(text, key.Y);
  if (std::strcmp(member, "d") == 0) return DecodeUrl(text, key.D);
  return kStatusOk;
}

int ReadRsaMember(const char* member, const ByteString& text, RsaKey& key) {
  ByteString* fields[] = {&key.n, &key.e, &key.d, &key.p, &key.q, &key.dP, &key.dQ, &key.qInv};
  for (size_t i = 0; i < sizeof(fields) / sizeof(fields[0]); ++i) {
    if (std::strcmp(member, kRsaMembers[i]) != 0) continue;
    SecretBytes scratch;
    TORNELL_TRY(DecodeUrl(text, scratch));
    return fields[i]->Assign(scratch);
  }
  return kStatusOk;
}

int ReadMembers(JsonParser& parser, KeyHolder& holder) {
  TORNELL_TRY(parser.SelectPath("/json/"));
  const int count = parser.GetChildCount();
  ByteString path, name, attribute;
  SecretBytes text;
  for (int i = 1; i <= count; ++i) {
    TORNELL_TRY(path.Format("/json/[%d]", i));
    TORNELL_TRY(parser.SelectPath(path.CStr()));
    TORNELL_TRY(name.Set(parser.GetName()));
    TORNELL_TRY(text.Set(parser.GetText()));
    const int type = parser.GetType();
    if (AlreadyRead(holder, name.CStr())) return kKeyUnusable;
    if (holder.type == kKeyTypeEc) {
      TORNELL_TRY(ReadEcMember(name.CStr(), text, holder.ecKey));
    } else {
      TORNELL_TRY(ReadRsaMember(name.CStr(), text, holder.rsaKey));
    }
    TORNELL_TRY(attribute.Format("JWK_%d_%s", type, name.CStr()));
    TORNELL_TRY(holder.AddAttribute(attribute.CStr(), text.CStr()));
  }
  return kStatusOk;
}

// The tree alone does not tell a whole document from a cut one: a key file
// cut short is no key.
class JwkParser : public JsonParser {
 public:
  bool ended = false;
  int OnEndDocument() override {
    ended = true;
    return 0;
  }
};

}  // namespace

int KeyCodec::StripLeadingZero(ByteString& value) {
  if (value.Length() > 0 && value.ByteAt(0) == 0) return value.EraseFront(1);
  return kStatusOk;
}

int KeyCodec::WriteJwk(KeyHolder& holder, int includePrivate, ByteString& out) {
  out.Clear();
  TORNELL_TRY(out.AppendByte('{'));
  if (holder.type == kKeyTypeRsa) {
    TORNELL_TRY(AppendRsaMembers(holder.rsaKey, includePrivate, out));
  } else if (holder.type == kKeyTypeEc) {
    TORNELL_TRY(AppendEcMembers(holder.ecKey, includePrivate, out));
  } else {
    return kKeyFormatNotFound;
  }
  TORNELL_TRY(AppendExtraMembers(holder, out));
  return out.AppendByte('}');
}

int KeyCodec::ReadJwk(KeyHolder& holder, const ByteString& json) {
  JwkParser parser;
  static_cast<void>(parser.Restart());
  TORNELL_TRY(parser.SetValueDecoding(JsonParser::kDropQuotes));
  TORNELL_TRY(parser.SetRawContainerText(1));
  TORNELL_TRY(parser.SetBuildDom(1));
  TORNELL_TRY(parser.Input(json.Data(), json.Length()));
  if (!parser.ended) return kKeyUnusable;
  if (parser.HasPath("/json/kty") == 0) return kKeyUnusable;
  TORNELL_TRY(parser.SelectPath("/json/kty"));
  const char* kty = parser.GetText();
  if (std::strcmp(kty, "RSA") == 0) {
    holder.type = kKeyTypeRsa;
  } else if (std::strcmp(kty, "EC") == 0) {
    holder.type = kKeyTypeEc;
  } else {
    return kKeyUnusable;
  }
  TORNELL_TRY(ReadMembers(parser, holder));
  if (holder.type == kKeyTypeRsa) {
    return holder.rsaKey.n.IsEmpty() || holder.rsaKey.e.IsEmpty() ? kKeyUnusable : kStatusOk;
  }
  return holder.ecKey.X.IsEmpty() || holder.ecKey.Y.IsEmpty() ? kKeyUnusable : kStatusOk;
}

int KeyCodec::ReadKeyText(KeyHolder& holder, const ByteString& pem) {
  const bool isPrivate = pem.Contains("PRIVATE KEY");
  static const char* const kPrivateLabels[] = {"RSA PRIVATE KEY", "DSA PRIVATE KEY", "PRIVATE KEY"};
  static const char* const kPublicLabels[] = {"RSA PUBLIC KEY", "DSA PUBLIC KEY", "PUBLIC KEY"};
  SecretBytes der;
  int status = kKeyFormatNotFound;
  const char* const* labels = isPrivate ? kPrivateLabels : kPublicLabels;
  for (int i = 0; i < 3; ++i) {
    status = PemDecode(pem.CStr(), labels[i], der, nullptr);
    if (status == kStatusOk) break;
  }
  TORNELL_TRY(status);
  if (isPrivate) {
    KeyInfo info;
    TORNELL_TRY(X509Codec::ParsePrivateKeyInfo(der.Data(), der.Length(), info));
    return holder.FromKeyInfo(info);
  }
  SubjectPublicKeyInfo info;
  TORNELL_TRY(X509Codec::ParseSubjectPublicKeyInfo(der, info));
  return holder.FromSubjectPublicKeyInfo(info);
}

}  // namespace tornell::pki
