#include <new>

#include "core/socket/SocketCore.h"
#include "http/HttpEntry.h"
#include "http/component/HttpComponent.h"

using tornell::HttpComponent;

namespace {
HttpComponent* AsHttp(void* handle) {
  return static_cast<HttpComponent*>(static_cast<tornell::ComponentHandle*>(handle));
}
}  // namespace

extern "C" {

// Null when memory for the component cannot be had.
void* Tornell_HTTP_Create(TornellEventCallback callback, void* context) {
  auto* component = new (std::nothrow) HttpComponent(callback, context);
  return static_cast<tornell::ComponentHandle*>(component);
}

int Tornell_HTTP_Destroy(void* handle) {
  if (handle != nullptr) delete static_cast<tornell::ComponentHandle*>(handle);
  return 0;
}

int Tornell_HTTP_CheckIndex(void* handle, int property, int index) {
  return handle != nullptr ? AsHttp(handle)->CheckIndex(property, index) : tornell::kStatusNoMemory;
}

void* Tornell_HTTP_Get(void* handle, int property, int index, int* length) {
  return handle != nullptr ? AsHttp(handle)->Get(property, index, length) : nullptr;
}

int Tornell_HTTP_Set(void* handle, int property, int index, const void* value, int length) {
  return handle != nullptr ? AsHttp(handle)->Set(property, index, value, length) : tornell::kStatusNoMemory;
}

char* Tornell_HTTP_GetLastError(void* handle) {
  return handle != nullptr ? const_cast<char*>(AsHttp(handle)->Protocol().GetLastErrorText()) : nullptr;
}

int Tornell_HTTP_GetLastErrorCode(void* handle) {
  return handle != nullptr ? AsHttp(handle)->Protocol().GetLastErrorCode() : tornell::kStatusNoMemory;
}

int Tornell_HTTP_Do(void* handle, int method, int argc, void** argv, int* lengths) {
  return handle != nullptr ? AsHttp(handle)->Do(method, argc, argv, lengths) : tornell::kStatusNoMemory;
}

int Tornell_HTTP_StaticInit(void*) {
  static_cast<void>(tornell::LibraryStaticInit());
  return 0;
}

int Tornell_HTTP_StaticDestroy(void) {
  static_cast<void>(tornell::LibraryStaticDestroy());
  return 0;
}

}  // extern "C"
