#include "http/protocol/KdcUdpClient.h"

#include "core/base/Status.h"
#include "http/protocol/HttpProtocol.h"

namespace tornell {

namespace {

constexpr char kPrefix[] = "[Kerberos] ";
constexpr char kLogType[] = "Kerberos";
constexpr int kPacketLevel = 3;

}  // namespace

// The owner is going away with this client: nothing may reach it now.
KdcUdpClient::~KdcUdpClient() { owner_ = nullptr; }

int KdcUdpClient::Bind(HttpProtocol* owner) {
  owner_ = owner;
  return Init() != 0 ? 1 : 0;
}

int KdcUdpClient::OnLog(int level, const char* text, const char*) {
  if (owner_ == nullptr || level > owner_->GetLogLevel()) return 0;
  ByteString line;
  TORNELL_TRY(line.Set(kPrefix));
  TORNELL_TRY(line.Append(text != nullptr ? text : ""));
  return owner_->LogText(level, line.CStr(), kLogType);
}

int KdcUdpClient::OnPacketLog(int direction, const char* text) {
  if (owner_ == nullptr || kPacketLevel > owner_->GetLogLevel()) return 0;
  ByteString line;
  TORNELL_TRY(line.AppendFormat("%sDirection: %d, Description: ", kPrefix, direction));
  TORNELL_TRY(line.Append(text != nullptr ? text : ""));
  return owner_->LogText(kPacketLevel, line.CStr(), kLogType);
}

}  // namespace tornell
