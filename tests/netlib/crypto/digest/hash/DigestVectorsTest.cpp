// Published test values: RFC 1321 (MD5), RFC 1320 (MD4), RFC 1319 (MD2), the
// FIPS 180 examples (SHA-1, SHA-2), the RIPEMD-160 authors' values, the
// FIPS 202 examples (SHA-3, SHAKE) and the Keccak-256 value of the empty
// message. On both processor paths.
#include <gtest/gtest.h>

#include <string>

#include "DigestTestUtil.h"
#include "crypto/digest/hash/HashContext.h"

namespace {

using namespace tornell;
using namespace tornell::HashAlgorithm;

const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz";
const char kAlnum[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const char kDigits[] = "1234567890";
const char k448[] = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
const char k896[] =
    "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrst"
    "nopqrstu";

struct Vector {
  int id;
  int paddingMode;
  const char* text;
  int repeat;
  const char* digest;
};

const Vector kVectors[] = {
    {kMd5, 0, "", 1, "d41d8cd98f00b204e9800998ecf8427e"},
    {kMd5, 0, "a", 1, "0cc175b9c0f1b6a831c399e269772661"},
    {kMd5, 0, "abc", 1, "900150983cd24fb0d6963f7d28e17f72"},
    {kMd5, 0, "message digest", 1, "f96b697d7cb7938d525a2f31aaf161d0"},
    {kMd5, 0, kAlphabet, 1, "c3fcd3d76192e4007dfb496cca67e13b"},
    {kMd5, 0, kAlnum, 1, "d174ab98d277d9f5a5611c2c9f419d9f"},
    {kMd5, 0, kDigits, 8, "57edf4a22be3c955ac49da2e2107b67a"},

    {kMd4, 0, "", 1, "31d6cfe0d16ae931b73c59d7e0c089c0"},
    {kMd4, 0, "a", 1, "bde52cb31de33e46245e05fbdbd6fb24"},
    {kMd4, 0, "abc", 1, "a448017aaf21d8525fc10ae87aa6729d"},
    {kMd4, 0, "message digest", 1, "d9130a8164549fe818874806e1c7014b"},
    {kMd4, 0, kAlphabet, 1, "d79e1c308aa5bbcdeea8ed63df412da9"},
    {kMd4, 0, kAlnum, 1, "043f8582f241db351ce627e153e7f0e4"},
    {kMd4, 0, kDigits, 8, "e33b4ddc9c38f2199c3e7b164fcc0536"},

    {kMd2, 0, "", 1, "8350e5a3e24c153df2275c9f80692773"},
    {kMd2, 0, "a", 1, "32ec01ec4a6dac72c0ab96fb34c0b5d1"},
    {kMd2, 0, "abc", 1, "da853b0d3f88d99b30283a69e6ded6bb"},
    {kMd2, 0, "message digest", 1, "ab4f496bfb2a530b219ff33031fe06b0"},
    {kMd2, 0, kAlphabet, 1, "4e8ddff3650292ab5a4108c3aa47940b"},
    {kMd2, 0, kAlnum, 1, "da33def2a42df13975352846c30338cd"},
    {kMd2, 0, kDigits, 8, "d5976f79d83d3a0dc9806c3c66f3efd8"},

    {kSha1, 0, "", 1, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {kSha1, 0, "abc", 1, "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {kSha1, 0, k448, 1, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {kSha1, 0, "a", 1000000, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},

    {kSha224, 0, "abc", 1, "23097d223405d8228642a477bda255b32aadbce4bda0b3f7e36c9da7"},
    {kSha224, 0, k448, 1, "75388b16512776cc5dba5da1fd890150b0c6455cb4f58b1952522525"},
    {kSha224, 0, "a", 1000000, "20794655980c91d8bbb4c1ea97618a4bf03f42581948b2ee4ee7ad67"},

    {kSha256, 0, "", 1, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {kSha256, 0, "abc", 1, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {kSha256, 0, k448, 1, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {kSha256, 0, "a", 1000000, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},

    {kSha384, 0, "abc", 1,
     "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
    {kSha384, 0, k896, 1,
     "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712fcc7c71a557e2db966c3e9fa91746039"},
    {kSha384, 0, "a", 1000000,
     "9d0e1809716474cb086e834e310a4a1ced149e9c00f248527972cec5704c2a5b07b8b3dc38ecc4ebae97ddd87f3d8985"},

    {kSha512, 0, "abc", 1,
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a2192992a274fc1a836ba3c23a3feebbd"
     "454d4423643ce80e2a9ac94fa54ca49f"},
    {kSha512, 0, k896, 1,
     "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018501d289e4900f7e4331b99dec4b5433a"
     "c7d329eeb6dd26545e96e55b874be909"},
    {kSha512, 0, "a", 1000000,
     "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973ebde0ff244877ea60a4cb0432ce577c31b"
     "eb009c5c2c49aa2e4eadb217ad8cc09b"},

    {kSha512_224, 0, "abc", 1, "4634270f707b6a54daae7530460842e20e37ed265ceee9a43e8924aa"},
    {kSha512_224, 0, k896, 1, "23fec5bb94d60b23308192640b0c453335d664734fe40e7268674af9"},
    {kSha512_256, 0, "abc", 1, "53048e2681941ef99b2e29b76b4c7dabe4c2d0c634fc6d46e0e2f13107e7af23"},
    {kSha512_256, 0, k896, 1, "3928e184fb8690f840da3988121d31be65cb9d3ef83ee6146feac861e19b563a"},

    {kRipemd160, 0, "", 1, "9c1185a5c5e9fc54612808977ee8f548b2258d31"},
    {kRipemd160, 0, "a", 1, "0bdc9d2d256b3ee9daae347be6f4dc835a467ffe"},
    {kRipemd160, 0, "abc", 1, "8eb208f7e05d987a9b044a8e98c6b087f15a0bfc"},
    {kRipemd160, 0, "message digest", 1, "5d0689ef49d2fae572b881b123a85ffa21595f36"},
    {kRipemd160, 0, kAlphabet, 1, "f71c27109c692c1b56bbdceb5b9d2865b3708dbc"},
    {kRipemd160, 0, k448, 1, "12a053384a9c0c88e405a06c27dcf49ada62eb2b"},
    {kRipemd160, 0, kAlnum, 1, "b0e20b6e3116640286ed3a87a5713079b21f5189"},
    {kRipemd160, 0, kDigits, 8, "9b752e45573d4b39f4dbd3323cab82bf63326bfb"},
    {kRipemd160, 0, "a", 1000000, "52783243c1697bdbe16d37f97f68f08325dc1528"},

    {kMd5Sha1, 0, "abc", 1, "900150983cd24fb0d6963f7d28e17f72a9993e364706816aba3e25717850c26c9cd0d89d"},

    {kSha3_224, 2, "", 1, "6b4e03423667dbb73b6e15454f0eb1abd4597f9a1b078e3f5b5a6bc7"},
    {kSha3_256, 2, "", 1, "a7ffc6f8bf1ed76651c14756a061d662f580ff4de43b49fa82d80a4b80f8434a"},
    {kSha3_384, 2, "", 1,
     "0c63a75b845e4f7d01107d852e4c2485c51a50aaaa94fc61995e71bbee983a2ac3713831264adb47fb6bd1e058d5f004"},
    {kSha3_512, 2, "", 1,
     "a69f73cca23a9ac5c8b567dc185a756e97c982164fe25859e0d1dcc1475c80a615b2123af1f5f94c11e3e9402c3ac558"
     "f500199d95b6d3e301758586281dcd26"},
    {kSha3_224, 2, "abc", 1, "e642824c3f8cf24ad09234ee7d3c766fc9a3a5168d0c94ad73b46fdf"},
    {kSha3_256, 2, "abc", 1, "3a985da74fe225b2045c172d6bd390bd855f086e3e9d525b46bfe24511431532"},
    {kSha3_384, 2, "abc", 1,
     "ec01498288516fc926459f58e2c6ad8df9b473cb0fc08c2596da7cf0e49be4b298d88cea927ac7f539f1edf228376d25"},
    {kSha3_512, 2, "abc", 1,
     "b751850b1a57168a5693cd924b6b096e08f621827444f70d884f5d0240d2712e10e116e9192af3c91a7ec57647e39340"
     "57340b4cf408d5a56592f8274eec53f0"},
    {kSha3_256, 2, "a", 1000000, "5c8875ae474a3634ba4fd55ec85bffd661f32aca75c6d699d0cdcb6c115891c1"},
    {kShake128, 0, "", 1, "7f9c2ba4e88f827d616045507605853ed73b8093f6efbc88eb1a6eacfa66ef26"},
    {kShake256, 0, "", 1,
     "46b9dd2b0ba88d13233b3feb743eeb243fcd52ea62b81b82b50c27646ed5762fd75dc4ddd8c0f200cb05019d67b592f6"
     "fc821c49479ab48640292eacb3b7c4be"},

    // The default (Keccak) padding of ids 12-15.
    {kSha3_256, 0, "", 1, "c5d2460186f7233c927e7db2dcc703c0e500b653ca82273b7bfad8045d85a470"},
    {kSha3_256, 0, "abc", 1, "4e03657aea45a94fc7d47ba826c8d667c0d1e6e33a64a036ec44f58fa12d6c45"},
};

class DigestVectors : public digesttest::BothPaths {};

TEST_P(DigestVectors, PublishedValuesAreMet) {
  USE_PROCESSOR_PATH_OR_SKIP(GetParam());
  for (const Vector& v : kVectors) {
    std::string message;
    for (int i = 0; i < v.repeat; ++i) message += v.text;
    HashContext ctx;
    EXPECT_EQ(0, ctx.SetAlgorithm(v.id));
    if (v.paddingMode != 0) {
      ASSERT_EQ(ctx.SetPaddingMode(v.paddingMode), 0);
    }
    ByteString out;
    ASSERT_EQ(ctx.Digest(message.data(), static_cast<int>(message.size()), out), 0);
    EXPECT_EQ(digesttest::Hex(out.Data(), out.Length()), v.digest)
        << HashAlgorithmName(v.id) << " mode " << v.paddingMode << " of \"" << v.text << "\" x" << v.repeat;
  }
}

DIGEST_ALL_PATHS(DigestVectors);

}  // namespace
