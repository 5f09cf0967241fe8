#pragma once
// The X25519 ladder over GF(2^255 - 19) in four 64-bit limbs, with MULX, ADCX
// and ADOX for the products: callable only where the processor has them
// (cpu::path::kMulxAdx). Same inputs and output bytes as the five-limb ladder.
namespace tornell {

// out = X25519(k, u) for an already clamped scalar k; u's top bit is ignored.
void X25519LadderMulx(const unsigned char* k, const unsigned char* u, unsigned char* out);

}  // namespace tornell
