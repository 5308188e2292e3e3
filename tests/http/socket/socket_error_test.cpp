// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Socket error texts and the mapping of system errors onto socket error numbers.
#include "http/socket/socket_error.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "http/socket/socket_stack.h"
#include "tests/support/raised.h"

namespace pixhaul::test {
namespace {

TEST(SocketErrorText, FormatsNumberAndFixedText) {
  struct Row {
    int number;
    const char* expected;
  };
  const Row rows[] = {
      {10061, "Socket Error # 10061\r\nConnection refused."},
      {10054, "Socket Error # 10054\r\nConnection reset by peer."},
      {10060, "Socket Error # 10060\r\nConnection timed out."},
      {10058, "Socket Error # 10058\r\nCannot send or receive after socket is closed."},
      {10035, "Socket Error # 10035\r\nOperation would block. "},  // trailing blank kept
      {10066, "Socket Error # 10066\r\nDirectory not empty"},      // no full stop
      {10004, "Socket Error # 10004\r\nInterrupted system call."},
      {10047, "Socket Error # 10047\r\nAddress family not supported by protocol family."},
      {11001, "Socket Error # 11001\r\n"},  // outside the table: empty second line
      {0, "Socket Error # 0\r\n"},
      {10067, "Socket Error # 10067\r\n"},
      {10003, "Socket Error # 10003\r\n"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(SocketErrorText(row.number), row.expected) << "number " << row.number;
  }
}

TEST(SocketErrorText, TableHasEveryNumberFrom10004To10066ThatItNames) {
  // The table is dense from 10035 to 10066; a gap would silently give an empty line.
  for (int number = 10035; number <= 10066; ++number) {
    EXPECT_FALSE(SocketErrorDescription(number).empty()) << "number " << number;
  }
  for (int number : {10004, 10009, 10013, 10014, 10022, 10024}) {
    EXPECT_FALSE(SocketErrorDescription(number).empty()) << "number " << number;
  }
  for (int number : {10005, 10010, 10023, 10034}) {
    EXPECT_TRUE(SocketErrorDescription(number).empty()) << "number " << number;
  }
}

TEST(EIdSocketError, CarriesNumberAndMessage) {
  EXPECT_EQ(
      Raised<EIdSocketError>([] { ThrowSocketError(10061); },
                             [](const EIdSocketError& e) { EXPECT_EQ(e.LastError(), 10061); }),
      "EIdSocketError: Socket Error # 10061\r\nConnection refused.");
}

TEST(ErrnoToSocketError, MapsSystemErrorsOntoSocketNumbers) {
  struct Row {
    int error;
    int number;
  };
  const Row rows[] = {
      {ECONNREFUSED, 10061}, {ECONNRESET, 10054},  {ETIMEDOUT, 10060},    {ENETUNREACH, 10051},
      {EHOSTUNREACH, 10065}, {EHOSTDOWN, 10064},   {EADDRINUSE, 10048},   {EADDRNOTAVAIL, 10049},
      {ECONNABORTED, 10053}, {ENOTCONN, 10057},    {EPIPE, 10058},        {ESHUTDOWN, 10058},
      {EMFILE, 10024},       {ENOBUFS, 10055},     {EINVAL, 10022},       {EACCES, 10013},
      {EINTR, 10004},        {EWOULDBLOCK, 10035}, {EINPROGRESS, 10036},  {EALREADY, 10037},
      {ENOTSOCK, 10038},     {EMSGSIZE, 10040},    {EAFNOSUPPORT, 10047}, {ENETDOWN, 10050},
      {ENETRESET, 10052},    {EISCONN, 10056},     {ENAMETOOLONG, 10063}, {EBADF, 10009},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ErrnoToSocketError(row.error), row.number) << "errno " << row.error;
  }
  // An error without a socket number keeps the message form with an empty text.
  const int unmapped = ErrnoToSocketError(ENOENT);
  EXPECT_TRUE(SocketErrorDescription(unmapped).empty()) << unmapped;
}

TEST(EIdSocketErrorTree, ClassesDeriveAsTheWorkerExpects) {
  EXPECT_EQ(EIdInvalidSocket().Message(), "Cannot allocate socket.");
  EXPECT_EQ(EIdCouldNotBindSocket().Message(),
            "Could not bind socket. Address and port are already in use.");
  EXPECT_EQ(EIdStackSetSizeExceeded().Message(), "Set Size Exceeded.");
  EXPECT_EQ(InvalidServiceNameMessage("gopherx"), "gopherx is not a valid service.");
  const EIdCouldNotBindSocket bind;
  EXPECT_NE(dynamic_cast<const EIdSocketHandleError*>(&bind), nullptr);
  const EIdConnClosedGracefully closed;
  EXPECT_NE(dynamic_cast<const EIdSilentException*>(&closed), nullptr);
  EXPECT_EQ(closed.Message(), "Connection Closed Gracefully.");
  const EIdLimitExceeded limit(kReplyLineTooLongMessage);
  EXPECT_NE(dynamic_cast<const EIdException*>(&limit), nullptr);
  EXPECT_EQ(EIdReadTimeout().Message(), "Read timed out.");
}

}  // namespace
}  // namespace pixhaul::test
