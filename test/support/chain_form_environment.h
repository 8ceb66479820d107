// ctest runs the identity tests and the end-to-end set-ups once per form of
// the exact test's chain, naming it in KORVEL_CHAIN_FORM; a form this
// processor does not run skips every test of the program instead of
// failing it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/exact_chain.h"

namespace korvel::testing {

class CHAIN_FORM_ENVIRONMENT : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* form = std::getenv(exact_chain::CHAIN_FORM_VARIABLE);
    if (form != nullptr && exact_chain::RUNNABLE_CHAIN_FORM(form) == nullptr)
      GTEST_SKIP() << "this processor does not run the chain form \"" << form << "\"";
  }
};

// Registered once per test program, whichever of its files include this.
inline ::testing::Environment* const CHAIN_FORM_CHECK =
    ::testing::AddGlobalTestEnvironment(new CHAIN_FORM_ENVIRONMENT);

}  // namespace korvel::testing
