#include "HttpHost.h"

#include <stdint.h>
#include <string.h>

void HttpHostInit(HttpHost* host) {
  memset(host, 0, sizeof *host);
  host->redirectAccept = -1;
  host->serverAccept = -1;
}

static long IntAt(void** argv, int i) { return (long)(intptr_t)argv[i]; }

static void CopyText(HttpHostEvent* event, const char* text) {
  if (text == NULL) return;
  strncpy(event->text, text, HTTP_HOST_TEXT - 1);
  event->text[HTTP_HOST_TEXT - 1] = '\0';
}

int HttpHostCallback(void* context, int id, int argc, void** argv, int* lengths) {
  HttpHost* host = (HttpHost*)context;
  HttpHostEvent* event = host->count < HTTP_HOST_MAX_EVENTS ? &host->events[host->count++] : NULL;
  int i;
  if (event == NULL) return 0;
  memset(event, 0, sizeof *event);
  event->id = id;
  event->argc = argc;
  switch (id) {
    case 1: case 3: case 5:  /* Connected, Disconnected, Error: code, text */
      event->ints[0] = IntAt(argv, 0);
      CopyText(event, (const char*)argv[1]);
      break;
    case 2: case 13:  /* ConnectionStatus, Status: text, code, text */
      event->ints[1] = IntAt(argv, 1);
      CopyText(event, (const char*)argv[0]);
      break;
    case 4: case 12:  /* EndTransfer, StartTransfer: direction */
      event->ints[0] = IntAt(argv, 0);
      break;
    case 6: case 11:  /* Header, SSLStatus */
      CopyText(event, (const char*)argv[0]);
      break;
    case 7:  /* Log */
      event->ints[0] = IntAt(argv, 0);
      CopyText(event, (const char*)argv[1]);
      break;
    case 8:  /* Redirect: location, accept */
      event->ints[1] = IntAt(argv, 1);
      CopyText(event, (const char*)argv[0]);
      if (host->redirectAccept >= 0) argv[1] = (void*)(intptr_t)host->redirectAccept;
      break;
    case 10:  /* SSLServerAuthentication: certificate, subject, issuer, status, accept */
      host->certificateLength = lengths[0];
      event->ints[4] = IntAt(argv, 4);
      CopyText(event, (const char*)argv[3]);
      if (host->serverAccept >= 0) argv[4] = (void*)(intptr_t)host->serverAccept;
      break;
    case 9:  /* SetCookie */
      for (i = 0; i < 5; i++) event->ints[i] = 0;
      event->ints[5] = IntAt(argv, 5);
      CopyText(event, (const char*)argv[0]);
      break;
    case 14: {  /* Transfer: direction, &bytes, percent, text */
      const char* text = (const char*)argv[3];
      const int n = lengths[3];
      event->ints[0] = IntAt(argv, 0);
      event->ints[2] = IntAt(argv, 2);
      event->ints[3] = n;
      host->lastBytesTransferred = *(const long long*)argv[1];
      if (event->ints[0] == 1 && n > 0 && host->bodyLength + n <= HTTP_HOST_BODY) {
        memcpy(host->body + host->bodyLength, text, (size_t)n);
        host->bodyLength += n;
      }
      if (event->ints[0] == 1 && host->interruptOnTransfer) {
        host->interruptOnTransfer = 0;
        HttpHostDo(host->handle, 8);
      }
      break;
    }
    default:
      break;
  }
  return 0;
}

int HttpHostCount(const HttpHost* host, int id) {
  int i, n = 0;
  for (i = 0; i < host->count; i++) n += host->events[i].id == id;
  return n;
}

int HttpHostSetInt(void* http, int property, long value) {
  return Tornell_HTTP_Set(http, property, 0, (void*)(intptr_t)value, 0);
}

long HttpHostGetInt(void* http, int property) { return (long)(intptr_t)Tornell_HTTP_Get(http, property, 0, NULL); }

int HttpHostSetText(void* http, int property, const char* text) {
  return Tornell_HTTP_Set(http, property, 0, text, 0);
}

const char* HttpHostGetText(void* http, int property, int index) {
  return (const char*)Tornell_HTTP_Get(http, property, index, NULL);
}

int HttpHostSetBytes(void* http, int property, const char* bytes, int length) {
  return Tornell_HTTP_Set(http, property, 0, bytes, length);
}

const char* HttpHostGetBytes(void* http, int property, int* length) {
  return (const char*)Tornell_HTTP_Get(http, property, 0, length);
}

int HttpHostConfig(void* http, const char* text, const char** answer) {
  void* argv[2];
  int lengths[2] = {0, 0};
  int code;
  argv[0] = (void*)text;
  argv[1] = NULL;
  code = Tornell_HTTP_Do(http, 3, 1, argv, lengths);
  *answer = (const char*)argv[1];
  return code;
}

int HttpHostUrlMethod(void* http, int method, const char* url) {
  void* argv[1];
  int lengths[1] = {0};
  argv[0] = (void*)url;
  return Tornell_HTTP_Do(http, method, 1, argv, lengths);
}

int HttpHostDo(void* http, int method) { return Tornell_HTTP_Do(http, method, 0, NULL, NULL); }
