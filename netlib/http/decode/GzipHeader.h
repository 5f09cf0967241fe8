#pragma once
// The member header of a gzip stream (RFC 1952), walked before the deflate
// data reach the inflate engine.
namespace tornell::http {

// 1 with `position` past the header when the whole header lies within the
// `length` bytes, 0 when more bytes are needed.
int GzipHeaderLength(const unsigned char* data, int length, int& position);

// 0 with `position` past the header, or kHttpStatusBadGzipHeader when the
// magic or method bytes are wrong or the header is not complete.
[[nodiscard]] int CheckGzipHeader(const unsigned char* data, int length, int& position);

}  // namespace tornell::http
