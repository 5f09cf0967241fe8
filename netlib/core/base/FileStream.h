#pragma once
// The library's only access to files: one POSIX descriptor and fixed status codes.

#include "core/text/ByteString.h"
#include "core/base/FilePath.h"

namespace tornell {

enum FileStatus {
  kFileOk = 0,
  kFileOpenReadFailed = 3,
  kFileOpenWriteFailed = 4,
  kFileNotOpen = 5,
  kFileReadError = 6,
  kFileWriteError = 7,
  kFileSeekError = 8,
  kFileShortRead = 10,
};

class FileStream {
 public:
  FileStream() = default;
  virtual ~FileStream();
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  bool IsOpen() const { return fd_ != -1; }

  [[nodiscard]] int OpenRead(const char* path);
  [[nodiscard]] int OpenWrite(const char* path);  // creates, or truncates an existing file
  [[nodiscard]] int Create(const char* path, int unused);
  [[nodiscard]] int CreateNew(const char* path);   // fails when the file exists
  [[nodiscard]] int OpenAppend(const char* path);  // positioned at the end
  [[nodiscard]] int OpenRead(const FilePath& path) { return OpenRead(path.Name()); }
  [[nodiscard]] int OpenWrite(const FilePath& path) { return OpenWrite(path.Name()); }
  [[nodiscard]] int Create(const FilePath& path, int unused) { return Create(path.Name(), unused); }
  [[nodiscard]] int OpenAppend(const FilePath& path) { return OpenAppend(path.Name()); }

  // Every byte is written (or 7); every failure closes the stream.
  [[nodiscard]] int Write(const void* bytes, unsigned length);
  // Exactly length bytes are read, else 6 or 10; every failure closes the stream.
  [[nodiscard]] int Read(void* buffer, unsigned length);
  int Close();
  // Bytes in the file; -1 when unknown (no file, or not a regular file).
  long Size() const;
  long Seek(long offset, int whence);
  long Seek(long offset);

  [[nodiscard]] static int ReadAll(const char* path, ByteString& out);
  [[nodiscard]] static int WriteAll(const char* path, const void* bytes, unsigned length);

 private:
  int fd_ = -1;
};

}  // namespace tornell
