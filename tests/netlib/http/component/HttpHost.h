#ifndef TORNELL_TESTS_HTTP_HOST_H
#define TORNELL_TESTS_HTTP_HOST_H
/* A host of the HTTP component written in C: it reaches the component only
   through the public entry points and records what its callback receives. */
#include "http/HttpEntry.h"

#ifdef __cplusplus
extern "C" {
#endif

#define HTTP_HOST_MAX_EVENTS 256
#define HTTP_HOST_TEXT 96
#define HTTP_HOST_BODY (1 << 20)

typedef struct HttpHostEvent {
  int id;
  int argc;
  long ints[6];                /* the int arguments, by position */
  char text[HTTP_HOST_TEXT];   /* the first text argument, cut short */
} HttpHostEvent;

typedef struct HttpHost {
  void* handle;
  int count;
  HttpHostEvent events[HTTP_HOST_MAX_EVENTS];
  char body[HTTP_HOST_BODY];   /* the response bytes of every Transfer event */
  long bodyLength;
  long long lastBytesTransferred;
  int redirectAccept;          /* written into argv[1] of Redirect when >= 0 */
  int serverAccept;            /* written into argv[4] of SSLServerAuthentication when >= 0 */
  int certificateLength;       /* lengths[0] of the last SSLServerAuthentication */
  int interruptOnTransfer;     /* Do(Interrupt) from the first response Transfer */
} HttpHost;

void HttpHostInit(HttpHost* host);
int HttpHostCallback(void* context, int id, int argc, void** argv, int* lengths);
/* The number of events with this id. */
int HttpHostCount(const HttpHost* host, int id);

/* What a C host writes around the entry points. */
int HttpHostSetInt(void* http, int property, long value);
long HttpHostGetInt(void* http, int property);
int HttpHostSetText(void* http, int property, const char* text);
const char* HttpHostGetText(void* http, int property, int index);
int HttpHostSetBytes(void* http, int property, const char* bytes, int length);
const char* HttpHostGetBytes(void* http, int property, int* length);
int HttpHostConfig(void* http, const char* text, const char** answer);
int HttpHostUrlMethod(void* http, int method, const char* url);
int HttpHostDo(void* http, int method);

#ifdef __cplusplus
}
#endif

#endif
