#ifndef TORNELL_NET_IPPORT_IPPORTENTRY_H
#define TORNELL_NET_IPPORT_IPPORTENTRY_H
/* The IPPort component's entry points: a TCP client with line, record and
   file transfer, optionally over TLS and through a proxy. Readable by a C
   compiler. Values returned or handed to the callback belong to the
   component; the host copies what it keeps. */
#include "net/component/EntryPoints.h"

#ifdef __cplusplus
extern "C" {
#endif

void* Tornell_IPPort_Create(TornellEventCallback callback, void* context);
int Tornell_IPPort_Destroy(void* handle);
int Tornell_IPPort_CheckIndex(void* handle, int property, int index);
void* Tornell_IPPort_Get(void* handle, int property, int index, int* length);
int Tornell_IPPort_Set(void* handle, int property, int index, const void* value, int length);
char* Tornell_IPPort_GetLastError(void* handle);
int Tornell_IPPort_GetLastErrorCode(void* handle);
int Tornell_IPPort_Do(void* handle, int method, int argc, void** argv, int* lengths);
int Tornell_IPPort_StaticInit(void* ignored);
int Tornell_IPPort_StaticDestroy(void);

#ifdef __cplusplus
}
#endif

#endif
