#pragma once
// The object behind an entry-point handle, shared by the components: the host
// callback with its context, the external event loop (events 2000-2002), and
// the argument conventions of Get, Set, Do and the events. Each component
// adds its own event operations after the destructor.
#include <cstdint>

#include "core/text/WideString.h"
#include "net/component/EntryPoints.h"

namespace tornell {

class SocketCore;

using EventCallback = TornellEventCallback;

// Event ids of the external event loop.
constexpr int kEventExternalWait = 2000;
constexpr int kEventExternalRegister = 2001;
constexpr int kEventExternalUnregister = 2002;

// Method ids of the external event loop, common to every component.
constexpr int kMethodExternalLoopOff = 2000;
constexpr int kMethodExternalLoopOn = 2001;
constexpr int kMethodExternalPoll = 2002;

// Property ids answered by every component outside its own table.
constexpr int kPropertyVersion = 0;
constexpr int kPropertyCodePage = 2010;
inline constexpr const char kComponentVersion[] = "TORNELL_VERSION_16_0_6879";

// Ids above these carry the wide flag.
constexpr int kWideOffset = 10000;
constexpr int kWideOffsetLong = 20000;

class ComponentHandle {
 public:
  ComponentHandle(EventCallback callback, void* context) : callback_(callback), context_(context) {}
  ComponentHandle(const ComponentHandle&) = delete;
  ComponentHandle& operator=(const ComponentHandle&) = delete;

  // ---- virtual operations, in slot order ----
  // Handed the code page before every event; nothing to do on this platform.
  virtual void OnCodePage(int) {}
  virtual int ExternalWait(long& timeout);
  virtual int ExternalRegisterSocket(long descriptor, long mask, void*& handle);
  virtual int ExternalUnregisterSocket(void* handle);
  virtual ~ComponentHandle() = default;

  EventCallback Callback() const { return callback_; }
  void* Context() const { return context_; }

 protected:
  // Calls the host with the stored context; 0 at once without a callback.
  int Raise(int id, int argc, void** argv, int* lengths);

 private:
  EventCallback callback_;
  void* context_;
};

// ---- value conventions ----
// An int travels as its value in the pointer-sized slot, sign-extended.
inline void* PackInt(long value) { return reinterpret_cast<void*>(static_cast<intptr_t>(value)); }
inline int UnpackInt(const void* slot) { return static_cast<int>(reinterpret_cast<intptr_t>(slot)); }
inline long UnpackLong(const void* slot) { return static_cast<long>(reinterpret_cast<intptr_t>(slot)); }
// Texts travel as pointers to NUL-terminated bytes; a null text counts as empty.
inline void* PackText(const char* text) { return const_cast<char*>(text != nullptr ? text : ""); }
inline const char* UnpackText(const void* slot) { return slot != nullptr ? static_cast<const char*>(slot) : ""; }

// Argument i of a Do call; null beyond argc, so a host's short array is never
// read past its end.
inline void* ArgAt(int argc, void** argv, int i) { return argv != nullptr && i < argc ? argv[i] : nullptr; }
// The length of bytes a host hands over: 0 for null bytes or a negative length.
inline int BytesLength(const void* bytes, int length) { return bytes != nullptr && length > 0 ? length : 0; }

// A bytes property read out through `read(char** data, int* count)`: the
// data, with the count in *length; or null, with the read's error code there.
template <typename Read>
void* ReadBytes(Read read, int* length) {
  char* data = nullptr;
  int count = 0;
  const int code = read(&data, &count);
  if (code != 0) {
    if (length != nullptr) *length = code;
    return nullptr;
  }
  if (length != nullptr) *length = count;
  return data;
}

// Strips the wide offset from a Get id (20000 first, then 10000); true when
// one was there.
bool StripWideOffset(int& id);
// Strips the wide offset from a Do id (10000 only).
bool StripWideMethodOffset(int& id);

// The wide-text conversion of a Do argument: with the wide flag the text is
// converted with the code page into `holder` and `text` then points at the
// converted text; without it nothing changes. Returns 0 or the conversion's
// code, which ends the call.
[[nodiscard]] int ConvertWideArgument(bool wide, int codePage, WideString& holder, const char*& text);
// The counted form, for bytes: `length` becomes the converted length.
[[nodiscard]] int ConvertWideBytes(bool wide, int codePage, WideString& holder, const char*& bytes, int& length);

// How Set and Do end: when the error text is still empty the socket layer's
// standard text for the code is filled in; the code is stored as the last
// error code and returned.
int FinishCall(SocketCore& core, int code);

}  // namespace tornell
