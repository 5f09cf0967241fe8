#ifndef TORNELL_HTTP_HTTPENTRY_H
#define TORNELL_HTTP_HTTPENTRY_H
/* The HTTP component's entry points: an HTTP/1.0, 1.1 and 2 client with
   redirects, cookies, proxies, authentication and TLS. Readable by a C
   compiler.

   Properties and methods are reached by number. Values travel in
   pointer-sized slots: an int as its value, a text as a pointer to
   NUL-terminated bytes (null counts as empty), bytes as a pointer with a
   length, a 64-bit integer as a pointer to it. Texts and bytes returned by
   Get or handed to the callback belong to the component and stay valid
   until the value changes or the component is destroyed; the host copies
   what it keeps. Set and Do copy what they are given.

   Get, Set and Do store their result as the last error code; a null handle
   gives 200 (null from Get and GetLastError, 0 from Destroy).

   Do with method 3 (Config) writes the answer text into argv[1] even when
   argc is 1, so argv must have room for two slots. Other methods read no
   argument beyond argc: a missing text counts as empty. */
#include "net/component/EntryPoints.h"

#ifdef __cplusplus
extern "C" {
#endif

void* Tornell_HTTP_Create(TornellEventCallback callback, void* context);
int Tornell_HTTP_Destroy(void* handle);
int Tornell_HTTP_CheckIndex(void* handle, int property, int index);
void* Tornell_HTTP_Get(void* handle, int property, int index, int* length);
int Tornell_HTTP_Set(void* handle, int property, int index, const void* value, int length);
char* Tornell_HTTP_GetLastError(void* handle);
int Tornell_HTTP_GetLastErrorCode(void* handle);
int Tornell_HTTP_Do(void* handle, int method, int argc, void** argv, int* lengths);
int Tornell_HTTP_StaticInit(void* ignored);
int Tornell_HTTP_StaticDestroy(void);

#ifdef __cplusplus
}
#endif

#endif
