#pragma once
// The one type for key material: keys, private scalars, passwords, premaster
// and master secrets. It is a ByteString in every way but one: it wipes each
// byte it gives back (clear, growth, shrink, destruction), whatever the
// process-wide ZeroMemory setting says. Moving it into a plain ByteString
// hands the block over, and the plain string does not wipe: keep secrets in
// SecretBytes end to end.
#include <utility>

#include "core/text/ByteString.h"

namespace tornell {

class SecretBytes : public ByteString {
 public:
  SecretBytes() { MarkSecret(); }
  SecretBytes(SecretBytes&& other) noexcept : ByteString(std::move(other)) { MarkSecret(); }
  SecretBytes& operator=(SecretBytes&& other) noexcept {
    ByteString::operator=(std::move(other));
    return *this;
  }
};

}  // namespace tornell
