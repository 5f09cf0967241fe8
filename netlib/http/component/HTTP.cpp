#include "http/HTTP.h"

#include "http/component/HttpComponent.h"

namespace tornell {

namespace {

int IntArg(void** argv, int i) { return UnpackInt(argv[i]); }
const char* TextArg(void** argv, int i) { return static_cast<const char*>(argv[i]); }

}  // namespace

HTTP::HTTP() : handle_(Tornell_HTTP_Create(HTTPEventSink, this)) {}

HTTP::~HTTP() { Tornell_HTTP_Destroy(handle_); }

char* HTTP::GetLastError() { return Tornell_HTTP_GetLastError(handle_); }

int HTTP::SetFollowRedirects(int value) { return Tornell_HTTP_Set(handle_, 21, 0, PackInt(value), 0); }

int HTTP::GetTransferredData(char*& data, int& length) {
  data = static_cast<char*>(Tornell_HTTP_Get(handle_, 54, 0, &length));
  return data != nullptr ? 0 : length;
}

char* HTTP::Config(const char* text) {
  void* argv[2] = {const_cast<char*>(text), nullptr};
  int lengths[2] = {0, 0};
  static_cast<void>(Tornell_HTTP_Do(handle_, 3, 1, argv, lengths));
  return static_cast<char*>(argv[1]);
}

int HTTP::Get(const char* url) {
  void* argv[1] = {const_cast<char*>(url)};
  int lengths[1] = {0};
  return Tornell_HTTP_Do(handle_, 6, 1, argv, lengths);
}

int HTTP::HTTPEventSink(void* context, int id, int argc, void** argv, int* lengths) {
  auto* self = static_cast<HTTP*>(context);
  if (self == nullptr) return 0;
  if (id > kWideOffset) return self->HTTPEventSinkW(id - kWideOffset, argc, argv, lengths);
  if (id < kHttpConnected || id > kHttpTransfer || argv == nullptr) return 0;
  return self->Dispatch(id, argv, lengths);
}

int HTTP::Dispatch(int id, void** argv, int* lengths) {
  switch (id) {
    case kHttpConnected: {
      HTTPConnectedEventParams e{IntArg(argv, 0), TextArg(argv, 1), 0};
      return FireConnected(&e);
    }
    case kHttpConnectionStatus: {
      HTTPConnectionStatusEventParams e{TextArg(argv, 0), IntArg(argv, 1), TextArg(argv, 2), 0};
      return FireConnectionStatus(&e);
    }
    case kHttpDisconnected: {
      HTTPDisconnectedEventParams e{IntArg(argv, 0), TextArg(argv, 1), 0};
      return FireDisconnected(&e);
    }
    case kHttpEndTransfer: {
      HTTPEndTransferEventParams e{IntArg(argv, 0), 0};
      return FireEndTransfer(&e);
    }
    case kHttpError: {
      HTTPErrorEventParams e{IntArg(argv, 0), TextArg(argv, 1), 0};
      return FireError(&e);
    }
    case kHttpHeader: {
      HTTPHeaderEventParams e{TextArg(argv, 0), TextArg(argv, 1), 0};
      return FireHeader(&e);
    }
    case kHttpLog: {
      HTTPLogEventParams e{IntArg(argv, 0), TextArg(argv, 1), TextArg(argv, 2), 0};
      return FireLog(&e);
    }
    case kHttpRedirect: {
      HTTPRedirectEventParams e{TextArg(argv, 0), IntArg(argv, 1), 0};
      const int result = FireRedirect(&e);
      argv[1] = PackInt(e.Accept);
      return result;
    }
    case kHttpSetCookie: {
      HTTPSetCookieEventParams e{TextArg(argv, 0), TextArg(argv, 1), TextArg(argv, 2), TextArg(argv, 3),
                                 TextArg(argv, 4), IntArg(argv, 5), 0};
      return FireSetCookie(&e);
    }
    case kHttpSSLServerAuthentication: {
      HTTPSSLServerAuthenticationEventParams e{TextArg(argv, 0), TextArg(argv, 1), TextArg(argv, 2),
                                               TextArg(argv, 3), IntArg(argv, 4),
                                               lengths != nullptr ? lengths[0] : 0, 0};
      const int result = FireSSLServerAuthentication(&e);
      argv[4] = PackInt(e.Accept);
      return result;
    }
    case kHttpSSLStatus: {
      HTTPSSLStatusEventParams e{TextArg(argv, 0), 0};
      return FireSSLStatus(&e);
    }
    case kHttpStartTransfer: {
      HTTPStartTransferEventParams e{IntArg(argv, 0), 0};
      return FireStartTransfer(&e);
    }
    case kHttpStatus: {
      HTTPStatusEventParams e{TextArg(argv, 0), IntArg(argv, 1), TextArg(argv, 2), 0};
      return FireStatus(&e);
    }
    case kHttpTransfer: {
      const auto* bytes = static_cast<const int64_t*>(argv[1]);
      HTTPTransferEventParams e{IntArg(argv, 0), bytes != nullptr ? *bytes : 0, IntArg(argv, 2), TextArg(argv, 3),
                                lengths != nullptr ? lengths[3] : 0, 0};
      return FireTransfer(&e);
    }
    default: return 0;
  }
}

}  // namespace tornell
