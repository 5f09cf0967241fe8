// The digest front: selection by number and name, the result buffer, the
// error statuses, one-shot hashing, copies and clones.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "DigestTestUtil.h"
#include "crypto/digest/hash/HashContext.h"
#include "crypto/digest/hash/Md5Sha1Digest.h"
#include "crypto/digest/hash/Sha1Digest.h"
#include "crypto/digest/hash/Sha256Digest.h"

namespace {

using namespace tornell;
using digesttest::Hex;

const char kSha1Abc[] = "a9993e364706816aba3e25717850c26c9cd0d89d";
const char kSha256Abc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const char kSha256Empty[] = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

std::string Result(const HashContext& ctx) { return Hex(ctx.GetDigest(), ctx.GetDigestLength()); }

std::string HashAbc(HashContext& ctx) {
  EXPECT_EQ(0, ctx.Reset());
  EXPECT_EQ(ctx.Update("abc", 3), 0);
  EXPECT_EQ(ctx.Final(), 0);
  return Result(ctx);
}

TEST(HashContext, NewContextHashesSha1WithoutSelection) {
  HashContext ctx;
  EXPECT_EQ(ctx.GetDigestLength(), 0);
  EXPECT_EQ(ctx.GetAlgorithm(), HashAlgorithm::kSha1);
  EXPECT_EQ(HashAbc(ctx), kSha1Abc);
  EXPECT_EQ(0, ctx.Reset());
  EXPECT_EQ(Result(ctx), kSha1Abc) << "Reset leaves the last result readable";
}

TEST(HashContext, EveryNameSelectsItsNumberAndLength) {
  const struct {
    const char* name;
    int id;
  } kNames[] = {
      {"SHA1", 0},       {"sha-1", 0},         {"MD5", 1},          {"SHA256", 2},       {"Sha-256", 2},
      {"SHA224", 3},     {"SHA-224", 3},       {"SHA512", 4},       {"SHA-512", 4},      {"SHA512/224", 5},
      {"SHA-512/224", 5}, {"SHA512/256", 6},   {"sha-512/256", 6},  {"SHA384", 7},       {"SHA-384", 7},
      {"RIPEMD160", 8},  {"ripemd-160", 8},    {"MD160", 8},    {"MD4", 9},          {"md2", 10},
      {"MD5SHA1", 11},   {"SHA3_224", 12},     {"SHA-3-224", 12},   {"sha3_256", 13},    {"SHA-3-256", 13},
      {"SHA3_384", 14},  {"SHA-3-384", 14},    {"SHA3_512", 15},    {"SHA-3-512", 15},   {"SHAKE128", 16},
      {"shake256", 17},
  };
  for (const auto& n : kNames) {
    HashContext ctx;
    ASSERT_EQ(ctx.SetAlgorithm(n.name), 0) << n.name;
    EXPECT_EQ(ctx.GetAlgorithm(), n.id) << n.name;
    EXPECT_EQ(ctx.GetDigestBits(), 8 * HashContext::DigestLengthOf(n.id));
    HashAbc(ctx);
    EXPECT_EQ(ctx.GetDigestLength(), HashContext::DigestLengthOf(n.id)) << n.name;
  }
}

TEST(HashContext, UnknownNamesAreRefusedAndTheSelectionStays) {
  HashContext ctx;
  ASSERT_EQ(ctx.SetAlgorithm(HashAlgorithm::kSha256), 0);
  EXPECT_EQ(0, ctx.Update("ab", 2));
  for (const char* name : {"SHA 256", "SHA3-256", "SHA-3_256", "SHA", "SHA256 ", "", static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(ctx.SetAlgorithm(name), kStatusUnknownDigest) << (name ? name : "null");
  }
  EXPECT_EQ(ctx.GetAlgorithm(), HashAlgorithm::kSha256);
  EXPECT_EQ(0, ctx.Update("c", 1));
  ASSERT_EQ(ctx.Final(), 0);
  EXPECT_EQ(Result(ctx), kSha256Abc) << "the message in progress is kept";
}

TEST(HashContext, ShakeLengthsComeFromTheTable) {
  HashContext ctx;
  EXPECT_EQ(0, ctx.SetAlgorithm(HashAlgorithm::kShake128));
  EXPECT_EQ(ctx.GetDigestBits(), 256);
  EXPECT_EQ(HashAbc(ctx), "5881092dd818bf5cf8a3ddb793fbcba74097d5c526a6d35f97b83351940f2cc8");
  EXPECT_EQ(0, ctx.SetAlgorithm(HashAlgorithm::kShake256));
  EXPECT_EQ(ctx.GetDigestBits(), 512);
  HashAbc(ctx);
  EXPECT_EQ(ctx.GetDigestLength(), 64);
}

TEST(HashContext, NumbersOutsideTheTableAreReportedByUpdateAndFinal) {
  for (int id : {18, -1, 1000}) {
    HashContext ctx;
    EXPECT_EQ(ctx.SetAlgorithm(id), 0);
    EXPECT_EQ(ctx.GetDigestBits(), 0);
    EXPECT_EQ(HashContext::DigestLengthOf(id), 0);
    EXPECT_EQ(ctx.Reset(), 0);
    EXPECT_EQ(ctx.Update("abc", 3), kStatusUnknownDigest);
    EXPECT_EQ(ctx.Final(), kStatusUnknownDigest);
    EXPECT_EQ(ctx.SetPaddingMode(2), 0);
    EXPECT_EQ(ctx.GetDigestLength(), 0);
  }
}

TEST(HashContext, BadLengthsAreRefusedWithoutReading) {
  HashContext ctx;
  EXPECT_EQ(0, ctx.SetAlgorithm(HashAlgorithm::kSha256));
  EXPECT_EQ(ctx.Update("ab", 2), 0);
  EXPECT_EQ(ctx.Update("zz", -1), kStatusDigestBadInput);
  EXPECT_EQ(ctx.Update(nullptr, 4), kStatusDigestBadInput);
  EXPECT_EQ(ctx.Update(nullptr, 0), 0);
  EXPECT_EQ(ctx.Update("c", 1), 0);
  ASSERT_EQ(ctx.Final(), 0);
  EXPECT_EQ(Result(ctx), kSha256Abc);

  ByteString out;
  EXPECT_EQ(ctx.Digest("abc", -3, out), kStatusDigestBadInput);
  EXPECT_EQ(out.Length(), 0);
}

TEST(HashContext, DigestIsOneShotFromAnyState) {
  HashContext ctx;
  EXPECT_EQ(0, ctx.SetAlgorithm("SHA-256"));
  EXPECT_EQ(0, ctx.Update("left over", 9));
  ByteString out;
  ASSERT_EQ(ctx.Digest(nullptr, 0, out), 0);
  EXPECT_EQ(Hex(out.Data(), out.Length()), kSha256Empty);
  ASSERT_EQ(ctx.Digest("abc", 3, out), 0);
  EXPECT_EQ(Hex(out.Data(), out.Length()), kSha256Abc);
  EXPECT_EQ(Result(ctx), kSha256Abc);
}

TEST(HashContext, SelectingAgainDiscardsTheMessageAndThePaddingMode) {
  HashContext ctx;
  EXPECT_EQ(0, ctx.SetAlgorithm(HashAlgorithm::kSha3_256));
  ASSERT_EQ(ctx.SetPaddingMode(2), 0);
  EXPECT_EQ(0, ctx.Update("junk", 4));
  EXPECT_EQ(0, ctx.SetAlgorithm(HashAlgorithm::kSha3_256));
  ASSERT_EQ(ctx.Final(), 0);
  EXPECT_EQ(Result(ctx), "c5d2460186f7233c927e7db2dcc703c0e500b653ca82273b7bfad8045d85a470");

  EXPECT_EQ(0, ctx.SetAlgorithm(HashAlgorithm::kSha256));
  EXPECT_EQ(ctx.SetPaddingMode(2), 0) << "no effect outside the SHA-3 numbers";
  EXPECT_EQ(HashAbc(ctx), kSha256Abc);
}

TEST(HashContext, CopyFromContinuesWhereTheSourceStands) {
  HashContext source;
  EXPECT_EQ(0, source.SetAlgorithm(HashAlgorithm::kSha1));
  HashAbc(source);
  EXPECT_EQ(0, source.SetAlgorithm(HashAlgorithm::kSha256));
  EXPECT_EQ(0, source.Update("ab", 2));

  HashContext copy;
  ASSERT_EQ(copy.CopyFrom(source), 0);
  EXPECT_EQ(copy.GetAlgorithm(), HashAlgorithm::kSha256);
  EXPECT_EQ(Result(copy), kSha1Abc) << "the source's last result travels too";
  for (HashContext* ctx : {&source, &copy}) {
    EXPECT_EQ(0, ctx->Update("c", 1));
    ASSERT_EQ(ctx->Final(), 0);
    EXPECT_EQ(Result(*ctx), kSha256Abc);
  }
}

// A selection's object is built on first use; a copy taken before that still
// starts afresh, and copies of contexts holding several objects (one kept in
// the context, one on the heap) carry each object's state.
TEST(HashContext, CopiesOfFreshAndOfSeveralObjects) {
  // SHA3-256 with its default (Keccak) padding.
  const char kKeccakAbc[] = "4e03657aea45a94fc7d47ba826c8d667c0d1e6e33a64a036ec44f58fa12d6c45";
  HashContext used;
  EXPECT_EQ(0, used.SetAlgorithm(HashAlgorithm::kSha256));
  EXPECT_EQ(0, used.Update("xyz", 3));
  HashContext fresh;
  EXPECT_EQ(0, fresh.SetAlgorithm(HashAlgorithm::kSha256));
  ASSERT_EQ(used.CopyFrom(fresh), 0);
  EXPECT_EQ(0, used.Update("abc", 3));
  ASSERT_EQ(used.Final(), 0);
  EXPECT_EQ(Result(used), kSha256Abc);

  HashContext sha3;
  EXPECT_EQ(0, sha3.SetAlgorithm(HashAlgorithm::kSha3_256));
  EXPECT_EQ(0, sha3.Update("ab", 2));
  HashContext mixed;
  EXPECT_EQ(0, mixed.SetAlgorithm(HashAlgorithm::kSha256));
  EXPECT_EQ(0, mixed.Update("ab", 2));
  ASSERT_EQ(mixed.CopyFrom(sha3), 0);
  HashContext third;
  ASSERT_EQ(third.CopyFrom(mixed), 0);
  for (HashContext* ctx : {&mixed, &third}) {
    EXPECT_EQ(ctx->GetAlgorithm(), HashAlgorithm::kSha3_256);
    Sha256Digest* sha256 = ctx->HeldDigest<Sha256Digest>();
    ASSERT_NE(sha256, nullptr);
    sha256->Update("c", 1);
    EXPECT_EQ(Hex(sha256->Final(), 32), kSha256Abc);
    EXPECT_EQ(0, ctx->Update("c", 1));
    ASSERT_EQ(ctx->Final(), 0);
    EXPECT_EQ(Result(*ctx), kKeccakAbc);
  }
  // The fresh SHA-1 object of a new context travels as a fresh one.
  HashContext unused;
  ASSERT_EQ(third.CopyFrom(unused), 0);
  EXPECT_EQ(HashAbc(third), kSha1Abc);
}

TEST(HashContext, CloneKeepsNumberAndResultButNotTheDigestObject) {
  HashContext source;
  EXPECT_EQ(0, source.SetAlgorithm(HashAlgorithm::kSha256));
  HashAbc(source);
  std::unique_ptr<HashContext> clone(source.Clone());
  ASSERT_NE(clone, nullptr);
  EXPECT_EQ(clone->GetAlgorithm(), HashAlgorithm::kSha256);
  EXPECT_EQ(Result(*clone), kSha256Abc);
  EXPECT_EQ(clone->Update("abc", 3), kStatusNoMemory);
  EXPECT_EQ(clone->Final(), kStatusNoMemory);

  // Copying from the clone leaves this context's own SHA-256 object running.
  EXPECT_EQ(0, source.Reset());
  EXPECT_EQ(0, source.Update("ab", 2));
  ASSERT_EQ(source.CopyFrom(*clone), 0);
  EXPECT_EQ(0, source.Update("c", 1));
  ASSERT_EQ(source.Final(), 0);
  EXPECT_EQ(Result(source), kSha256Abc);

  EXPECT_EQ(0, clone->SetAlgorithm(HashAlgorithm::kSha3_256));
  std::unique_ptr<HashContext> sha3Clone(clone->Clone());
  EXPECT_EQ(sha3Clone->SetPaddingMode(2), kStatusNoMemory);
  EXPECT_EQ(HashAbc(*clone), "4e03657aea45a94fc7d47ba826c8d667c0d1e6e33a64a036ec44f58fa12d6c45");
}

TEST(HashContext, FailedDigestObjectIsAnErrorNotANullRead) {
  for (int id : {HashAlgorithm::kSha1, HashAlgorithm::kMd5Sha1}) {
    HashContext ctx;
    EXPECT_EQ(0, ctx.SetAlgorithm(HashAlgorithm::kSha256));
    HashAbc(ctx);
    EXPECT_EQ(0, ctx.SetAlgorithm(id));
    Sha1Digest* sha1 = id == HashAlgorithm::kSha1 ? ctx.HeldDigest<Sha1Digest>()
                                                   : &ctx.HeldDigest<Md5Sha1Digest>()->sha1;
    ASSERT_NE(sha1, nullptr);
    sha1->countHigh = 0xffffffff;
    sha1->countLow = 0xfffffff8;
    EXPECT_EQ(ctx.Update("x", 1), 0);
    EXPECT_EQ(ctx.Final(), kStatusDigestFailed);
    EXPECT_EQ(Result(ctx), kSha256Abc) << "the result keeps the previous digest";
    EXPECT_EQ(HashAbc(ctx).size(), 2u * HashContext::DigestLengthOf(id)) << "Reset recovers";
  }
}

}  // namespace
