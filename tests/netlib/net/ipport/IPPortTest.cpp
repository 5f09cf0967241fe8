// The IPPort component's tables and entry-point conventions, through a C host.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "IPPortHost.h"

namespace {

struct PortDeleter {
  void operator()(void* port) const { Tornell_IPPort_Destroy(port); }
};
using Port = std::unique_ptr<void, PortDeleter>;

enum Type { kInt, kText, kBytes };

struct PropertyRow {
  int id;
  Type type;
  bool readable;
  bool writable;
  const char* defaultText;  // text and bytes defaults; nullptr = not checked
  long defaultInt;          // int defaults; -999 = not checked
  const char* writeText;    // value written back (text and bytes)
  long writeInt;
  int setCode;              // what Set answers
};

// Every property: type, access, default after Create and a value written back.
const PropertyRow kProperties[] = {
    {1, kInt, true, true, nullptr, -999, nullptr, 0, 0},               // ReceiveEnabled
    {2, kInt, true, false, nullptr, 0, nullptr, 0, -1},                // BytesSent
    {3, kInt, true, true, nullptr, 0, nullptr, 0, 0},                  // Connected (0 while closed)
    {4, kBytes, false, true, nullptr, -999, "x", 0, 107},              // DataToSend: not connected
    {5, kBytes, true, true, "", -999, "\r\n", 0, 0},                   // EOL
    {6, kInt, true, true, nullptr, 0, nullptr, 1, 0},                  // FirewallAutoDetect
    {7, kInt, true, true, nullptr, 0, nullptr, 2, 0},                  // FirewallType
    {8, kText, true, true, "", -999, "127.0.0.1", 0, 0},               // FirewallHost
    {9, kText, true, true, "", -999, "secret", 0, 0},                  // FirewallPassword
    {10, kInt, true, true, nullptr, 0, nullptr, 1080, 0},              // FirewallPort
    {11, kText, true, true, "", -999, "user", 0, 0},                   // FirewallUser
    {12, kInt, true, true, nullptr, 0, nullptr, 1, 0},                 // KeepAlive
    {13, kInt, true, true, nullptr, 1, nullptr, 0, 0},                 // Linger
    {14, kText, true, true, nullptr, -999, "127.0.0.1", 0, 0},         // LocalHost
    {15, kInt, true, true, nullptr, 0, nullptr, 0, 0},                 // LocalPort
    {16, kInt, true, false, nullptr, -999, nullptr, 0, -1},            // ReadyToSend
    {17, kInt, true, true, nullptr, 0, nullptr, 10, 0},                // RecordLength
    {18, kText, true, true, "", -999, "127.0.0.1", 0, 0},              // RemoteHost
    {19, kInt, true, true, nullptr, 0, nullptr, 7, 0},                 // RemotePort
    {20, kInt, true, true, nullptr, 0, nullptr, 1, 0},                 // SingleLineMode
    {21, kBytes, true, true, nullptr, -999, nullptr, 0, 0},            // StoredBytes
    {22, kBytes, true, true, nullptr, -999, nullptr, 0, -999},         // SSLCertEncoded
    {23, kBytes, true, true, nullptr, -999, "MY", 0, 306},             // SSLCertStore
    {24, kText, true, true, "", -999, "pw", 0, 0},                     // SSLCertStorePassword
    {25, kInt, true, true, nullptr, 0, nullptr, 2, 0},                 // SSLCertStoreType
    {26, kText, true, true, "", -999, "CN=x", 0, 306},                 // SSLCertSubject
    {27, kInt, true, true, nullptr, 0, nullptr, 1, 0},                 // TlsEnabled
    {28, kBytes, true, false, "", -999, nullptr, 0, -1},               // ClearedBytes
    {29, kInt, true, true, nullptr, 3, nullptr, 1, 0},                 // TlsStartMode
    {30, kInt, true, true, nullptr, 60, nullptr, 5, 0},                // Timeout
};

std::string BytesOf(void* port, int id, int* code = nullptr) {
  int length = 0;
  const char* data = static_cast<const char*>(Tornell_IPPort_Get(port, id, 0, &length));
  if (code != nullptr) *code = data == nullptr ? length : 0;
  return data != nullptr ? std::string(data, static_cast<size_t>(length)) : std::string();
}

}  // namespace

TEST(IPPort, EveryPropertyTypeAccessDefaultAndWriteBack) {
  Host host;
  HostInit(&host);
  Port port(Tornell_IPPort_Create(HostCallback, &host));
  ASSERT_NE(nullptr, port.get());
  for (const PropertyRow& row : kProperties) {
    SCOPED_TRACE("property " + std::to_string(row.id));
    if (!row.readable) {
      EXPECT_EQ(nullptr, Tornell_IPPort_Get(port.get(), row.id, 0, nullptr));
    } else if (row.type == kInt && row.defaultInt != -999) {
      EXPECT_EQ(row.defaultInt, HostGetInt(port.get(), row.id));
    } else if (row.type == kText && row.defaultText != nullptr) {
      EXPECT_STREQ(row.defaultText, HostGetText(port.get(), row.id));
    } else if (row.type == kBytes && row.defaultText != nullptr) {
      EXPECT_EQ(row.defaultText, BytesOf(port.get(), row.id));
    }
  }
  // Written back after every default was read: some settings move others.
  for (const PropertyRow& row : kProperties) {
    SCOPED_TRACE("property " + std::to_string(row.id));
    if (row.setCode == -999) continue;
    int code = 0;
    if (row.type == kInt) {
      code = HostSetInt(port.get(), row.id, row.writeInt);
    } else {
      const char* value = row.writeText != nullptr ? row.writeText : "";
      code = Tornell_IPPort_Set(port.get(), row.id, 0, value, static_cast<int>(std::strlen(value)));
    }
    EXPECT_EQ(row.setCode, code);
    if (code != 0 || !row.readable) continue;
    if (row.id == 6) {
      EXPECT_EQ(0, HostGetInt(port.get(), row.id));  // accepted, nothing kept on this platform
    } else if (row.type == kInt) {
      EXPECT_EQ(row.writeInt, HostGetInt(port.get(), row.id));
    } else if (row.type == kText) {
      EXPECT_STREQ(row.writeText, HostGetText(port.get(), row.id));
    } else if (row.writeText != nullptr) {
      EXPECT_EQ(row.writeText, BytesOf(port.get(), row.id));
    }
  }
  // TlsEnabled and TlsStartMode are one setting seen two ways.
  EXPECT_EQ(0, HostSetInt(port.get(), 29, 3));
  EXPECT_EQ(0, HostGetInt(port.get(), 27));
  EXPECT_EQ(0, HostSetInt(port.get(), 27, 1));
  EXPECT_EQ(0, HostGetInt(port.get(), 29));
}

TEST(IPPort, OutsideTheTablesAndWideOffsets) {
  Host host;
  HostInit(&host);
  Port port(Tornell_IPPort_Create(HostCallback, &host));
  void* p = port.get();
  EXPECT_STREQ("TORNELL_VERSION_16_0_6879", static_cast<const char*>(Tornell_IPPort_Get(p, 0, 0, nullptr)));
  const char* answer = nullptr;
  ASSERT_EQ(0, HostConfig(p, "CodePage=65001", &answer));
  EXPECT_EQ(65001, HostGetInt(p, 2010));
  ASSERT_EQ(0, HostConfig(p, "CodePage", &answer));
  EXPECT_STREQ("65001", answer);

  EXPECT_EQ(0, Tornell_IPPort_CheckIndex(p, 18, 5));
  EXPECT_EQ(nullptr, Tornell_IPPort_Get(p, 31, 0, nullptr));

  ASSERT_EQ(0, HostSetText(p, 18, "127.0.0.1"));
  EXPECT_STREQ("127.0.0.1", static_cast<const char*>(Tornell_IPPort_Get(p, 10018, 0, nullptr)));
  EXPECT_STREQ("127.0.0.1", static_cast<const char*>(Tornell_IPPort_Get(p, 20018, 0, nullptr)));

  // A failing method leaves a code; Set of a read-only, unknown or wide id
  // answers -1 and leaves it alone.
  EXPECT_EQ(3, HostSendFile(p, ""));
  EXPECT_EQ(3, Tornell_IPPort_GetLastErrorCode(p));
  EXPECT_STREQ("You must provide the name of a file to send.", Tornell_IPPort_GetLastError(p));
  for (int id : {2, 16, 28, 31, 0, 10019}) {
    EXPECT_EQ(-1, HostSetInt(p, id, 1)) << id;
    EXPECT_EQ(3, Tornell_IPPort_GetLastErrorCode(p)) << id;
  }
  // Ids 12, 13 and unknown methods do nothing, answer 0 and clear the code.
  for (int id : {13, 12, 99}) {
    EXPECT_EQ(3, HostSendFile(p, nullptr));
    EXPECT_EQ(0, HostDo(p, id)) << id;
    EXPECT_EQ(0, Tornell_IPPort_GetLastErrorCode(p)) << id;
  }
  // A Get of a table id clears the code too.
  EXPECT_EQ(3, HostSendFile(p, nullptr));
  EXPECT_EQ(60, HostGetInt(p, 30));
  EXPECT_EQ(0, Tornell_IPPort_GetLastErrorCode(p));
}

TEST(IPPort, NullHandles) {
  void* argv[1] = {nullptr};
  int lengths[1] = {0};
  EXPECT_EQ(0, Tornell_IPPort_Destroy(nullptr));
  EXPECT_EQ(200, Tornell_IPPort_CheckIndex(nullptr, 1, 0));
  EXPECT_EQ(nullptr, Tornell_IPPort_Get(nullptr, 0, 0, nullptr));
  EXPECT_EQ(200, Tornell_IPPort_Set(nullptr, 1, 0, nullptr, 0));
  EXPECT_EQ(nullptr, Tornell_IPPort_GetLastError(nullptr));
  EXPECT_EQ(200, Tornell_IPPort_GetLastErrorCode(nullptr));
  EXPECT_EQ(200, Tornell_IPPort_Do(nullptr, 4, 1, argv, lengths));
  EXPECT_EQ(0, Tornell_IPPort_StaticInit(nullptr));
  EXPECT_EQ(0, Tornell_IPPort_StaticDestroy());
}

TEST(IPPort, MethodsThatFailBeforeTheNetwork) {
  Host host;
  HostInit(&host);
  Port port(Tornell_IPPort_Create(HostCallback, &host));
  void* p = port.get();
  const char* line = nullptr;
  // Timeout 0 is non-blocking: neither GetLine nor SendFile can run.
  ASSERT_EQ(0, HostSetInt(p, 30, 0));
  EXPECT_EQ(301, HostGetLine(p, &line));
  EXPECT_STREQ("GetLine requires a positive Timeout value.", Tornell_IPPort_GetLastError(p));
  EXPECT_EQ(702, HostSendFile(p, "/nonexistent/file"));
  EXPECT_STREQ("This operation cannot be performed in a non-blocking manner.", Tornell_IPPort_GetLastError(p));
  ASSERT_EQ(0, HostSetInt(p, 30, 60));
  EXPECT_EQ(3, HostSendFile(p, "/nonexistent/file"));
  EXPECT_STREQ("Cannot open file for reading.", Tornell_IPPort_GetLastError(p));
  EXPECT_EQ(301, HostGetLine(p, &line));
  EXPECT_STREQ("Disconnected.", Tornell_IPPort_GetLastError(p));
  // GetLine turns SingleLineMode on and leaves it on.
  EXPECT_EQ(1, HostGetInt(p, 20));
  // Reset brings back what Init sets.
  EXPECT_EQ(0, HostDo(p, 8));
  EXPECT_EQ(0, HostGetInt(p, 20));
  // Without a callback the component still works.
  Port quiet(Tornell_IPPort_Create(nullptr, nullptr));
  EXPECT_EQ(3, HostSendFile(quiet.get(), ""));
}
