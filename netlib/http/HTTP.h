#pragma once
// A class over the HTTP component for hosts written against classes: one
// component handle, one virtual method per event with a typed parameter
// record, and a few typed calls. A host derives from it and overrides the
// Fire methods it needs. The component's values handed to an event stay
// valid only for the call.
#include <cstdint>

#include "http/HttpEntry.h"

namespace tornell {

// Every record ends with one int the sink sets to 0.
struct HTTPConnectedEventParams {
  int StatusCode;
  const char* Description;
  int reserved;
};

struct HTTPConnectionStatusEventParams {
  const char* ConnectionEvent;
  int StatusCode;
  const char* Description;
  int reserved;
};

struct HTTPDisconnectedEventParams {
  int StatusCode;
  const char* Description;
  int reserved;
};

struct HTTPEndTransferEventParams {
  int Direction;
  int reserved;
};

struct HTTPErrorEventParams {
  int ErrorCode;
  const char* Description;
  int reserved;
};

struct HTTPHeaderEventParams {
  const char* Field;
  const char* Value;
  int reserved;
};

struct HTTPLogEventParams {
  int LogLevel;
  const char* Message;
  const char* LogType;
  int reserved;
};

// Accept is handed back to the component after the call.
struct HTTPRedirectEventParams {
  const char* Location;
  int Accept;
  int reserved;
};

struct HTTPSetCookieEventParams {
  const char* Name;
  const char* Value;
  const char* Expires;
  const char* Domain;
  const char* Path;
  int Secure;
  int reserved;
};

// Accept is handed back to the component after the call.
struct HTTPSSLServerAuthenticationEventParams {
  const char* CertEncoded;
  const char* CertSubject;
  const char* CertIssuer;
  const char* Status;
  int Accept;
  int lenCertEncoded;
  int reserved;
};

struct HTTPSSLStatusEventParams {
  const char* Message;
  int reserved;
};

struct HTTPStartTransferEventParams {
  int Direction;
  int reserved;
};

struct HTTPStatusEventParams {
  const char* HTTPVersion;
  int StatusCode;
  const char* Description;
  int reserved;
};

struct HTTPTransferEventParams {
  int Direction;
  int64_t BytesTransferred;
  int PercentDone;
  const char* Text;
  int lenText;
  int reserved;
};

class HTTP {
 public:
  HTTP();
  HTTP(const HTTP&) = delete;
  HTTP& operator=(const HTTP&) = delete;

  // ---- events, in slot order; the defaults do nothing and return 0 ----
  virtual int FireConnected(HTTPConnectedEventParams*) { return 0; }
  virtual int FireConnectionStatus(HTTPConnectionStatusEventParams*) { return 0; }
  virtual int FireDisconnected(HTTPDisconnectedEventParams*) { return 0; }
  virtual int FireEndTransfer(HTTPEndTransferEventParams*) { return 0; }
  virtual int FireError(HTTPErrorEventParams*) { return 0; }
  virtual int FireHeader(HTTPHeaderEventParams*) { return 0; }
  virtual int FireLog(HTTPLogEventParams*) { return 0; }
  virtual int FireRedirect(HTTPRedirectEventParams*) { return 0; }
  virtual int FireSetCookie(HTTPSetCookieEventParams*) { return 0; }
  virtual int FireSSLServerAuthentication(HTTPSSLServerAuthenticationEventParams*) { return 0; }
  virtual int FireSSLStatus(HTTPSSLStatusEventParams*) { return 0; }
  virtual int FireStartTransfer(HTTPStartTransferEventParams*) { return 0; }
  virtual int FireStatus(HTTPStatusEventParams*) { return 0; }
  virtual int FireTransfer(HTTPTransferEventParams*) { return 0; }
  // Events with the wide offset, given their id without it.
  virtual int HTTPEventSinkW(int, int, void**, int*) { return 0; }
  virtual ~HTTP();

  // ---- typed calls ----
  char* GetLastError();
  int SetFollowRedirects(int value);
  // 0 with the body, or the read's code with `data` null.
  int GetTransferredData(char*& data, int& length);
  // The answer text, owned by the component; null when the call set none.
  char* Config(const char* text);
  int Get(const char* url);

  void* Handle() const { return handle_; }

  // The callback handed to the component; its context is the HTTP object.
  static int HTTPEventSink(void* context, int id, int argc, void** argv, int* lengths);

 private:
  int Dispatch(int id, void** argv, int* lengths);

  void* handle_;
};

}  // namespace tornell
