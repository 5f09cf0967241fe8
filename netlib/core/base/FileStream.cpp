#include "core/base/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace tornell {

FileStream::~FileStream() { Close(); }

int FileStream::OpenRead(const char* path) {
  Close();
  fd_ = open(path, O_RDONLY);
  return fd_ == -1 ? kFileOpenReadFailed : kFileOk;
}

int FileStream::OpenWrite(const char* path) {
  Close();
  fd_ = creat(path, 0666);
  return fd_ == -1 ? kFileOpenWriteFailed : kFileOk;
}

int FileStream::Create(const char* path, int) { return OpenWrite(path); }

int FileStream::CreateNew(const char* path) {
  Close();
  fd_ = open(path, O_RDWR | O_CREAT | O_EXCL, 0666);
  return fd_ == -1 ? kFileOpenWriteFailed : kFileOk;
}

int FileStream::OpenAppend(const char* path) {
  if (CreateNew(path) != kFileOk) {
    fd_ = open(path, O_RDWR | O_CREAT, 0666);
    if (fd_ == -1) return kFileOpenWriteFailed;
  }
  return lseek(fd_, 0, SEEK_END) == -1 ? kFileSeekError : kFileOk;
}

// A write may take fewer bytes than offered (a full disk, a file-size limit,
// a pipe, a signal); only all of them is success.
int FileStream::Write(const void* bytes, unsigned length) {
  if (!IsOpen()) return kFileNotOpen;
  const char* p = static_cast<const char*>(bytes);
  size_t left = length;
  while (left > 0) {
    ssize_t n = write(fd_, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Close();
      return kFileWriteError;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return kFileOk;
}

int FileStream::Read(void* buffer, unsigned length) {
  if (!IsOpen()) return kFileNotOpen;
  char* p = static_cast<char*>(buffer);
  size_t left = length;
  while (left > 0) {
    ssize_t n = read(fd_, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      Close();
      return kFileReadError;
    }
    if (n == 0) {
      Close();
      return kFileShortRead;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return kFileOk;
}

int FileStream::Close() {
  if (fd_ != -1) close(fd_);
  fd_ = -1;
  return kFileOk;
}

long FileStream::Size() const {
  struct stat st;
  if (fd_ == -1 || fstat(fd_, &st) != 0) return -1;
  // A pipe's or a socket's size is not what it will yield: unknown.
  if (!S_ISREG(st.st_mode)) return -1;
  return static_cast<long>(st.st_size);
}

long FileStream::Seek(long offset, int whence) { return lseek(fd_, offset, whence); }

long FileStream::Seek(long offset) { return Seek(offset, SEEK_CUR); }

int FileStream::ReadAll(const char* path, ByteString& out) {
  FileStream file;
  int status = file.OpenRead(path);
  if (status != kFileOk) return status;
  // The string counts its length in an int; a size it cannot hold, or none at
  // all, is a read error rather than a truncated result.
  long size = file.Size();
  if (size < 0 || size >= INT_MAX) return kFileReadError;
  status = out.Resize(static_cast<int>(size), nullptr);
  if (status != 0) return status;
  status = file.Read(out.Data(), static_cast<unsigned>(size));
  if (status != kFileOk) {
    out.Clear();
    return status;
  }
  return file.Close();
}

int FileStream::WriteAll(const char* path, const void* bytes, unsigned length) {
  FileStream file;
  int status = file.OpenWrite(path);
  if (status == kFileOk) status = file.Write(bytes, length);
  file.Close();
  return status;
}

}  // namespace tornell
