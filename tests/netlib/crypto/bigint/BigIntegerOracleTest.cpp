// Differential test against Python's integers over random signed operands up
// to 4096 bits; every case runs on both multiply kernels.
#include <string>
#include <vector>

#include "ProcessorPath.h"
#include "TestSupport.h"
#include "TestText.h"
#include "core/text/ByteString.h"
#include "crypto/bigint/BigInteger.h"
#include "crypto/bigint/LimbMath.h"

namespace tornell {
namespace {

BigInteger Hex(const std::string& s) {
  bool neg = !s.empty() && s[0] == '-';
  std::string digits = neg ? s.substr(1) : s;
  return BigInteger(digits.c_str(), int(digits.size()), 16, neg ? -1 : 1);
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t bar = line.find('|', start);
    out.push_back(line.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) return out;
    start = bar + 1;
  }
}

std::vector<std::vector<std::string>> LoadCases() {
  std::vector<std::vector<std::string>> cases;
  // Beside this file, found through the source folder: with a compiler cache
  // __FILE__ can be a path relative to the build folder.
  std::string script = (testsupport::SourceDir() / "tests/netlib/crypto/bigint/oracle.py").string();
  bool ok = false;
  const std::string out = testsupport::RunCommand("/usr/bin/python3 '" + script + "'", ok);
  if (!ok) return cases;
  for (const std::string& line : testsupport::Lines(out)) cases.push_back(Split(line));
  return cases;
}

std::string ToHexBytes(const ByteString& s) { return testsupport::Hex(s.Data(), static_cast<size_t>(s.Length())); }

// Returns an empty string when the case holds, else what went wrong.
std::string Check(const std::vector<std::string>& f) {
  const std::string& op = f[0];
  BigInteger a = Hex(f[1]);
  auto expect = [&](const BigInteger& got, const std::string& want) -> std::string {
    std::string g = got.ToText(16);
    return g == want ? "" : "got " + g;
  };
  if (op == "add") return expect(a.Add(Hex(f[2])), f[3]);
  if (op == "sub") return expect(a.Subtract(Hex(f[2])), f[3]);
  if (op == "mul") {
    BigInteger b = Hex(f[2]);
    std::string r = expect(a.Multiply(b), f[3]);
    if (r.empty()) r = expect(a.Square(), a.Multiply(BigInteger(a)).ToText(16));
    return r;
  }
  if (op == "divrem") {
    BigInteger rem;
    BigInteger q = a.DivideAndRemainder(Hex(f[2]), rem);
    std::string r = expect(q, f[3]);
    if (r.empty()) r = expect(rem, f[4]);
    if (r.empty()) r = expect(a.Divide(Hex(f[2])), f[3]);
    if (r.empty()) r = expect(a.Remainder(Hex(f[2])), f[4]);
    return r;
  }
  if (op == "mod") {
    BigInteger r;
    if (a.Mod(Hex(f[2]), r) != 0) return "error";
    return expect(r, f[3]);
  }
  if (op == "shl") return expect(a.ShiftLeft(std::stoi(f[2])), f[3]);
  if (op == "shr") return expect(a.ShiftRight(std::stoi(f[2])), f[3]);
  if (op == "bytes") {
    ByteString s;
    if (a.ToByteString(s) != 0) return "ToByteString failed";
    if (ToHexBytes(s) != f[2]) return "bytes " + ToHexBytes(s);
    BigInteger back(reinterpret_cast<const uint8_t*>(s.Data()), s.Length());
    if (!back.Equals(a)) return "round trip " + back.ToText(16);
    // Sign-extended into a wider buffer reads back the same.
    std::vector<uint8_t> wide(size_t(s.Length()) + 9);
    a.ToBytes(wide.data(), int(wide.size()));
    if (!BigInteger(wide.data(), int(wide.size())).Equals(a)) return "wide round trip";
    return "";
  }
  if (op == "bits") {
    if (std::to_string(a.BitLength()) != f[2]) return "BitLength " + std::to_string(a.BitLength());
    if (std::to_string(a.LowestSetBit()) != f[3]) return "LowestSetBit " + std::to_string(a.LowestSetBit());
    if (std::to_string(uint64_t(a.LongValue())) != f[4]) return "LongValue";
    return "";
  }
  if (op == "getint") {
    int n = std::stoi(f[2]);
    if (std::to_string(a.GetInt(n)) != f[3]) return "GetInt " + std::to_string(a.GetInt(n));
    for (int bit = 32 * n; bit < 32 * n + 32; ++bit) {
      if (a.TestBit(bit) != (((a.GetInt(n) >> (bit % 32)) & 1) != 0)) return "TestBit";
    }
    return "";
  }
  if (op == "text") {
    int radix = std::stoi(f[2]);
    std::string got = a.ToText(radix);
    if (radix == 16) {
      if (got != f[1]) return "hex " + got;
    } else if (got != f[3]) {
      return "text " + got;
    }
    bool neg = f[3][0] == '-';
    std::string digits = neg ? f[3].substr(1) : f[3];
    BigInteger back(digits.c_str(), int(digits.size()), radix, neg ? -1 : 1);
    return back.Equals(a) ? "" : "parse " + back.ToText(16);
  }
  if (op == "modinv") {
    BigInteger r;
    int rc = a.ModInverse(Hex(f[2]), r);
    if (f[3] == "none") return rc == 2002 ? "" : "rc " + std::to_string(rc);
    if (rc != 0) return "rc " + std::to_string(rc);
    return expect(r, f[3]);
  }
  if (op == "modpow" || op == "modpowbin") {
    BigInteger r;
    int rc = op == "modpow" ? a.ModPow(Hex(f[2]), Hex(f[3]), r) : a.ModPowBinary(Hex(f[2]), Hex(f[3]), r);
    if (f[4] == "none") return rc == 2002 ? "" : "rc " + std::to_string(rc);
    if (rc != 0) return "rc " + std::to_string(rc);
    return expect(r, f[4]);
  }
  if (op == "pow") {
    BigInteger r;
    if (a.Pow(std::stoi(f[2]), r) != 0) return "error";
    return expect(r, f[3]);
  }
  return "unknown op";
}

void AgreesWithPython() {
  std::vector<std::vector<std::string>> cases = LoadCases();
  ASSERT_GT(cases.size(), 3000u) << "python3 oracle did not run";
  int failures = 0;
  for (const auto& f : cases) {
    std::string why = Check(f);
    if (!why.empty() && ++failures <= 10) {
      std::string shown;
      for (const auto& x : f) shown += x.substr(0, 80) + "|";
      ADD_FAILURE() << shown << " -> " << why.substr(0, 200);
    }
  }
  EXPECT_EQ(failures, 0);
}

TEST(BigIntegerOracle, PortableKernel) {
  USE_PROCESSOR_PATH_OR_SKIP(testsupport::kPortablePath);
  AgreesWithPython();
}

TEST(BigIntegerOracle, CarrylessKernel) {
  USE_PROCESSOR_PATH_OR_SKIP(cpu::path::kMulxAdx);
  AgreesWithPython();
}

}  // namespace
}  // namespace tornell
