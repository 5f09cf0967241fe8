#pragma once
// The suites the engine negotiates, in the client's order of preference. One
// registry per process, built on first use and only read afterwards.
#include "tls/suites/CipherSuite.h"

namespace tornell {

// The parameters of one registry suite.
struct SuiteParameters {
  int code;
  const char* name;
  int keyExchangeKind;
  const char* cipherName;
  int keyBits;
  int macHash;
  int prfHash;
  int minVersion;
};

class CipherSuiteRegistry {
 public:
  static int Count();
  // Entry i, 0 <= i < Count().
  static const CipherSuite* Get(int i);
  // The table row of a registry code, or null.
  static const SuiteParameters* ParametersOf(int code);
  // Row i of the table, 0 <= i < Count(), in the order of Get.
  static const SuiteParameters& Row(int i);
  // The index of a registry code, or -1. Searches the table, not the suites:
  // the rows are small and the suites are not.
  static int IndexOf(int code);
};

}  // namespace tornell
