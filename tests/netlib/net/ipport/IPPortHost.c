#include "IPPortHost.h"

#include <stdint.h>
#include <string.h>

void HostInit(Host* host) {
  memset(host, 0, sizeof *host);
  host->accept = -1;
}

static long IntAt(void** argv, int i) { return (long)(intptr_t)argv[i]; }

static void CopyText(HostEvent* event, const char* text) {
  if (text == NULL) return;
  strncpy(event->text, text, HOST_TEXT - 1);
  event->text[HOST_TEXT - 1] = '\0';
}

int HostCallback(void* context, int id, int argc, void** argv, int* lengths) {
  Host* host = (Host*)context;
  HostEvent* event = host->count < HOST_MAX_EVENTS ? &host->events[host->count++] : NULL;
  if (event != NULL) {
    memset(event, 0, sizeof *event);
    event->id = id;
    event->argc = argc;
    event->length = argc > 0 ? lengths[0] : 0;
  }
  switch (id) {
    case 1: case 4: case 5:  /* Connected, Disconnected, Error: code, text */
      if (event != NULL) { event->ints[0] = IntAt(argv, 0); CopyText(event, (const char*)argv[1]); }
      break;
    case 2:  /* ConnectionStatus: text, code, text */
      if (event != NULL) { event->ints[1] = IntAt(argv, 1); CopyText(event, (const char*)argv[0]); }
      break;
    case 3: {  /* DataIn: bytes, EOL */
      const char* text = (const char*)argv[0];
      const int n = lengths[0];
      if (event != NULL) {
        event->ints[1] = IntAt(argv, 1);
        CopyText(event, text);
      }
      if (text[n] != '\0' || (memchr(text, 0, (size_t)n) == NULL && (int)strlen(text) != n)) {
        host->dataInNotCString++;
      }
      if (host->receivedLength + n <= HOST_RECEIVED) {
        memcpy(host->received + host->receivedLength, text, (size_t)n);
        host->receivedLength += n;
      }
      break;
    }
    case 7:  /* SSLServerAuthentication */
      host->seenCertificateLength = lengths[0];
      if (event != NULL) { event->ints[4] = IntAt(argv, 4); CopyText(event, (const char*)argv[1]); }
      if (host->accept >= 0) argv[4] = (void*)(intptr_t)host->accept;
      break;
    case 8:
      if (event != NULL) CopyText(event, (const char*)argv[0]);
      break;
    case 2000:
      host->external[0]++;
      if (event != NULL) event->ints[0] = IntAt(argv, 0);
      argv[0] = (void*)(intptr_t)host->waitAnswer;
      break;
    case 2001:
      host->external[1]++;
      if (event != NULL) { event->ints[0] = IntAt(argv, 0); event->ints[1] = IntAt(argv, 1); }
      argv[2] = host;
      break;
    case 2002:
      host->external[2]++;
      break;
    default: break;
  }
  return 0;
}

int HostCount(const Host* host, int id) {
  int n = 0;
  int i;
  for (i = 0; i < host->count; ++i) n += host->events[i].id == id;
  return n;
}

int HostFind(const Host* host, int id) {
  int i;
  for (i = 0; i < host->count; ++i) {
    if (host->events[i].id == id) return i;
  }
  return -1;
}

int HostSetInt(void* port, int property, long value) {
  return Tornell_IPPort_Set(port, property, 0, (void*)(intptr_t)value, 0);
}

long HostGetInt(void* port, int property) { return (long)(intptr_t)Tornell_IPPort_Get(port, property, 0, NULL); }

int HostSetText(void* port, int property, const char* text) {
  return Tornell_IPPort_Set(port, property, 0, text, 0);
}

const char* HostGetText(void* port, int property) {
  return (const char*)Tornell_IPPort_Get(port, property, 0, NULL);
}

int HostConnect(void* port, const char* host, int portNumber) {
  void* argv[2];
  int lengths[2] = {0, 0};
  argv[0] = (void*)host;
  argv[1] = (void*)(intptr_t)portNumber;
  return Tornell_IPPort_Do(port, 3, 2, argv, lengths);
}

int HostSendLine(void* port, const char* text) {
  void* argv[1];
  int lengths[1] = {0};
  argv[0] = (void*)text;
  return Tornell_IPPort_Do(port, 11, 1, argv, lengths);
}

int HostSend(void* port, const char* bytes, int length) {
  void* argv[1];
  int lengths[1];
  argv[0] = (void*)bytes;
  lengths[0] = length;
  return Tornell_IPPort_Do(port, 9, 1, argv, lengths);
}

int HostSendFile(void* port, const char* name) {
  void* argv[1];
  int lengths[1] = {0};
  argv[0] = (void*)name;
  return Tornell_IPPort_Do(port, 10, 1, argv, lengths);
}

int HostGetLine(void* port, const char** line) {
  void* argv[1] = {NULL};
  int lengths[1] = {0};
  const int code = Tornell_IPPort_Do(port, 6, 1, argv, lengths);
  *line = (const char*)argv[0];
  return code;
}

int HostConfig(void* port, const char* text, const char** answer) {
  void* argv[2];
  int lengths[2] = {0, 0};
  argv[0] = (void*)text;
  argv[1] = NULL;
  const int code = Tornell_IPPort_Do(port, 2, 2, argv, lengths);
  *answer = (const char*)argv[1];
  return code;
}

int HostDo(void* port, int method) { return Tornell_IPPort_Do(port, method, 0, NULL, NULL); }
