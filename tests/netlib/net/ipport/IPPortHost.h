#ifndef TORNELL_TESTS_IPPORT_HOST_H
#define TORNELL_TESTS_IPPORT_HOST_H
/* A host of the IPPort component written in C: it reaches the component only
   through the entry points and records what its callback receives. */
#include "net/ipport/IPPortEntry.h"

#ifdef __cplusplus
extern "C" {
#endif

#define HOST_MAX_EVENTS 512
#define HOST_TEXT 128
#define HOST_RECEIVED (1 << 20)

typedef struct HostEvent {
  int id;
  int argc;
  long ints[5];           /* the int arguments, by position */
  char text[HOST_TEXT];   /* the first text argument, cut short */
  int length;             /* lengths[0] */
} HostEvent;

typedef struct Host {
  int count;
  HostEvent events[HOST_MAX_EVENTS];
  char received[HOST_RECEIVED];   /* every DataIn piece, in order */
  long receivedLength;
  int dataInNotCString;           /* DataIn pieces whose text did not end at their length */
  int accept;                     /* written into argv[4] of SSLServerAuthentication when >= 0 */
  long waitAnswer;                /* written into argv[0] of event 2000 */
  int external[3];                /* events 2000, 2001 and 2002 seen */
  int seenCertificateLength;
} Host;

void HostInit(Host* host);
int HostCallback(void* context, int id, int argc, void** argv, int* lengths);
/* The number of events with this id. */
int HostCount(const Host* host, int id);
/* The index of the first event with this id, -1 when none. */
int HostFind(const Host* host, int id);

/* Entry-point wrappers a C host writes. */
int HostSetInt(void* port, int property, long value);
long HostGetInt(void* port, int property);
int HostSetText(void* port, int property, const char* text);
const char* HostGetText(void* port, int property);
int HostConnect(void* port, const char* host, int portNumber);
int HostSendLine(void* port, const char* text);
int HostSend(void* port, const char* bytes, int length);
int HostSendFile(void* port, const char* name);
int HostGetLine(void* port, const char** line);
int HostConfig(void* port, const char* text, const char** answer);
int HostDo(void* port, int method);

#ifdef __cplusplus
}
#endif

#endif
