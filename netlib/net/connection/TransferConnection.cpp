#include "net/connection/TransferConnection.h"

#include "core/base/FileStream.h"
#include "core/text/InlineString.h"

namespace tornell {

int TransferConnection::OnFileProgress(long, int code) { return code; }

int TransferConnection::SendFile(FilePath& path, int bufferSize, int hooks) {
  InlineString<kDefaultChunk> buffer;
  const int status = buffer.Resize(bufferSize >= 1 ? bufferSize : kDefaultChunk);
  if (status != 0) return status;
  FileStream file;
  if (file.OpenRead(path) != kFileOk) return ReturnError(kStatusCannotOpenFile, "Can't open file for reading.");
  const long size = file.Size();
  // A size that cannot be read would make every chunk negative.
  if (size < 0) return ReturnError(kFileReadError, "Can't read the file size.");
  uploading_ = 1;
  long sent = 0;
  int result = 0;
  do {
    // Never more than the buffer holds, whatever size it was given.
    const long left = size - sent;
    const int chunk = static_cast<int>(left < buffer.Length() ? left : buffer.Length());
    result = file.Read(buffer.Data(), static_cast<unsigned>(chunk));
    if (result != kFileOk) break;
    const int sendStatus = SendData(buffer.Data(), chunk, 0, hooks);
    if (sendStatus != 0) {
      result = OnFileProgress(sent, sendStatus);
      break;
    }
    sent += chunk;
    result = OnFileProgress(sent, 0);
  } while (result == 0 && sent < size);
  file.Close();
  // An interrupted upload stays marked: the caller decides what becomes of it.
  if (result != kStatusInterrupted) uploading_ = 0;
  return result;
}

}  // namespace tornell
