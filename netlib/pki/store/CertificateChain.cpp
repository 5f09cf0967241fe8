// Verification of a received certificate chain for a selected leaf, and the
// path walk it is built on. Every certificate is decoded once per call.
#include <cstring>
#include <new>
#include <utility>

#include "core/base/Status.h"
#include "pki/keys/KeyCodec.h"
#include "pki/store/ChainCandidates.h"
#include "pki/store/CertificateCollection.h"
#include "pki/store/SelectedCertificate.h"

namespace tornell::pki {

namespace {

const char kNoCertificateText[] = "No certificate selected.  Please select a certificate first.";

// The text with every CR and LF removed.
int WithoutLineEnds(const char* text, int length, ByteString& out) {
  TORNELL_TRY(out.Clear());
  for (int i = 0; i < length; ++i) {
    if (text[i] != '\r' && text[i] != '\n') TORNELL_TRY(out.AppendByte(text[i]));
  }
  return kStatusOk;
}

// Whether two certificate texts are the same, carriage returns aside (the
// manager keeps its PEM text with LF line ends).
bool SameTextWithoutCr(const char* a, int aLength, const char* b, int bLength) {
  const char* aEnd = a + aLength;
  const char* bEnd = b + bLength;
  // Runs between carriage returns (the PEM lines) compared whole.
  for (;;) {
    while (a < aEnd && *a == '\r') ++a;
    while (b < bEnd && *b == '\r') ++b;
    if (a == aEnd || b == bEnd) return a == aEnd && b == bEnd;
    const void* aCr = std::memchr(a, '\r', static_cast<size_t>(aEnd - a));
    const void* bCr = std::memchr(b, '\r', static_cast<size_t>(bEnd - b));
    const size_t aRun = static_cast<size_t>((aCr != nullptr ? static_cast<const char*>(aCr) : aEnd) - a);
    const size_t bRun = static_cast<size_t>((bCr != nullptr ? static_cast<const char*>(bCr) : bEnd) - b);
    const size_t run = aRun < bRun ? aRun : bRun;
    if (std::memcmp(a, b, run) != 0) return false;
    a += run;
    b += run;
  }
}

// Whether a received certificate is the leaf's own: its text (`leafText`)
// carriage returns aside, or for DER the bytes `leafRecord` was decoded from.
bool IsLeafItself(const char* text, int length, bool der, const char* leafText, int leafLength,
                  const X509Certificate& leafRecord) {
  if (der) return leafRecord.encoded.Equals(text, length);
  return SameTextWithoutCr(text, length, leafText, leafLength);
}

// The received certificates, validity-checked in order, merged into one set.
// A received certificate that is the leaf's own (decoded as `leafRecord`)
// takes that record instead of being decoded again.
int CollectReceived(const StringList& chain, bool der, ChainCandidates& received, const char* leafText,
                    int leafLength, const X509Certificate* leafRecord) {
  TORNELL_TRY(received.Reserve(chain.Count()));
  for (int i = 0; i < chain.Count(); ++i) {
    ChainCandidate* c = nullptr;
    if (leafRecord != nullptr &&
        IsLeafItself(chain.Get(i), chain.EntryLength(i), der, leafText, leafLength, *leafRecord)) {
      TORNELL_TRY(received.Adopt(chain.Get(i), chain.EntryLength(i), i, *leafRecord, c));
      c->der = der;
    } else {
      TORNELL_TRY(received.Decode(chain.Get(i), chain.EntryLength(i), i, c, der));
    }
    const int validity = KeyCodec::CheckValidityPeriod(c->record->tbs.notBefore.CStr(), c->record->tbs.notAfter.CStr());
    if (validity != 0) return validity;
    received.MergeLast();
  }
  return kStatusOk;
}

// Whether a trusted certificate is the top itself, line ends aside.
int TopIsTrusted(const ChainCandidate& top, const StringList& trusted, bool& found) {
  found = false;
  ByteString plainTop, plainTrusted;
  TORNELL_TRY(WithoutLineEnds(top.text, top.textLength, plainTop));
  for (int i = 0; i < trusted.Count() && !found; ++i) {
    TORNELL_TRY(WithoutLineEnds(trusted.Get(i), trusted.EntryLength(i), plainTrusted));
    found = plainTrusted.Equals(plainTop);
  }
  return kStatusOk;
}

// Whether trusted certificates sign the top, directly or through one another.
int VerifyAgainstTrusted(const ChainCandidate& top, const StringList& trusted) {
  bool same = false;
  TORNELL_TRY(TopIsTrusted(top, trusted, same));
  if (same) return kStatusOk;
  ChainCandidates anchors;
  TORNELL_TRY(anchors.Reserve(trusted.Count()));
  for (int i = 0; i < trusted.Count(); ++i) {
    ChainCandidate* c = nullptr;
    TORNELL_TRY(anchors.Decode(trusted.Get(i), trusted.EntryLength(i), i, c));
    anchors.MergeLast();
  }
  ByteString issuer, subject;
  TORNELL_TRY(issuer.Assign(top.issuer));
  TORNELL_TRY(subject.Assign(top.subject));
  const int room = trusted.Count() + 1;
  auto* path = new (std::nothrow) ChainCandidate*[room];
  if (path == nullptr) return kStatusNoMemory;
  int count = 0;
  // Only whether the path grew counts, not how the walk ended.
  static_cast<void>(WalkPath(issuer, subject, anchors, top.record, path, count, room));
  delete[] path;
  return count > 0 ? kStatusOk : kStatusFailed;
}

// The path's top without a trusted list: an untrusted root unless the
// security flags accept a self-signed one. When the walk stopped short, the
// top must be self-issued and verify its own signature to get that far.
int VerifyWithoutTrusted(ChainCandidate& top, int walkResult, ByteString& issuer, ByteString& subject, long flags) {
  const int rootStatus =
      top.issuer.Equals(top.subject) && (flags & kAcceptSelfSignedRoot) != 0 ? kStatusOk : kStatusUntrustedRoot;
  if (walkResult == kStatusOk) return rootStatus;
  ChainCandidates self;
  TORNELL_TRY(self.Reserve(1));
  ChainCandidate* copy = nullptr;
  TORNELL_TRY(self.Decode(top.text, top.textLength, 0, copy, top.der));
  self.AddLast();
  ChainCandidate* path[2] = {};
  int count = 0;
  const int second = WalkPath(issuer, subject, self, top.record, path, count, 2);
  if (second == kStatusOk) return rootStatus;
  return second;
}

// The received chain (texts, or DER when der is set) verified for the leaf.
int VerifyReceived(SelectedCertificate& leaf, const StringList& chain, bool der, long flags, StringList* trusted) {
  CertificateManager* manager = leaf.GetManager();
  if (manager == nullptr) return leaf.ReturnError(kStatusNoCertificateSelected, kNoCertificateText);
  // A bound on the walk, checked before any signature.
  if (chain.Count() > kMaxReceivedCertificates || chain.Count() == 0) return kStatusFailed;
  CertStoreEntry* stored = manager->Store().Current();
  const bool storedLeaf = stored != nullptr && stored->certificate != nullptr && manager->GetKeyFormat() != 1;
  char* leafText = nullptr;
  int leafLength = 0;
  // The peer's chain starts with the leaf itself, decoded already in the
  // store; DER is compared with the bytes it was decoded from, and needs no text.
  const bool leafDer = der && storedLeaf;
  if (leafDer) {
    leafText = const_cast<char*>(stored->certificate->encoded.Data());
    leafLength = stored->certificate->encoded.Length();
  }
  int leafStatus = storedLeaf && !leafDer ? manager->GetEncoded(&leafText, &leafLength) : kStatusOk;
  const X509Certificate* leafRecord = storedLeaf && leafStatus == kStatusOk ? stored->certificate : nullptr;
  ChainCandidates received;
  TORNELL_TRY(CollectReceived(chain, der, received, leafText, leafLength, leafRecord));

  ChainCandidate leafEntry;
  if (!storedLeaf) leafStatus = manager->GetEncoded(&leafText, &leafLength);
  TORNELL_TRY(leafStatus);
  leafEntry.text = leafText;
  leafEntry.textLength = leafLength;
  leafEntry.der = leafDer;
  if (storedLeaf) {
    leafEntry.record = stored->certificate;
  } else {
    ChainCandidates decoded;
    ChainCandidate* c = nullptr;
    TORNELL_TRY(decoded.Reserve(1));
    TORNELL_TRY(decoded.Decode(leafText, leafLength, 0, c));
    leafEntry.own = std::move(c->own);
    leafEntry.record = leafEntry.own.get();
  }

  ByteString issuer, subject;
  ChainCandidate* first = received.Live(0);
  TORNELL_TRY(issuer.Assign(first->issuer));
  TORNELL_TRY(subject.Assign(first->subject));
  received.RemoveLive(0);

  const int room = received.LiveCount() + 2;
  ChainCandidate* path[kMaxReceivedCertificates + 2] = {};
  path[0] = &leafEntry;
  int count = 1;
  const int walk = WalkPath(issuer, subject, received, leafEntry.record, path, count, room);
  if (walk != kStatusOk && walk != kStatusFailed) return walk;
  ChainCandidate& top = *path[count - 1];
  if (&top == &leafEntry) {
    // The leaf adopted from the received chain has its names already.
    if (first->record == leafEntry.record) {
      TORNELL_TRY(leafEntry.subject.Assign(first->subject));
      TORNELL_TRY(leafEntry.issuer.Assign(first->issuer));
      TORNELL_TRY(leafEntry.serial.Assign(first->serial));
    } else {
      TORNELL_TRY(DescribeCandidate(leafEntry));
    }
  }

  if (trusted != nullptr && trusted->Count() > 0) return VerifyAgainstTrusted(top, *trusted);
  return VerifyWithoutTrusted(top, walk, issuer, subject, flags);
}

}  // namespace

int SelectedCertificate::VerifyChain(SelectedCertificate& leaf, const StringList& chain, const char*, long flags,
                                     StringList* trusted) {
  return VerifyReceived(leaf, chain, false, flags, trusted);
}

int SelectedCertificate::VerifyDerChain(SelectedCertificate& leaf, const StringList& chain, long flags) {
  return VerifyReceived(leaf, chain, true, flags, nullptr);
}

int SelectedCertificate::ExtendPath(ByteString& issuer, ByteString& subject, StringList& encoded,
                                    StringList& subjects, StringList& issuers, StringList& path) {
  if (encoded.Count() == 0) return issuer.Equals(subject) ? kStatusOk : kStatusFailed;
  if (encoded.Count() > kMaxReceivedCertificates) return kStatusFailed;
  ChainCandidates candidates;
  TORNELL_TRY(candidates.Reserve(encoded.Count() + 1));
  for (int i = 0; i < encoded.Count(); ++i) {
    ChainCandidate* c = nullptr;
    TORNELL_TRY(candidates.Decode(encoded.Get(i), encoded.EntryLength(i), i, c));
    // The lists' own names count, as given.
    TORNELL_TRY(c->subject.Set(subjects.Get(i), subjects.EntryLength(i)));
    TORNELL_TRY(c->issuer.Set(issuers.Get(i), issuers.EntryLength(i)));
    // Every entry is a candidate: duplicates are the caller's to merge.
    candidates.AddLast();
  }
  const X509Certificate* last = nullptr;
  ChainCandidate* lastEntry = nullptr;
  if (path.Count() > 0) {
    TORNELL_TRY(candidates.Decode(path.Get(path.Count() - 1), path.EntryLength(path.Count() - 1), -1, lastEntry));
    last = lastEntry->record;
  }
  ChainCandidate* walked[kMaxReceivedCertificates + 1] = {};
  int count = 0;
  const int result = WalkPath(issuer, subject, candidates, last, walked, count, kMaxReceivedCertificates + 1);
  // Through a copy: the texts point into the caller's lists, which may be the path itself.
  StringList found;
  for (int i = 0; i < count; ++i) TORNELL_TRY(found.Add(walked[i]->text, walked[i]->textLength));
  for (int i = 0; i < count; ++i) TORNELL_TRY(path.Add(found.Get(i), found.EntryLength(i)));
  // Matched candidates leave the lists, except a self-issued one that ended the walk.
  int removed = result == kStatusOk && count > 0 && walked[count - 1]->issuer.Equals(walked[count - 1]->subject)
                    ? count - 1
                    : count;
  // Highest list position first, so the others stay where they are.
  while (removed > 0) {
    int highest = 0;
    for (int i = 1; i < removed; ++i) {
      if (walked[i]->index > walked[highest]->index) highest = i;
    }
    TORNELL_TRY(RemoveCertificateAt(walked[highest]->index, encoded, subjects, issuers));
    walked[highest] = walked[--removed];
  }
  return result;
}

}  // namespace tornell::pki
