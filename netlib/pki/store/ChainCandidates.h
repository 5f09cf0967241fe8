#pragma once
// The certificates a chain walk chooses from, each decoded once with its
// normalised names and serial text, and the walk that extends a path of
// issuers over them.
#include <memory>

#include "core/text/ByteString.h"
#include "pki/x509/CertificateRecords.h"

namespace tornell::pki {

struct ChainCandidate {
  // As given, PEM text or DER: the caller's bytes, which outlive the set.
  const char* text = nullptr;
  int textLength = 0;
  // Made only when decoded here: most candidates adopt a record held elsewhere.
  std::unique_ptr<X509Certificate> own;
  const X509Certificate* record = nullptr;
  ByteString subject;                      // normalised
  ByteString issuer;                       // normalised
  ByteString serial;
  int index = 0;                           // position in the list it came from
  bool der = false;                        // text is DER, never read as PEM
};

// A fixed set of candidates, allocated once for the number of certificates;
// a chain of one or two (the usual peer) needs no allocation.
class ChainCandidates {
 public:
  ChainCandidates() = default;
  ~ChainCandidates() { ReleaseHeap(); }
  ChainCandidates(const ChainCandidates&) = delete;
  ChainCandidates& operator=(const ChainCandidates&) = delete;

  [[nodiscard]] int Reserve(int capacity);
  // Decodes a certificate text (PEM when it holds the CERTIFICATE armour and
  // der is not set, else DER) into the next free candidate without adding it
  // to the live set.
  [[nodiscard]] int Decode(const char* text, int length, int index, ChainCandidate*& out, bool der = false);
  // As Decode for a text whose certificate `record` holds decoded already; the
  // candidate points at the record, which must outlive it.
  [[nodiscard]] int Adopt(const char* text, int length, int index, const X509Certificate& record,
                          ChainCandidate*& out);
  // Adds the last decoded candidate to the live set unless a live one has the
  // same subject, issuer and serial.
  void MergeLast();
  // Adds the last decoded candidate to the live set as it is.
  void AddLast();
  void RemoveLive(int position);
  int LiveCount() const { return liveCount_; }
  ChainCandidate* Live(int position) const { return live_[position]; }

 private:
  static constexpr int kInline = 2;
  void ReleaseHeap();

  ChainCandidate inlineItems_[kInline];
  ChainCandidate* inlineLive_[kInline] = {};
  ChainCandidate* items_ = nullptr;
  ChainCandidate** live_ = nullptr;
  int capacity_ = 0;
  int used_ = 0;
  int liveCount_ = 0;
};

// Fills a candidate's names and serial from its record.
[[nodiscard]] int DescribeCandidate(ChainCandidate& candidate);

// Extends the path, whose last certificate is `last`, over the live
// candidates: the first whose subject is the current issuer and whose key
// verifies the last certificate's signature is appended (at most `room`
// entries) and, unless it is self-issued, leaves the set. 0 when a
// self-issued certificate was reached (or nothing is left and the current
// names are equal), -1 when the path stopped short, or a verification status.
[[nodiscard]] int WalkPath(ByteString& issuer, ByteString& subject, ChainCandidates& candidates,
                           const X509Certificate* last, ChainCandidate** path, int& pathCount, int room);

}  // namespace tornell::pki
