#pragma once
// A certificate manager that takes store bytes for the tests: the socket
// core's own setter keeps nothing, so the seam holds them.
#include <gtest/gtest.h>

#include <string>

#include "pki/store/CertificateManager.h"

class StoreSeam : public tornell::pki::CertificateManager {
 public:
  ~StoreSeam() override { storeBytes_ = nullptr; }
  void PutStore(int type, const std::string& bytes, const char* password = nullptr) {
    held_ = bytes;
    storeBytes_ = held_.data();
    storeLength_ = static_cast<int>(held_.size());
    SetSslCertStoreType(type);
    if (password != nullptr) {
      EXPECT_EQ(SetStorePassword(password), 0);
    }
  }

 private:
  std::string held_;
};
