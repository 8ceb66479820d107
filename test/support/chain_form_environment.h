// ctest runs the chain's tests once per form, named in KORVEL_CHAIN_FORM;
// where this processor does not run the form, every test skips.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/exact_chain.h"

namespace korvel::testing {

struct CHAIN_FORM_ENVIRONMENT : ::testing::Environment {
  void SetUp() override {
    const char* form = std::getenv(CHAIN_FORM_VARIABLE);
    if (form != nullptr && exact_chain::RUNNABLE_CHAIN_FORM(form) == nullptr)
      GTEST_SKIP() << "this processor does not run the chain form \"" << form << "\"";
  }
};
inline ::testing::Environment* const CHAIN_FORM_CHECK = ::testing::AddGlobalTestEnvironment(
    new CHAIN_FORM_ENVIRONMENT);

}  // namespace korvel::testing
