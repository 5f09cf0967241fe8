#pragma once
// A file sent as a request body: fixed chunks through the blocking send, a
// progress call after each, and a flag the HTTP layer reads while it runs.
#include "core/base/FilePath.h"
#include "net/connection/ProtocolConnection.h"

namespace tornell {

constexpr int kStatusCannotOpenFile = 302;

class TransferConnection : public ProtocolConnection {
 public:
  static constexpr int kDefaultChunk = 16384;

  // ---- virtual operations ----
  int OnProgress(int bytesSoFar) override { return OnFileProgress(bytesSoFar, 0); }
  // Returns `code` here; the HTTP layer raises its transfer events.
  virtual int OnFileProgress(long bytesSoFar, int code);

  [[nodiscard]] int SendFile(FilePath& path, int bufferSize, int hooks);
  int IsUploading() const { return uploading_; }

 protected:
  uint8_t uploading_ = 0;
};

}  // namespace tornell
