#include "net/component/ComponentHandle.h"

#include "core/base/Status.h"
#include "core/socket/SocketCore.h"

namespace tornell {

int ComponentHandle::Raise(int id, int argc, void** argv, int* lengths) {
  if (callback_ == nullptr) return kStatusOk;
  return callback_(context_, id, argc, argv, lengths);
}

int ComponentHandle::ExternalWait(long& timeout) {
  if (callback_ == nullptr) return kStatusOk;
  void* argv[1] = {PackInt(timeout)};
  int lengths[1] = {0};
  int result = Raise(kEventExternalWait, 1, argv, lengths);
  timeout = UnpackLong(argv[0]);
  return result;
}

int ComponentHandle::ExternalRegisterSocket(long descriptor, long mask, void*& handle) {
  if (callback_ == nullptr) return kStatusOk;
  void* argv[3] = {PackInt(descriptor), PackInt(mask), handle};
  int lengths[3] = {0, 0, 0};
  int result = Raise(kEventExternalRegister, 3, argv, lengths);
  handle = argv[2];
  return result;
}

int ComponentHandle::ExternalUnregisterSocket(void* handle) {
  if (callback_ == nullptr) return kStatusOk;
  void* argv[1] = {handle};
  int lengths[1] = {0};
  return Raise(kEventExternalUnregister, 1, argv, lengths);
}

bool StripWideOffset(int& id) {
  if (id > kWideOffsetLong) {
    id -= kWideOffsetLong;
    return true;
  }
  if (id > kWideOffset) {
    id -= kWideOffset;
    return true;
  }
  return false;
}

bool StripWideMethodOffset(int& id) {
  if (id <= kWideOffset) return false;
  id -= kWideOffset;
  return true;
}

int ConvertWideArgument(bool wide, int codePage, WideString& holder, const char*& text) {
  if (!wide) return kStatusOk;
  TORNELL_TRY(holder.SetNarrow(text != nullptr ? text : "", codePage));
  text = holder.Text().CStr();
  return kStatusOk;
}

int ConvertWideBytes(bool wide, int codePage, WideString& holder, const char*& bytes, int& length) {
  if (!wide) return kStatusOk;
  TORNELL_TRY(holder.SetNarrow(bytes != nullptr ? bytes : "", bytes != nullptr && length > 0 ? length : 0, codePage));
  bytes = holder.Text().CStr();
  length = holder.Text().Length();
  return kStatusOk;
}

int FinishCall(SocketCore& core, int code) {
  if (core.IsErrorTextEmpty() != 0) core.ReportError(code);
  core.SetLastErrorCode(code);
  return code;
}

}  // namespace tornell
