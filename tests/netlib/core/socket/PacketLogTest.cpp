#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "SocketTestSupport.h"
#include "TestSupport.h"
#include "TestText.h"
#include "core/socket/PacketLog.h"

using sockettest::TestSocket;
namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) { return testsupport::ReadFileText(path); }

fs::path TempPath(const char* name) {
  return fs::temp_directory_path() /
         (std::string("socket_") + std::to_string(getpid()) + "_" + name);
}

int Set(TestSocket& s, const std::string& request) {
  const char* answer = nullptr;
  return s.ConfigText(request.c_str(), answer);
}

std::string Prefix(const TestSocket& s) {
  return "[" + std::to_string(static_cast<long long>(reinterpret_cast<intptr_t>(&s))) + "]";
}

TEST(PacketLog, TextRecordHasObjectAndLocalTime) {
  const fs::path log = TempPath("text.log");
  fs::remove(log);
  TestSocket s;
  EXPECT_EQ(s.LogText("not logged"), 0);  // logging off: no file
  EXPECT_FALSE(fs::exists(log));
  Set(s, "LogDebugFile=" + log.string());
  const time_t before = time(nullptr);
  ASSERT_EQ(s.LogText("hello"), 0);
  ASSERT_EQ(s.LogText("again"), 0);
  const time_t after = time(nullptr);

  const std::string text = ReadFile(log);
  std::smatch m;
  const std::regex line(R"(^\[(-?\d+)\]\[(\d{4})/(\d\d)/(\d\d) (\d\d):(\d\d):(\d\d)\] hello\r\n)");
  ASSERT_TRUE(std::regex_search(text, m, line)) << text;
  EXPECT_EQ(text.rfind(Prefix(s), 0), 0u);
  struct tm parts {};
  parts.tm_year = std::stoi(m[2]) - 1900;
  parts.tm_mon = std::stoi(m[3]) - 1;
  parts.tm_mday = std::stoi(m[4]);
  parts.tm_hour = std::stoi(m[5]);
  parts.tm_min = std::stoi(m[6]);
  parts.tm_sec = std::stoi(m[7]);
  parts.tm_isdst = -1;
  const time_t stamp = mktime(&parts);  // read back as local time
  EXPECT_GE(stamp, before);
  EXPECT_LE(stamp, after);
  EXPECT_NE(text.find("] again\r\n"), std::string::npos);
  fs::remove(log);
}

TEST(PacketLog, DataRecordsRawDumpedOrNone) {
  const fs::path log = TempPath("data.log");
  struct Case {
    unsigned option;
    int direction;
    std::string body;  // after the prefix
  };
  const Case cases[] = {
      {0, 0, "------SEND------(5 bytes)\r\nhello\r\n"},
      {1, 1, "------RECEIVE------(5 bytes)\r\n68 65 6C 6C 6F \r\n"},
      {2, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.option);
    fs::remove(log);
    TestSocket s;
    Set(s, "LogDebugFile=" + log.string());
    Set(s, "LogDebugOption=" + std::to_string(c.option));
    Set(s, "RecordToString=on");
    ASSERT_EQ(s.LogData(c.direction, "hello", 5), 0);
    const std::string text = fs::exists(log) ? ReadFile(log) : "";
    if (c.body.empty()) {
      EXPECT_EQ(text, "");
    } else {
      const size_t end = text.find("] ", Prefix(s).size());
      ASSERT_NE(end, std::string::npos);
      EXPECT_EQ(text.substr(end + 2), c.body);
    }
    // The transcript is written whatever the option.
    EXPECT_NE(std::string(s.GetTranscriptText()).find("hello"), std::string::npos);
  }
  fs::remove(log);
}

TEST(PacketLog, HexDumpLines) {
  unsigned char bytes[33];
  for (int i = 0; i < 33; ++i) bytes[i] = static_cast<unsigned char>(i * 8);
  tornell::ByteString out;
  ASSERT_EQ(tornell::HexDump(bytes, 33, out), 0);
  std::string expected;
  char digits[4];
  for (int i = 0; i < 33; ++i) {
    std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
    expected += digits;
    expected += i == 31 ? "\r\n" : " ";
  }
  EXPECT_EQ(std::string(out.CStr(), out.Length()), expected);
}

TEST(PacketLog, TranscriptLinesAndEscapes) {
  TestSocket s;
  Set(s, "RecordToString=on");
  EXPECT_EQ(0, s.LogData(0, "a$b", 3));
  EXPECT_EQ(0, s.LogData(1, "ok\r\n", 4));
  const char odd[] = {'\x01', '\xFF', '\0', '"', '[', '}'};
  EXPECT_EQ(0, s.LogData(1, odd, sizeof odd));
  EXPECT_EQ(0, s.LogData(7, "ignored", 7));
  EXPECT_EQ(std::string(s.GetTranscriptText()),
            "\r\nexpect -exact \"a\\$b\"\r\n"
            "\r\nsend -nonewline \"ok\\015\n\"\r\n"
            "\r\nsend -nonewline \"\\001\\377\\000\\\"\\[\\}\"\r\n");
}

TEST(PacketLog, TranscriptFileIsCreatedAfresh) {
  const fs::path file = TempPath("t.exp");
  {
    std::ofstream old(file);
    old << "old content";
  }
  TestSocket s;
  EXPECT_EQ(s.OpenTranscript(), -1);  // no file name
  Set(s, "RecordToFile=" + file.string());
  ASSERT_EQ(s.OpenTranscript(), 0);
  EXPECT_EQ(0, s.LogData(0, "x", 1));
  s.CloseTranscript();
  EXPECT_EQ(ReadFile(file), "\r\nexpect -exact \"x\"\r\n");
  fs::remove(file);
}

// The transcript is a Tcl script: run by tclsh with expect and send standing
// in as procedures, it must give back every byte value as it was recorded.
TEST(PacketLog, TclshReplaysAll256ByteValues) {
  REQUIRE_OR_SKIP(access("/usr/bin/tclsh", X_OK) == 0, "tclsh is not installed (Debian tcl)");
  const fs::path transcript = TempPath("all.exp");
  const fs::path driver = TempPath("replay.tcl");
  const fs::path sent = TempPath("sent.bin");
  const fs::path received = TempPath("received.bin");
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  std::string reversed(bytes.rbegin(), bytes.rend());
  {
    TestSocket s;
    Set(s, "RecordToFile=" + transcript.string());
    ASSERT_EQ(s.OpenTranscript(), 0);
    ASSERT_EQ(s.LogData(0, bytes.data(), 256), 0);
    ASSERT_EQ(s.LogData(1, reversed.data(), 256), 0);
    ASSERT_EQ(s.LogData(1, "\r\n\r", 3), 0);
    s.CloseTranscript();
  }
  {
    std::ofstream tcl(driver);
    tcl << "set sent [open {" << sent.string() << "} wb]\n"
        << "set received [open {" << received.string() << "} wb]\n"
        << "proc expect {flag text} { puts -nonewline $::sent $text }\n"
        << "proc send {flag text} { puts -nonewline $::received $text }\n"
        << "source {" << transcript.string() << "}\n"
        << "close $sent\nclose $received\n";
  }
  const std::string command = "tclsh '" + driver.string() + "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(ReadFile(sent), bytes);
  EXPECT_EQ(ReadFile(received), reversed + "\r\n\r");
  for (const fs::path& p : {transcript, driver, sent, received}) fs::remove(p);
}

}  // namespace
