// Content decoding against bodies written by Python's gzip and zlib: every
// gzip header flag, zlib and raw deflate, segments of any size; damaged and
// cut streams fail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "TestText.h"
#include "http/base/HttpStatus.h"
#include "http/decode/ContentDecoder.h"
#include "http/decode/GzipHeader.h"

using namespace tornell;

namespace {

struct Collect : DecodedSink {
  int OnDecoded(const unsigned char* data, int length) override {
    out.append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
    if (length > largest) largest = length;
    ++segments;
    return 0;
  }
  std::string out;
  int largest = 0;
  int segments = 0;
};

struct Body {
  std::string name, coding, compressed, plain;
};

const std::vector<Body>& Bodies() {
  static std::vector<Body> bodies;
  static bool loaded = false;
  if (loaded) return bodies;
  loaded = true;
  const std::string script = R"PY(
import gzip, io, random, zlib
random.seed(3)
def raw(data):
    c = zlib.compressobj(6, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()
def member(data, flags=0, extra=b'', name=b'', comment=b''):
    h = b'\x1f\x8b\x08' + bytes([flags]) + b'\x00\x00\x00\x00\x00\xff'
    if flags & 4: h += len(extra).to_bytes(2, 'little') + extra
    if flags & 8: h += name + b'\x00'
    if flags & 16: h += comment + b'\x00'
    if flags & 2: h += (zlib.crc32(h) & 0xffff).to_bytes(2, 'little')
    return h + raw(data) + zlib.crc32(data).to_bytes(4, 'little') + (len(data) & 0xffffffff).to_bytes(4, 'little')
small = b'hello gzip world\n' * 10
big = bytes(random.getrandbits(8) for _ in range(50000)) + b'A' * 200000
named = io.BytesIO()
with gzip.GzipFile(filename='name.txt', mode='wb', fileobj=named, mtime=0) as f:
    f.write(small)
rows = [
    ('gzip', 'gzip', gzip.compress(small), small),
    ('gzip-fname', 'gzip', named.getvalue(), small),
    ('gzip-fextra-fhcrc', 'gzip', member(small, 4 | 2, extra=b'ab\x03\x00xyz'), small),
    ('gzip-every-flag', 'gzip', member(small, 2 | 4 | 8 | 16, extra=b'\x00' * 300, name=b'n.txt', comment=b'c'), small),
    ('gzip-big', 'gzip', gzip.compress(big), big),
    ('gzip-two-members', 'gzip', member(b'first ') + member(b'second'), b'first second'),
    ('gzip-empty', 'gzip', gzip.compress(b''), b''),
    ('deflate-zlib', 'deflate', zlib.compress(small), small),
    ('deflate-raw', 'deflate', raw(small), small),
    ('deflate-big', 'deflate', zlib.compress(big), big),
]
for name, coding, packed, plain in rows:
    print(name, coding, packed.hex(), plain.hex() or '-')
)PY";
  bool ok = true;
  const std::string out = testsupport::RunPython(script, ok);
  if (!ok) return bodies;
  for (const std::string& line : testsupport::Lines(out)) {
    const std::vector<std::string> w = testsupport::Words(line);
    if (w.size() != 4) continue;
    bodies.push_back({w[0], w[1], testsupport::Unhex(w[2]), w[3] == "-" ? "" : testsupport::Unhex(w[3])});
  }
  return bodies;
}

// Feeds the body in segments of the given sizes (cycled); returns the first failure.
int Decode(ContentDecoder& decoder, const std::string& body, const std::vector<int>& sizes, Collect& sink) {
  size_t at = 0;
  for (size_t i = 0; at < body.size(); ++i) {
    const size_t n = std::min(body.size() - at, static_cast<size_t>(sizes[i % sizes.size()]));
    const int status = decoder.Feed(reinterpret_cast<const unsigned char*>(body.data() + at), static_cast<int>(n), sink);
    if (status != 0) return status;
    at += n;
  }
  return decoder.Finish();
}

TEST(ContentDecoder, PythonBodiesInAnySegments) {
  const std::vector<Body>& bodies = Bodies();
  REQUIRE_OR_SKIP(bodies.size() == 10, "/usr/bin/python3 with gzip and zlib");
  const std::vector<std::vector<int>> splits = {{1 << 30}, {1}, {5, 1, 7, 300, 2}, {65536, 3}};
  for (const Body& b : bodies) {
    for (const auto& sizes : splits) {
      if (sizes[0] == 1 && b.compressed.size() > 20000) continue;  // byte by byte only where it is quick
      SCOPED_TRACE(b.name + " segments " + std::to_string(sizes[0]));
      ContentDecoder decoder;
      ASSERT_EQ(decoder.OnContentEncoding(b.coding == "gzip" ? "GZIP" : "deflate"), 0);
      Collect sink;
      ASSERT_EQ(Decode(decoder, b.compressed, sizes, sink), 0) << decoder.ErrorText().CStr();
      EXPECT_TRUE(sink.out == b.plain);
      EXPECT_LE(sink.largest, ContentDecoder::kBlockSize);
      if (b.plain.size() > 200000) {
        EXPECT_GT(sink.segments, 3);  // handed on as it comes out
      }
    }
  }
}

TEST(ContentDecoder, DamagedAndCutStreamsFail) {
  const std::vector<Body>& bodies = Bodies();
  REQUIRE_OR_SKIP(bodies.size() == 10, "/usr/bin/python3 with gzip and zlib");
  const Body& gz = bodies[0];
  const Body& zl = bodies[7];
  struct Damage {
    std::string name, coding, body;
    int status;
    const char* text;
  };
  std::string crc = gz.compressed;
  crc[crc.size() - 8] ^= 1;
  std::string length = gz.compressed;
  length[length.size() - 1] ^= 1;
  std::string magic = gz.compressed;
  magic[1] = 0x8c;
  std::string method = gz.compressed;
  method[2] = 7;
  std::string longName = std::string("\x1f\x8b\x08\x08\0\0\0\0\0\xff", 10) + std::string(70000, 'n');
  const Damage cases[] = {
      {"crc", "gzip", crc, kHttpStatusProtocolError, "Could not decompress content."},
      {"length", "gzip", length, kHttpStatusProtocolError, "Could not decompress content."},
      {"cut in stream", "gzip", gz.compressed.substr(0, gz.compressed.size() - 12), kHttpStatusProtocolError,
       "Could not decompress content."},
      {"cut in trailer", "gzip", gz.compressed.substr(0, gz.compressed.size() - 3), kHttpStatusProtocolError,
       "Could not decompress content."},
      {"cut in header", "gzip", gz.compressed.substr(0, 6), kHttpStatusProtocolError,
       "Could not decompress content."},
      {"magic", "gzip", magic, kHttpStatusBadGzipHeader, "The GZIP header is invalid."},
      {"method", "gzip", method, kHttpStatusBadGzipHeader, "The GZIP header is invalid."},
      {"endless name", "gzip", longName, kHttpStatusBadGzipHeader, "The GZIP header is invalid."},
      {"garbage", "gzip", gz.compressed + "junk after the member", kHttpStatusBadGzipHeader, "The GZIP header is invalid."},
      {"zlib cut", "deflate", zl.compressed.substr(0, zl.compressed.size() - 6), kHttpStatusProtocolError,
       "Could not decompress content."},
      {"zlib adler", "deflate", zl.compressed.substr(0, zl.compressed.size() - 1) + "\x01",
       kHttpStatusProtocolError, "Could not decompress content."},
      {"not deflate", "deflate", std::string("\xff\xff\xff\xff", 4), kHttpStatusProtocolError,
       "Could not decompress content."},
  };
  for (const Damage& d : cases) {
    for (int segment : {1 << 30, 3}) {
      ContentDecoder decoder;
      ASSERT_EQ(decoder.OnContentEncoding(d.coding.c_str()), 0);
      Collect sink;
      EXPECT_EQ(Decode(decoder, d.body, {segment}, sink), d.status) << d.name;
      EXPECT_STREQ(decoder.ErrorText().CStr(), d.text) << d.name;
    }
  }
}

TEST(ContentDecoder, OtherCodingsPassThrough) {
  for (const char* coding : {"identity", "br", "", "gzip, deflate"}) {
    ContentDecoder decoder;
    ASSERT_EQ(decoder.OnContentEncoding(coding), 0);
    EXPECT_EQ(decoder.Mode(), ContentDecoder::kNone);
    Collect sink;
    ASSERT_EQ(Decode(decoder, "\x1f\x8b as is", {4}, sink), 0);
    EXPECT_EQ(sink.out, "\x1f\x8b as is");
  }
  ContentDecoder decoder;
  ASSERT_EQ(decoder.OnContentEncoding("gzip"), 0);
  EXPECT_EQ(decoder.Finish(), 0);  // no body at all (HEAD, 204) is no cut stream
}

TEST(GzipHeader, WaitsForTheWholeHeader) {
  const std::string named = std::string("\x1f\x8b\x08\x08\0\0\0\0\0\xff", 10) + "name.txt" + std::string(1, '\0');
  const auto* bytes = reinterpret_cast<const unsigned char*>(named.data());
  for (int length = 0; length < static_cast<int>(named.size()); ++length) {
    int position = 0;
    EXPECT_EQ(http::GzipHeaderLength(bytes, length, position), 0) << length;
    EXPECT_EQ(position, 0);
    EXPECT_EQ(http::CheckGzipHeader(bytes, length, position), kHttpStatusBadGzipHeader);
  }
  int position = 0;
  EXPECT_EQ(http::GzipHeaderLength(bytes, static_cast<int>(named.size()), position), 1);
  EXPECT_EQ(position, static_cast<int>(named.size()));
  position = 0;
  EXPECT_EQ(http::CheckGzipHeader(bytes, static_cast<int>(named.size()), position), 0);

  // Five bytes of a body wait for more, with nothing delivered.
  ContentDecoder decoder;
  ASSERT_EQ(decoder.OnContentEncoding("gzip"), 0);
  Collect sink;
  ASSERT_EQ(decoder.Feed(bytes, 5, sink), 0);
  EXPECT_EQ(sink.segments, 0);
}

}  // namespace
