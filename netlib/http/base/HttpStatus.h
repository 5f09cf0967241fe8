#pragma once
// Status codes of the HTTP client object, with the numbers its users see.
#include "core/base/StatusCodes.h"

namespace tornell {

constexpr int kHttpStatusBadGzipHeader = 102;      // "The GZIP header is invalid."
constexpr int kHttpStatusProtocolError = 151;      // redirect loop, decoding failure
constexpr int kHttpStatusCookieIndex = 156;        // cookie index out of range
constexpr int kHttpStatusInvalidValue = 202;       // a text refused before it reaches the wire
constexpr int kHttpStatusTooManyRedirects = 310;   // redirect budget spent

}  // namespace tornell
