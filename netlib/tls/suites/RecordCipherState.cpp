#include "tls/suites/RecordCipherState.h"

namespace tornell {

// The members' initializers are the state Reset leaves.
RecordCipherState::RecordCipherState() = default;

int RecordCipherState::Reset() {
  compressionMethod = 0;
  sequence = 0;
  active = 0;
  return suite.Reset();
}

int RecordCipherState::Activate() {
  active = 1;
  sequence = 0;
  return kStatusOk;
}

int RecordCipherState::CopyFrom(const RecordCipherState& other) {
  if (this == &other) return kStatusOk;
  compressionMethod = other.compressionMethod;
  sequence = other.sequence;
  active = other.active;
  return suite.CopyFrom(other.suite);
}

}  // namespace tornell
