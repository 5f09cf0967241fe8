// Chain verification rows: a leaf, intermediate and root chain (RSA-2048 and
// P-256) from DER. Ours: PEM armour of each certificate as the TLS engine
// makes it, selection of the leaf and VerifyChain accepting the self-signed
// root. Peer: three d2i_X509 and X509_verify_cert with the root in a store.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <string>
#include <vector>

#include "BenchPath.h"
#include "core/text/ByteString.h"
#include "core/text/StringList.h"
#include "pki/keys/KeyCodec.h"
#include "pki/store/SelectedCertificate.h"

namespace {

using tornell::ByteString;
using tornell::StringList;
using tornell::pki::KeyCodec;
using tornell::pki::SelectedCertificate;

EVP_PKEY* NewKey(bool rsa) { return rsa ? EVP_RSA_gen(2048) : EVP_EC_gen("P-256"); }

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

// One certificate of the chain, DER encoded; issuer null for the root.
std::string MakeCertificate(const char* commonName, EVP_PKEY* key, X509* issuerCert, EVP_PKEY* issuerKey,
                            bool ca, long serial, X509** keep) {
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 86400L * 365);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "C", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("US"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Bench Org"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(commonName), -1, -1,
                             0);
  X509_set_issuer_name(cert, issuerCert != nullptr ? X509_get_subject_name(issuerCert) : name);
  X509_set_pubkey(cert, key);
  AddExtension(cert, issuerCert != nullptr ? issuerCert : cert, NID_basic_constraints,
               ca ? "critical,CA:TRUE" : "CA:FALSE");
  if (ca) AddExtension(cert, issuerCert != nullptr ? issuerCert : cert, NID_key_usage, "critical,keyCertSign,cRLSign");
  X509_sign(cert, issuerKey, EVP_sha256());
  unsigned char* der = nullptr;
  const int length = i2d_X509(cert, &der);
  std::string out(reinterpret_cast<char*>(der), static_cast<size_t>(length > 0 ? length : 0));
  OPENSSL_free(der);
  if (keep != nullptr) {
    *keep = cert;
  } else {
    X509_free(cert);
  }
  return out;
}

struct Chain {
  std::string leaf, intermediate, root;
};

Chain MakeChain(bool rsa) {
  EVP_PKEY* rootKey = NewKey(rsa);
  EVP_PKEY* intKey = NewKey(rsa);
  EVP_PKEY* leafKey = NewKey(rsa);
  X509* rootCert = nullptr;
  X509* intCert = nullptr;
  Chain c;
  c.root = MakeCertificate("Bench Root", rootKey, nullptr, rootKey, true, 1, &rootCert);
  c.intermediate = MakeCertificate("Bench Intermediate", intKey, rootCert, rootKey, true, 2, &intCert);
  c.leaf = MakeCertificate("bench.example", leafKey, intCert, intKey, false, 3, nullptr);
  X509_free(rootCert);
  X509_free(intCert);
  EVP_PKEY_free(rootKey);
  EVP_PKEY_free(intKey);
  EVP_PKEY_free(leafKey);
  return c;
}

const Chain& ChainOf(bool rsa) {
  static const Chain rsaChain = MakeChain(true), p256Chain = MakeChain(false);
  return rsa ? rsaChain : p256Chain;
}

void VerifyOurs(benchmark::State& state, bool rsa) {
  if (rsa) {
    benchpath::Label(state, benchpath::kMontgomery);
  } else {
    benchpath::Label(state, benchpath::kMulxAdx);
  }
  const Chain& chain = ChainOf(rsa);
  for (auto _ : state) {
    StringList received;
    for (const std::string* der : {&chain.leaf, &chain.intermediate, &chain.root}) {
      ByteString pem;
      if (KeyCodec::PemEncode(der->data(), static_cast<int>(der->size()), "CERTIFICATE", pem) != 0 ||
          received.Add(pem.Data(), pem.Length()) != 0) {
        state.SkipWithError("armour failed");
      }
    }
    SelectedCertificate leaf;
    if (leaf.Init(nullptr, 0, 0, nullptr, nullptr, received.Get(0), received.EntryLength(0)) != 0) {
      state.SkipWithError("leaf not selected");
    }
    const int verdict = SelectedCertificate::VerifyChain(leaf, received, nullptr, 0x10, nullptr);
    if (verdict != 0) state.SkipWithError("chain not verified");
    benchmark::DoNotOptimize(verdict);
  }
  state.SetItemsProcessed(state.iterations());
}

X509* Decode(const std::string& der) {
  const auto* at = reinterpret_cast<const unsigned char*>(der.data());
  return d2i_X509(nullptr, &at, static_cast<long>(der.size()));
}

void VerifyPeer(benchmark::State& state, bool rsa) {
  const Chain& chain = ChainOf(rsa);
  for (auto _ : state) {
    X509* leaf = Decode(chain.leaf);
    X509* intermediate = Decode(chain.intermediate);
    X509* root = Decode(chain.root);
    X509_STORE* store = X509_STORE_new();
    X509_STORE_add_cert(store, root);
    STACK_OF(X509)* untrusted = sk_X509_new_null();
    sk_X509_push(untrusted, intermediate);
    X509_STORE_CTX* ctx = X509_STORE_CTX_new();
    X509_STORE_CTX_init(ctx, store, leaf, untrusted);
    const int verdict = X509_verify_cert(ctx);
    if (verdict != 1) state.SkipWithError("peer refused the chain");
    benchmark::DoNotOptimize(verdict);
    X509_STORE_CTX_free(ctx);
    sk_X509_free(untrusted);
    X509_STORE_free(store);
    X509_free(root);
    X509_free(intermediate);
    X509_free(leaf);
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(VerifyOurs, rsa, true)->Name("ChainVerifyRsa2048/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(VerifyPeer, rsa, true)->Name("ChainVerifyRsa2048/peer")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(VerifyOurs, p256, false)->Name("ChainVerifyP256/ours")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(VerifyPeer, p256, false)->Name("ChainVerifyP256/peer")->Unit(benchmark::kMicrosecond);

}  // namespace
