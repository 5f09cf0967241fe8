#include "pki/store/ChainCandidates.h"

#include <cstring>
#include <new>
#include <string_view>

#include "core/base/Status.h"
#include "pki/keys/KeyCodec.h"
#include "pki/keys/KeyFileFormats.h"

namespace tornell::pki {

void ChainCandidates::ReleaseHeap() {
  if (items_ != inlineItems_) delete[] items_;
  if (live_ != inlineLive_) delete[] live_;
  items_ = nullptr;
  live_ = nullptr;
}

int ChainCandidates::Reserve(int capacity) {
  // Inline candidates used before start afresh.
  for (int i = 0; items_ == inlineItems_ && i < used_; ++i) inlineItems_[i] = ChainCandidate();
  ReleaseHeap();
  capacity_ = used_ = liveCount_ = 0;
  if (capacity <= kInline) {
    items_ = inlineItems_;
    live_ = inlineLive_;
  } else {
    items_ = new (std::nothrow) ChainCandidate[capacity];
    live_ = new (std::nothrow) ChainCandidate*[capacity];
    if (items_ == nullptr || live_ == nullptr) {
      ReleaseHeap();
      return kStatusNoMemory;
    }
  }
  capacity_ = capacity;
  return kStatusOk;
}

int ChainCandidates::Decode(const char* text, int length, int index, ChainCandidate*& out, bool der) {
  if (used_ >= capacity_) return kStatusIndexRange;
  ChainCandidate& c = items_[used_];
  c.index = index;
  c.der = der;
  c.text = text;
  c.textLength = length;
  c.own.reset(new (std::nothrow) X509Certificate());
  if (c.own == nullptr) return kStatusNoMemory;
  c.record = c.own.get();
  if (!der && std::string_view(text, size_t(length > 0 ? length : 0)).find("-----BEGIN CERTIFICATE-----") !=
                   std::string_view::npos) {
    TextArmor der;
    SecretBytes none;
    TORNELL_TRY(KeyFileFormats::DecodePem(der, "CERTIFICATE", text, length, none, 1));
    TORNELL_TRY(c.own->encoded.Set(der.Data(), der.Length()));
  } else {
    TORNELL_TRY(c.own->encoded.Set(text, length));
  }
  TORNELL_TRY(c.own->Decode());
  TORNELL_TRY(DescribeCandidate(c));
  ++used_;
  out = &c;
  return kStatusOk;
}

int ChainCandidates::Adopt(const char* text, int length, int index, const X509Certificate& record,
                           ChainCandidate*& out) {
  if (used_ >= capacity_) return kStatusIndexRange;
  ChainCandidate& c = items_[used_];
  c.index = index;
  c.text = text;
  c.textLength = length;
  c.record = &record;
  TORNELL_TRY(DescribeCandidate(c));
  ++used_;
  out = &c;
  return kStatusOk;
}

void ChainCandidates::MergeLast() {
  if (used_ == 0) return;
  ChainCandidate* c = &items_[used_ - 1];
  for (int k = 0; k < liveCount_; ++k) {
    const ChainCandidate* held = live_[k];
    if (held->subject.Equals(c->subject) && held->issuer.Equals(c->issuer) && held->serial.Equals(c->serial)) return;
  }
  live_[liveCount_++] = c;
}

void ChainCandidates::AddLast() {
  if (used_ > 0) live_[liveCount_++] = &items_[used_ - 1];
}

void ChainCandidates::RemoveLive(int position) {
  if (position < 0 || position >= liveCount_) return;
  for (int k = position + 1; k < liveCount_; ++k) live_[k - 1] = live_[k];
  --liveCount_;
}

int DescribeCandidate(ChainCandidate& candidate) {
  const char* subject = candidate.record->GetSubject();
  const char* issuer = candidate.record->GetIssuer();
  TORNELL_TRY(KeyCodec::NormalizeName(subject, candidate.subject));
  // A self-issued certificate (every root) names itself twice.
  if (std::strcmp(issuer, subject) == 0) {
    TORNELL_TRY(candidate.issuer.Assign(candidate.subject));
  } else {
    TORNELL_TRY(KeyCodec::NormalizeName(issuer, candidate.issuer));
  }
  const ByteString& hex = candidate.record->tbs.serialNumber;
  // The manager's serial text: an odd number of digits gets a leading "0".
  TORNELL_TRY(candidate.serial.Set(hex.Length() % 2 == 1 ? "0" : ""));
  return candidate.serial.Append(hex);
}

int WalkPath(ByteString& issuer, ByteString& subject, ChainCandidates& candidates, const X509Certificate* last,
             ChainCandidate** path, int& pathCount, int room) {
  // A loop, not recursion: each step appends one candidate or stops.
  for (;;) {
    if (candidates.LiveCount() == 0) return issuer.Equals(subject) ? kStatusOk : kStatusFailed;
    int match = -1;
    for (int k = 0; k < candidates.LiveCount() && match < 0; ++k) {
      ChainCandidate* c = candidates.Live(k);
      if (!c->subject.Equals(issuer) || last == nullptr) continue;
      const int verdict = KeyCodec::VerifyCertificateSignature(*last, *c->record);
      if (verdict == kStatusOk) {
        match = k;
      } else if (verdict != kStatusFailed) {
        return verdict;
      }
    }
    if (match < 0 || pathCount >= room) return kStatusFailed;
    ChainCandidate* found = candidates.Live(match);
    path[pathCount++] = found;
    if (found->issuer.Equals(found->subject)) return kStatusOk;
    TORNELL_TRY(issuer.Assign(found->issuer));
    TORNELL_TRY(subject.Assign(found->subject));
    candidates.RemoveLive(match);
    last = found->record;
  }
}

}  // namespace tornell::pki
