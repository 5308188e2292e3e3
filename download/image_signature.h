// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// What the first bytes of a download say it is: one of the image formats people save, or a
// document (a sign-in or "hotlinking not allowed" page, a JSON or XML error) that a host served
// for an image address. Pure functions over the reply's Content-Type and the body's head; any
// thread.
//
// A reply is a document when its media type is text/html, application/xhtml+xml,
// application/json, text/xml or application/xml and its body does not begin with an image
// signature, or when its body, after an optional UTF-8 byte-order mark and blanks, begins with
// "<!doctype html", "<html", "<head", "<body" (any case) or an XML declaration whose root
// element is not <svg>. Anything else (an unknown binary format, an empty body) is not.
//
// Tests: tests/download/image_check_test.cpp.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pixhaul {

enum class ImageFormat {
  kNone,
  kJpeg,
  kPng,
  kGif,
  kWebp,
  kBmp,
  kTiff,
  kIco,
  kIsoMedia,  // AVIF and HEIF: an ISO media file of an image brand
  kJpegXl,
  kSvg,  // a text whose root element is <svg>
};

// How many bytes of a body's head the checks below look at: enough for an SVG's prolog.
inline constexpr size_t kSignatureHeadBytes = 64 * 1024;

// The format the body's first bytes announce (for SVG, its root element after an optional
// byte-order mark, blanks, XML declaration, comments and doctype), or kNone.
ImageFormat ImageSignatureOf(std::string_view head);

// The media type of a Content-Type value as the server wrote it: without its parameters and
// surrounding blanks ("text/html" of "text/html; charset=UTF-8").
std::string MediaTypeOf(std::string_view contentType);

// True when a reply of this Content-Type whose body begins with `head` is a document, not an
// image. An empty body is never one: it is saved as it came.
bool IsDocument(std::string_view contentType, std::string_view head);

}  // namespace pixhaul
