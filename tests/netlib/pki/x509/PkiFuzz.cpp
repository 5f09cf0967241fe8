// libFuzzer target for the DER and certificate readers, the key files and the
// JSON parser. The target is picked by PKI_FUZZ_TARGET: der, tree, cert,
// decode, walk (the in-place certificate and name readers against the tree
// readers they replaced), spki, pkcs8, dn, armor, pem, p8file, keyfile, keyder, json (the
// parser, and the input as a path), json_split (the first byte picks where
// the rest is cut into two Input calls), certmgr (a certificate loaded by the
// certificate manager, and the input as a name to normalise), chain (the
// input's consecutive DER elements verified as a received chain), p12, signed,
// p7, enveloped, jwk, openssh, putty or ssh2.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "pki/der/DerCodec.h"
#include "pki/der/DerElement.h"
#include "pki/der/DerWriter.h"
#include "pki/keys/KeyCodec.h"
#include "pki/keys/KeyFileFormats.h"
#include "pki/keys/TextArmor.h"
#include "pki/pkcs/Pkcs12Reader.h"
#include "pki/pkcs/Pkcs7ContentInfo.h"
#include "pki/x509/X509Codec.h"
#include "pki/json/JsonParser.h"
#include "pki/store/CertificateManager.h"
#include "pki/store/SelectedCertificate.h"
#include "tls/handshake/HostNameMatch.h"
#include "TreeCertificateReader.h"
#include "../json/JsonTestText.h"
#include "../../../support/FuzzRequire.h"

using namespace tornell;
using namespace tornell::pki;

namespace {

// Every reader of the writer, at a few indexes; none may read outside the input.
void FuzzDer(const uint8_t* data, size_t size) {
  DerWriter w;
  if (w.output.Set(data, static_cast<int>(size)) != 0) return;
  for (int n = 0; n < 3; ++n) {
    ByteString out;
    int value = 0, bits = 0, tag = 0;
    int64_t wide = 0;
    uint64_t u = 0;
    uint32_t words[2] = {};
    (void)w.ReadElement(n, out, &tag);
    (void)w.ReadInt(n, value, &tag);
    (void)w.ReadInt64(n, wide, &tag);
    (void)w.ReadUnsigned(n, u, &tag);
    (void)w.ReadUnsigned64(n, words, &tag);
    (void)w.ReadBitString(n, out, &bits, &tag);
    (void)w.ReadIntegerBytes(n, out);
    if (w.ReadOid(n, out, &tag) == 0) {
      // Identifiers read back write again unless an arc is too large for the writer.
      DerWriter again;
      const int status = again.AppendOid(out.CStr(), 0x06);
      Require(status == 0 || status == kDerEncodeFailed, "oid rewrite status");
    }
  }
  const size_t first = w.FirstElementLength();
  Require(first <= size, "first element inside the input");
  int tag = 0;
  if (w.Unwrap(&tag) == 0) Require(static_cast<size_t>(w.output.Length()) < size, "unwrap shrinks");
  // The text as OID text: never more than the writer's fixed room.
  DerWriter text;
  std::string s(reinterpret_cast<const char*>(data), size);
  (void)text.AppendOid(s.c_str(), 0x06);
}

// The tree's leaves, laid end to end with their parents' headers, cover the input.
void FuzzTree(const uint8_t* data, size_t size) {
  DerElement root;
  if (root.body.output.Set(data, static_cast<int>(size)) != 0) return;
  if (root.Parse() != 0) return;
  size_t leaves = 0;
  DerElement* stack[64];
  int depth = 0;
  stack[depth++] = &root;
  // Walk a bounded depth; the destructor frees the rest without recursion.
  while (depth > 0) {
    DerElement* node = stack[--depth];
    leaves += static_cast<size_t>(node->body.output.Length());
    for (DerElement* c = node->firstChild; c != nullptr; c = c->nextSibling) {
      if (depth < 64) stack[depth++] = c;
    }
  }
  Require(leaves <= size, "leaves within the input");
  DerElement one;
  if (one.body.output.Set(data, static_cast<int>(size)) == 0) (void)one.SplitChildren();
}

void FuzzCertificate(const uint8_t* data, size_t size) {
  X509Certificate cert;
  if (X509Codec::ParseCertificate(data, static_cast<int>(size), cert) != 0) return;
  DerWriter w;
  Require(X509Codec::WriteCertificate(cert, w) == 0, "write held encoding");
  (void)cert.encoded.Clear();
  DerWriter rebuilt;
  (void)X509Codec::WriteCertificate(cert, rebuilt);
}

void FuzzDecode(const uint8_t* data, size_t size) {
  X509Certificate cert;
  if (cert.encoded.Set(data, static_cast<int>(size)) != 0) return;
  if (cert.Decode() != 0) return;
  X509Certificate* copy = cert.Clone();
  Require(copy != nullptr, "clone");
  Require(copy->tbs.extensions.Count() == cert.tbs.extensions.Count(), "clone extensions");
  delete copy;
  // The host check reads the names again from the decoded certificate.
  StringList dnsNames, ipAddresses;
  ByteString commonName;
  int hasNames = 0;
  (void)tornell::tls::CertificateNames(cert, dnsNames, ipAddresses, commonName, hasNames);
  (void)tornell::tls::HostMatchesCertificate(cert, "kit.example");
}

// The same status from both readers and, on success, the same fields; the
// input also read as a name.
void FuzzWalk(const uint8_t* data, size_t size) {
  for (const bool full : {false, true}) {
    X509Certificate walked, tree;
    int walkedStatus = 0;
    if (full) {
      if (walked.encoded.Set(data, static_cast<int>(size)) != 0) return;
      walkedStatus = walked.Decode();
    } else {
      walkedStatus = X509Codec::ParseCertificate(data, static_cast<int>(size), walked);
    }
    const int treeStatus = treereader::DecodeCertificate(data, static_cast<int>(size), tree, full);
    Require(walkedStatus == treeStatus, "certificate status as the tree's");
    if (walkedStatus == 0) Require(*treereader::FirstDifference(walked, tree) == '\0', "fields as the tree's");
  }
  ByteString name, walkedText, treeText;
  if (name.Set(data, static_cast<int>(size)) != 0) return;
  const int walkedStatus = X509Codec::DecodeDistinguishedName(name, walkedText);
  Require(walkedStatus == treereader::DecodeName(name, treeText), "name status as the tree's");
  if (walkedStatus == 0) Require(walkedText.Equals(treeText), "name text as the tree's");
}

void FuzzSpki(const uint8_t* data, size_t size) {
  ByteString element;
  if (element.Set(data, static_cast<int>(size)) != 0) return;
  SubjectPublicKeyInfo info;
  (void)X509Codec::ParseSubjectPublicKeyInfo(element, info);
  EcKey key;
  (void)X509Codec::ParseEcParameters(data, static_cast<int>(size), key);
}

void FuzzPkcs8(const uint8_t* data, size_t size) {
  KeyInfo key;
  (void)X509Codec::ParsePrivateKeyInfo(data, static_cast<int>(size), key);
  Require(key.attributeNames.Count() == key.attributeValues.Count(), "attribute pairs");
}

void FuzzName(const uint8_t* data, size_t size) {
  ByteString name, text;
  if (name.Set(data, static_cast<int>(size)) != 0) return;
  if (X509Codec::DecodeDistinguishedName(name, text) != 0) return;
  DerWriter w;
  (void)X509Codec::EncodeDistinguishedName(text.CStr(), w);
  StringList pairs;
  (void)X509Codec::DnTextToPairs(text.CStr(), pairs);
}

// Armour text: decoding never grows the text, and any text is accepted.
void FuzzArmor(const uint8_t* data, size_t size) {
  TextArmor t;
  const int status = t.Decode("CERTIFICATE", reinterpret_cast<const char*>(data), static_cast<int>(size));
  Require(status == 0, "decode accepts any text");
  Require(static_cast<size_t>(t.Length()) <= size, "decoded no longer than the text");
  TextArmor again;
  Require(again.EncodePem("X", t.Data(), t.Length()) == 0, "re-armour");
}

// PEM key files: the headers, the DEK-Info decryption and a password.
void FuzzPem(const uint8_t* data, size_t size) {
  SecretBytes password;
  if (password.Set("fuzz") != 0) return;
  TextArmor out;
  (void)KeyFileFormats::DecodePem(out, "PRIVATE KEY", reinterpret_cast<const char*>(data), static_cast<int>(size),
                                  password, 0);
  TextArmor body;
  (void)KeyFileFormats::ExtractArmorBody(body, "KEY", reinterpret_cast<const char*>(data), static_cast<int>(size));
}

// PKCS#8 files, plain and encrypted: the iteration count is capped by the
// input's own bytes, so keep runs short by fuzzing small counts only.
void FuzzPkcs8File(const uint8_t* data, size_t size) {
  SecretBytes password;
  if (password.Set("fuzz") != 0) return;
  TextArmor out;
  int isDsa = 0, isEc = 0;
  (void)KeyFileFormats::DecodePkcs8(out, reinterpret_cast<const char*>(data), static_cast<int>(size), password, isDsa,
                                    isEc);
}

// Any key file: a holder is filled only on success.
void FuzzKeyFile(const uint8_t* data, size_t size) {
  SecretBytes password;
  if (password.Set("fuzz") != 0) return;
  TextArmor blob;
  KeyHolder holder;
  ByteString error;
  const int status = KeyCodec::ReadPrivateKeyFile(reinterpret_cast<const char*>(data), static_cast<int>(size),
                                                  password, blob, holder, error);
  Require(status != 0 || holder.type != kKeyTypeNone, "a key read has a type");
}

// The three DER key readers on the same bytes.
void FuzzKeyDer(const uint8_t* data, size_t size) {
  TextArmor blob;
  RsaKey rsa;
  (void)KeyCodec::ReadRsaPrivateKey(data, static_cast<int>(size), blob, rsa);
  DsaKey dsa;
  (void)KeyCodec::ReadDsaPrivateKey(data, static_cast<int>(size), blob, dsa);
  EcKey ec;
  ByteString error;
  (void)KeyCodec::ReadEcPrivateKey(data, static_cast<int>(size), blob, ec, error);
}

// Status and tree listing of a text fed in two pieces; keep selects Restart's
// keep-input mode, else consumed text is dropped between the calls.
std::string ParseJson(const uint8_t* data, size_t size, size_t cut, bool keep) {
  JsonParser parser;
  if (keep) jsontest::Prepare(parser);
  static_cast<void>(parser.SetValueDecoding(3));
  static_cast<void>(parser.SetBuildDom(1));
  int status = parser.Input(data, static_cast<int>(cut));
  if (status == 0) status = parser.Input(data + cut, static_cast<int>(size - cut));
  std::string out = std::to_string(status);
  if (status == 0 && parser.Root() != nullptr) {
    out += ' ' + jsontest::Listing(parser.Root());
    ByteString path;
    for (JsonNode* n = parser.Root(); n != nullptr; n = n->LastChild()) {
      Require(n->GetXPath(path) == 0 && n->GetJsonPath(path) == 0, "json path text");
    }
  }
  return out;
}

void FuzzJson(const uint8_t* data, size_t size) {
  static_cast<void>(ParseJson(data, size, size, true));
  // The input as a path, both languages, over a fixed document.
  JsonParser parser;
  jsontest::Prepare(parser, 1);
  Require(parser.Input("{\"keys\":[{\"kty\":\"EC\",\"a\":[1,[2]]},{\"kty\":\"RSA\"}],\"x\":{}}") == 0, "fixed document");
  const std::string path(reinterpret_cast<const char*>(data), size);
  static_cast<void>(parser.HasPath(path.c_str()));
  if (parser.SelectPath(path.c_str()) == 0) static_cast<void>(parser.GetText());
  static_cast<void>(parser.FindNode(path.c_str(), 0));
  static_cast<void>(parser.FindNode(path.c_str(), 1));
}

void FuzzJsonSplit(const uint8_t* data, size_t size) {
  if (size == 0) return;
  const size_t cut = data[0] % size;
  const std::string whole = ParseJson(data + 1, size - 1, size - 1, true);
  Require(ParseJson(data + 1, size - 1, cut, true) == whole, "split parse equals whole parse");
  Require(ParseJson(data + 1, size - 1, cut, false) == whole, "split parse dropping input equals whole parse");
}

// The texts a loaded certificate gives the TLS host check come back whole.
void FuzzCertificateManager(const uint8_t* data, size_t size) {
  CertificateManager manager;
  if (manager.LoadCertificate(reinterpret_cast<const char*>(data), static_cast<int>(size)) == 0) {
    Require(manager.GetSubjectAltNames() != nullptr, "alternative names text");
    ByteString subject, issuer;
    (void)KeyCodec::NormalizeName(manager.GetSubject(), subject);
    (void)KeyCodec::NormalizeName(manager.GetIssuer(), issuer);
    char* encoded = nullptr;
    int length = 0;
    Require(manager.GetEncoded(&encoded, &length) == 0 && (size == 0 || encoded != nullptr), "encoded text");
  }
  const std::string text(reinterpret_cast<const char*>(data), size);
  ByteString canonical;
  Require(KeyCodec::NormalizeName(text.c_str(), canonical) == 0, "normalise");
  const char* cursor = text.c_str();
  ByteString token;
  // Every token moves the cursor on or ends the text; bounded by its length.
  for (size_t i = 0; i <= size && *cursor != '\0'; ++i) {
    const char* before = cursor;
    if (KeyCodec::NextNameToken(cursor, token) != 0 || cursor == before) break;
  }
}

void FuzzChain(const uint8_t* data, size_t size) {
  StringList chain;
  size_t at = 0;
  while (at < size && chain.Count() < 40) {
    const size_t length = DerElementLength(data + at, size - at);
    if (length == 0) break;
    if (chain.Add(data + at, static_cast<int>(length)) != 0) return;
    at += length;
  }
  if (chain.Count() == 0) return;
  SelectedCertificate leaf;
  if (leaf.Init(nullptr, 0, 0, nullptr, nullptr, chain.Get(0), chain.EntryLength(0)) != 0) return;
  const int verdict = SelectedCertificate::VerifyChain(leaf, chain, nullptr, 0x10, nullptr);
  Require(verdict != 0 || chain.Count() <= kMaxReceivedCertificates, "bound on received certificates");
  // As the TLS engine asks: the leaf selected from its decoded record and the
  // chain armoured, so that the leaf's record stands in for its own text.
  StringList armoured;
  for (int i = 0; i < chain.Count(); ++i) {
    const std::string entry(chain.Get(i), static_cast<size_t>(chain.EntryLength(i)));
    if (entry.find("-----BEGIN") != std::string::npos) return;  // DER that reads as armour
    ByteString pem;
    if (KeyCodec::PemEncode(entry.data(), static_cast<int>(entry.size()), "CERTIFICATE", pem) != 0) return;
    if (armoured.Add(pem.Data(), pem.Length()) != 0) return;
  }
  auto record = std::make_unique<X509Certificate>();
  if (record->encoded.Set(chain.Get(0), chain.EntryLength(0)) != 0) return;
  Require(record->Decode() == 0, "a selected leaf decodes");
  SelectedCertificate decodedLeaf;
  Require(decodedLeaf.Init(std::move(record)) == 0, "a decoded leaf selects");
  Require(SelectedCertificate::VerifyChain(decodedLeaf, armoured, nullptr, 0x10, nullptr) == verdict,
          "the decoded leaf's verdict");
  StringList trusted;
  if (trusted.Add(chain.Get(chain.Count() - 1), chain.EntryLength(chain.Count() - 1)) != 0) return;
  (void)SelectedCertificate::VerifyChain(leaf, chain, nullptr, 0, &trusted);
}

// A manager holding an already parsed PFX, so the fuzzed iteration cap
// holds for the selection too.
struct PfxSelection : CertificateManager {
  int Select(const Pkcs12Reader& reader) {
    CertStoreEntry entry;
    entry.pkcs12 = new (std::nothrow) Pkcs12Reader();
    if (entry.pkcs12 == nullptr || entry.pkcs12->CopyFrom(reader) != 0 || store_.entries.Append(entry) != 0) return -1;
    return SelectPkcs12Certificate("*");
  }
};

// PFX files: iteration counts above a few are refused through the reader's
// cap, so a fuzzed count cannot stall the run.
void FuzzPkcs12(const uint8_t* data, size_t size) {
  Pkcs12Reader reader;
  reader.maxIterations = 16;
  if (reader.SetData(data, static_cast<int>(size)) != 0 || reader.SetPassword("fuzz") != 0) return;
  const int status = reader.Parse();
  Require(status != 0 || reader.errorText.IsEmpty(), "success leaves no error text");
  RsaKey rsa;
  EcKey ec;
  (void)reader.GetKeyAlgorithm();
  (void)reader.GetRsaKey(rsa);
  (void)reader.GetEcKey(ec);
  Pkcs12Reader copy;
  Require(copy.CopyFrom(reader) == 0 && copy.keys.Count() == reader.keys.Count(), "copy");
  // The store's selection: the certificate that goes with the key, rebuilt
  // from the reader's parts, must load as the manager's certificate.
  PfxSelection selection;
  if (selection.Select(reader) == 0) {
    char* encoded = nullptr;
    int length = 0;
    Require(selection.GetEncoded(&encoded, &length) == 0 && length > 0, "selected certificate");
  }
}

// SignedData elements; what was read is written again.
void FuzzSignedData(const uint8_t* data, size_t size) {
  ByteString element;
  if (element.Set(data, static_cast<int>(size)) != 0) return;
  SignedData signedData;
  if (X509Codec::ParseSignedData(element, signedData) != 0) return;
  DerWriter w;
  (void)X509Codec::WriteSignedData(signedData, w);
  SignedData copy;
  Require(copy.CopyFrom(signedData) == 0, "copy");
}

// A ContentInfo as Base64 text.
void FuzzPkcs7(const uint8_t* data, size_t size) {
  Pkcs7ContentInfo info;
  if (info.encodedText.Set(data, static_cast<int>(size)) != 0) return;
  (void)info.Decode();
  Require(info.Clear() == 0 && info.signedData == nullptr && info.envelopedData == nullptr, "clear");
}

void FuzzEnvelopedData(const uint8_t* data, size_t size) {
  ByteString element;
  if (element.Set(data, static_cast<int>(size)) != 0) return;
  EnvelopedData enveloped;
  (void)Pkcs7ContentInfo::DecodeEnvelopedData(element, enveloped);
  KeyTransRecipientInfo recipient;
  (void)Pkcs7ContentInfo::DecodeKeyTransRecipientInfo(element, recipient);
}

// A JWK read and, when it reads, written and read again: the written text
// parses (a field that was all zeros is empty after writing, hence 271).
void FuzzJwk(const uint8_t* data, size_t size) {
  ByteString json;
  if (json.Set(data, static_cast<int>(size)) != 0) return;
  KeyHolder holder;
  if (KeyCodec::ReadJwk(holder, json) != 0) return;
  ByteString written;
  if (KeyCodec::WriteJwk(holder, 1, written) != 0) return;
  KeyHolder again;
  const int status = KeyCodec::ReadJwk(again, written);
  Require(status == 0 || status == kKeyUnusable, "a written JWK parses");
  Require(status != 0 || again.type == holder.type, "same key type");
}

void FuzzOpenSsh(const uint8_t* data, size_t size) {
  SecretBytes password;
  if (password.Set("fuzz") != 0) return;
  KeyHolder holder;
  if (KeyCodec::ReadOpenSshKey(reinterpret_cast<const char*>(data), static_cast<int>(size), password, holder) != 0) {
    return;
  }
  TextArmor blob;
  (void)KeyCodec::WriteHolderBlob(holder, blob);
}

void FuzzPutty(const uint8_t* data, size_t size) {
  SecretBytes password;
  if (password.Set("fuzz") != 0) return;
  KeyHolder holder;
  const int status = KeyCodec::ReadPuttyKey(reinterpret_cast<const char*>(data), static_cast<int>(size), password,
                                            holder);
  Require(status == 0 || status == kKeyFormatNotFound || status == kKeyFileUnreadable || status == 200,
          "putty status");
  if (status != 0) return;
  TextArmor blob;
  (void)KeyCodec::WriteHolderBlob(holder, blob);
}

// The decoded body of an SSH2 file; its own failures carry their text.
void FuzzSsh2(const uint8_t* data, size_t size) {
  SecretBytes password;
  if (password.Set("fuzz") != 0) return;
  TextArmor blob;
  KeyHolder holder;
  ByteString error;
  const int status = KeyCodec::ReadSsh2EncryptedKey(data, static_cast<int>(size), password, blob, holder, error);
  Require(status != kKeyFileUnreadable || std::strcmp(error.CStr(), "Could not read SSH2 encrypted key") == 0,
          "ssh2 error text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* target = std::getenv("PKI_FUZZ_TARGET");
  // OpenSSH files name their own bcrypt rounds: keep each input short.
  g_bcryptRoundsLimit = 2;
  if (size > 8192) return 0;
  const std::string which = target != nullptr ? target : "cert";
  if (which == "der") {
    FuzzDer(data, size);
  } else if (which == "tree") {
    FuzzTree(data, size);
  } else if (which == "cert") {
    FuzzCertificate(data, size);
  } else if (which == "decode") {
    FuzzDecode(data, size);
  } else if (which == "walk") {
    FuzzWalk(data, size);
  } else if (which == "spki") {
    FuzzSpki(data, size);
  } else if (which == "pkcs8") {
    FuzzPkcs8(data, size);
  } else if (which == "dn") {
    FuzzName(data, size);
  } else if (which == "armor") {
    FuzzArmor(data, size);
  } else if (which == "pem") {
    FuzzPem(data, size);
  } else if (which == "p8file") {
    FuzzPkcs8File(data, size);
  } else if (which == "keyfile") {
    FuzzKeyFile(data, size);
  } else if (which == "keyder") {
    FuzzKeyDer(data, size);
  } else if (which == "json") {
    FuzzJson(data, size);
  } else if (which == "json_split") {
    FuzzJsonSplit(data, size);
  } else if (which == "certmgr") {
    FuzzCertificateManager(data, size);
  } else if (which == "chain") {
    FuzzChain(data, size);
  } else if (which == "p12") {
    FuzzPkcs12(data, size);
  } else if (which == "signed") {
    FuzzSignedData(data, size);
  } else if (which == "p7") {
    FuzzPkcs7(data, size);
  } else if (which == "enveloped") {
    FuzzEnvelopedData(data, size);
  } else if (which == "jwk") {
    FuzzJwk(data, size);
  } else if (which == "openssh") {
    FuzzOpenSsh(data, size);
  } else if (which == "putty") {
    FuzzPutty(data, size);
  } else if (which == "ssh2") {
    FuzzSsh2(data, size);
  }
  return 0;
}
