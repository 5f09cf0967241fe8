#pragma once
// One direction of record protection: the agreed suite with this direction's
// keys, the records' sequence number and whether protection is on.
#include <cstdint>

#include "core/text/ByteString.h"
#include "tls/suites/CipherSuite.h"

namespace tornell {

class RecordCipherState {
 public:
  RecordCipherState();
  ~RecordCipherState() = default;
  RecordCipherState(const RecordCipherState&) = delete;
  RecordCipherState& operator=(const RecordCipherState&) = delete;

  [[nodiscard]] int Reset();
  int SetCompressionMethod(int method) {
    compressionMethod = method;
    return kStatusOk;
  }
  int GetCompressionMethod() const { return compressionMethod; }
  int IsActive() const { return active; }
  // Protection on, sequence back to 0.
  int Activate();
  // The current sequence number, then one more.
  uint64_t NextSequence() { return sequence++; }
  uint64_t GetSequence() const { return sequence; }

  // A code the registry lacks changes nothing and gives 0.
  [[nodiscard]] int SetSuiteByCode(int code) { return CipherSuite::CopyByCode(code, suite); }
  [[nodiscard]] int SetSuite(const CipherSuite& other) { return suite.CopyFrom(other); }
  [[nodiscard]] int SetMacSecret(const ByteString& secret) { return suite.SetMacSecret(secret); }
  [[nodiscard]] int SetKeyAndIv(const ByteString& key, const ByteString& iv) { return suite.SetKeyAndIv(key, iv); }
  [[nodiscard]] int SetFixedIv(const ByteString& iv) { return suite.SetFixedIv(iv); }
  [[nodiscard]] int GetFixedIv(ByteString& out) const { return suite.GetFixedIv(out); }
  // Includes the cipher's chaining state.
  [[nodiscard]] int CopyFrom(const RecordCipherState& other);

  CipherSuite& Suite() { return suite; }
  const CipherSuite& Suite() const { return suite; }

 private:
  int compressionMethod = 0;
  uint64_t sequence = 0;
  int active = 0;
  CipherSuite suite;
};

}  // namespace tornell
