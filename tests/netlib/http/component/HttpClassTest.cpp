// The wrapper class HTTP: typed records for the events, Accept handed back,
// and the typed calls over the entry points.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "http/HTTP.h"
#include "http/component/HttpComponent.h"

namespace {

class TransferHost : public tornell::HTTP {
 public:
  int FireTransfer(tornell::HTTPTransferEventParams* e) override {
    ++transfers;
    bytes = e->BytesTransferred;
    direction = e->Direction;
    percent = e->PercentDone;
    text.assign(e->Text, static_cast<size_t>(e->lenText));
    reserved = e->reserved;
    return 5;
  }
  int FireRedirect(tornell::HTTPRedirectEventParams* e) override {
    location = e->Location;
    seenAccept = e->Accept;
    e->Accept = acceptAnswer;
    return 6;
  }

  tornell::HttpProtocol& Protocol() {
    return static_cast<tornell::HttpComponent*>(static_cast<tornell::ComponentHandle*>(Handle()))->Protocol();
  }

  int transfers = 0;
  int64_t bytes = 0;
  int direction = -1;
  int percent = -1;
  std::string text;
  int reserved = -1;
  std::string location;
  int seenAccept = -1;
  int acceptAnswer = 0;
};

TEST(HttpClass, OverriddenEventsGetTypedRecords) {
  TransferHost host;
  ASSERT_NE(host.Handle(), nullptr);
  char body[] = "0123456789";
  host.Protocol().FireTransfer(1, 6'000'000'123LL, 12, body, 4);
  EXPECT_EQ(host.transfers, 1);
  EXPECT_EQ(host.bytes, 6'000'000'123LL);
  EXPECT_EQ(host.direction, 1);
  EXPECT_EQ(host.percent, 12);
  EXPECT_EQ(host.text, "0123");
  EXPECT_EQ(host.reserved, 0);

  int accept = 1;
  host.Protocol().FireRedirect("http://next.test/", accept);
  EXPECT_EQ(host.location, "http://next.test/");
  EXPECT_EQ(host.seenAccept, 1);
  EXPECT_EQ(accept, 0);  // the record's Accept reached the protocol object
  host.acceptAnswer = 1;
  host.Protocol().FireRedirect("http://next.test/", accept);
  EXPECT_EQ(accept, 1);
}

TEST(HttpClass, TheSinkRoutesByIdAndReturnsTheMethodsResult) {
  TransferHost host;
  int64_t bytes = 42;
  void* transfer[4] = {reinterpret_cast<void*>(intptr_t{0}), &bytes, reinterpret_cast<void*>(intptr_t{-1}),
                       const_cast<char*>("")};
  int lengths[5] = {0, 0, 0, 0, 0};
  EXPECT_EQ(tornell::HTTP::HTTPEventSink(&host, 14, 4, transfer, lengths), 5);
  EXPECT_EQ(host.bytes, 42);
  EXPECT_EQ(host.direction, 0);

  void* redirect[2] = {const_cast<char*>("http://x.test/"), reinterpret_cast<void*>(intptr_t{1})};
  EXPECT_EQ(tornell::HTTP::HTTPEventSink(&host, 8, 2, redirect, lengths), 6);
  EXPECT_EQ(reinterpret_cast<intptr_t>(redirect[1]), 0);

  // Events not overridden answer 0; ids outside 1-14 and the external loop reach nothing.
  void* two[2] = {nullptr, const_cast<char*>("OK")};
  EXPECT_EQ(tornell::HTTP::HTTPEventSink(&host, 1, 2, two, lengths), 0);
  void* cert[5] = {const_cast<char*>("\x30\x00"), const_cast<char*>("s"), const_cast<char*>("i"),
                   const_cast<char*>("st"), reinterpret_cast<void*>(intptr_t{7})};
  EXPECT_EQ(tornell::HTTP::HTTPEventSink(&host, 10, 5, cert, lengths), 0);
  EXPECT_EQ(reinterpret_cast<intptr_t>(cert[4]), 7);  // the default leaves Accept as it was
  for (int id : {0, 15, 2000, 2001, 2002, 10000}) {
    EXPECT_EQ(tornell::HTTP::HTTPEventSink(&host, id, 1, two, lengths), 0) << id;
  }
  EXPECT_EQ(host.transfers, 1);
}

class WideHost : public tornell::HTTP {
 public:
  int HTTPEventSinkW(int id, int argc, void**, int*) override {
    seenId = id;
    seenArgc = argc;
    return 9;
  }
  int seenId = 0;
  int seenArgc = 0;
};

TEST(HttpClass, WideEventsGoToTheWideSink) {
  WideHost host;
  void* argv[1] = {nullptr};
  int lengths[1] = {0};
  EXPECT_EQ(tornell::HTTP::HTTPEventSink(&host, 10014, 1, argv, lengths), 9);
  EXPECT_EQ(host.seenId, 14);
  EXPECT_EQ(host.seenArgc, 1);
}

TEST(HttpClass, TypedCalls) {
  TransferHost host;
  EXPECT_STREQ(host.Config("HTTPVersion"), "1.1");
  EXPECT_STREQ(host.Config("Loglevel=2"), "");
  EXPECT_STREQ(host.Config("Loglevel"), "2");
  EXPECT_EQ(host.SetFollowRedirects(2), 0);
  EXPECT_EQ(host.Protocol().GetFollowRedirects(), 2);
  EXPECT_STREQ(host.Config("FollowRedirects"), "2");

  char* data = nullptr;
  int length = -1;
  ASSERT_EQ(host.Protocol().TransferredData().Set("payload"), 0);
  EXPECT_EQ(host.GetTransferredData(data, length), 0);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::string(data, static_cast<size_t>(length)), "payload");

  EXPECT_EQ(host.Get("http://example.test:99999/"), 202);
  EXPECT_STRNE(host.GetLastError(), "");
}

}  // namespace
