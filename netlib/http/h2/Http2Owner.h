#pragma once
// What the HTTP/2 connection needs of the object that carries it: the
// blocking transport, one wait step, logging and the response events. The
// protocol object forwards each to its own operation; tests and the fuzz
// target supply one that works in memory.
namespace tornell {

// The kinds of DeliverEvent.
constexpr int kHttp2EventHeader = 0;      // data: a two-entry StringList (name, value)
constexpr int kHttp2EventHeadersEnd = 1;  // the header block is complete
constexpr int kHttp2EventData = 2;        // data: body bytes, length their count
constexpr int kHttp2EventStreamEnd = 3;   // END_STREAM, or the stream was reset

class Http2Owner {
 public:
  virtual ~Http2Owner() = default;

  virtual int GetLogLevel() = 0;
  virtual int Log(const char* text, const char* category) = 0;
  virtual bool IsInterruptPending() = 0;
  // One wait step of the transport; nonzero when the wait must stop
  // (interrupted, timed out, connection gone).
  virtual int DoEvents() = 0;
  [[nodiscard]] virtual int SendText(const char* text) = 0;
  [[nodiscard]] virtual int SendBytes(const char* data, int length) = 0;
  [[nodiscard]] virtual int SendInChunks(const char* data, int length, int chunk, int flag) = 0;
  virtual int DeliverEvent(int kind, const void* data, int length) = 0;
};

}  // namespace tornell
