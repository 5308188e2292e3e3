// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The socket stack's pure helpers, name resolution and user count.
#include "http/socket/socket_stack.h"

#include <gtest/gtest.h>

#include <memory>

#include "framework/exception.h"
#include "http/socket/component.h"
#include "http/socket/socket_error.h"
#include "tests/support/raised.h"

namespace pixhaul::test {
namespace {

TEST(IsDottedQuad, AcceptsFourPartsFrom0To255) {
  struct Row {
    const char* text;
    bool expected;
  };
  const Row rows[] = {
      {"10.0.0.1", true},        {"127.0.0.1", true},          {"0.0.0.0", true},
      {"255.255.255.255", true}, {"1.2.3.004", true},          {"10.0.0", false},
      {"10.0.0.1.5", false},     {"256.1.1.1", false},         {"", false},
      {"1.2.3.256", false},      {"a.b.c.d", false},           {"1..2.3", false},
      {"1.2.3.", false},         {"-1.2.3.4", false},          {"www.example.com", false},
      {"1.2.3.4 ", false},       {"99999999999.1.1.1", false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(TIdStack::IsDottedQuad(row.text), row.expected) << '"' << row.text << '"';
  }
}

TEST(AddressText, RoundTripsAndKeepsLowBits) {
  const unsigned char bytes[4] = {192, 168, 0, 7};
  EXPECT_EQ(TIdStack::AddressToText(bytes), "192.168.0.7");
  unsigned char parsed[4];
  TIdStack::TextToAddress("10.20.300.4", parsed);
  EXPECT_EQ(parsed[0], 10);
  EXPECT_EQ(parsed[1], 20);
  EXPECT_EQ(parsed[2], 300 & 0xFF);
  EXPECT_EQ(parsed[3], 4);
  EXPECT_EQ(Raised([&] { TIdStack::TextToAddress("10.x.0.1", parsed); }),
            "EConvertError: 'x' is not a valid integer value");
}

TEST(LookupHostAddress, LocalhostAndDottedAddressesNeedNoLookup) {
  TIdStack& stack = SharedStack();
  // A lookup failure would show as 11001; these must never reach the resolver.
  for (const char* name : {"localhost", "LOCALHOST", "LocalHost"}) {
    EXPECT_EQ(stack.LookupHostAddress(name), "127.0.0.1") << name;
  }
  EXPECT_EQ(stack.LookupHostAddress("10.1.2.3"), "10.1.2.3");
  EXPECT_EQ(stack.LookupHostAddress("010.1.2.3"), "010.1.2.3");  // unchanged, not normalised
}

TEST(LookupHostAddress, UnresolvableNameRaises11001WithEmptyText) {
  EXPECT_EQ(Raised<EIdSocketError>(
                [] { SharedStack().LookupHostAddress("no-such-host.pixhaul.invalid"); },
                [](const EIdSocketError& e) { EXPECT_EQ(e.LastError(), kWsaHostNotFound); }),
            "EIdSocketError: Socket Error # 11001\r\n");
  EXPECT_EQ(TIdStack::LastError(), kWsaHostNotFound);
}

TEST(TestSocketResult, ToleratesListedErrorsAndRaisesOthers) {
  TIdStack& stack = SharedStack();
  EXPECT_FALSE(stack.TestSocketResult(0));
  EXPECT_FALSE(stack.TestSocketResult(17));
  TIdStack::SetLastError(10058);
  EXPECT_TRUE(stack.TestSocketResult(-1, {10058}));
  TIdStack::SetLastError(10054);
  EXPECT_EQ(Raised([&] { stack.TestSocketResult(-1, {10058}); }),
            "EIdSocketError: Socket Error # 10054\r\nConnection reset by peer.");
}

TEST(NewSocket, GivesAnOpenSocketOrRaises) {
  TIdStack& stack = SharedStack();
  const int fd = stack.NewSocket(SOCK_STREAM, 0);
  EXPECT_GE(fd, 0);
  stack.CloseSocket(fd);
  EXPECT_THROW(stack.NewSocket(12345, 0), EIdInvalidSocket);
}

TEST(WaitReadable, RefusesMoreThan64Sockets) {
  std::vector<int> many(65, 0);
  EXPECT_THROW(SharedStack().WaitReadable(many, 0), EIdStackSetSizeExceeded);
}

TEST(StackUserCount, FollowsLiveComponents) {
  const int before = StackUserCount();
  {
    auto first = std::make_unique<TIdComponent>();
    auto second = std::make_unique<TIdComponent>();
    EXPECT_EQ(StackUserCount(), before + 2);
    first.reset();
    EXPECT_EQ(StackUserCount(), before + 1);
  }
  EXPECT_EQ(StackUserCount(), before);
  // After the last user is gone the stack still serves the next one.
  TIdComponent again;
  EXPECT_EQ(SharedStack().LookupHostAddress("localhost"), "127.0.0.1");
}

}  // namespace
}  // namespace pixhaul::test
