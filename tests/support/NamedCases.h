// The scaffold of the table tests whose cases each carry a `name`: the suite runs one test a
// case, named after it, and a failing case is printed by its name.
//
//   struct ByteCase { const char* name; Bytes data; Codewords codewords; };
//   NAMED_CASES(ByteCompaction, ByteCase);
//   TEST_P(ByteCompaction, GivesTheCodewords) { const ByteCase& c = GetParam(); ... }
//   INSTANTIATE_NAMED_CASES(Encoder, ByteCompaction, ByteCase{"Length0", "", {924}}, ...);
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace test_support {

// The test name of a case: its `name`.
struct CaseName {
    template <class Case>
    std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
        return info.param.name;
    }
};

}  // namespace test_support

// The suite `Suite` over cases of type `Case`, and how a case prints. Used where `Case` is
// declared, so that gtest finds the printer.
#define NAMED_CASES(Suite, Case)                                         \
    [[maybe_unused]] void PrintTo(const Case& named, std::ostream* os) { \
        *os << named.name;                                               \
    }                                                                    \
    class Suite : public ::testing::TestWithParam<Case> {}

// One test of every case of `Suite` for the cases that follow, named `Prefix/Suite.Test/name`.
#define INSTANTIATE_NAMED_CASES(Prefix, Suite, ...)                         \
    INSTANTIATE_TEST_SUITE_P(Prefix, Suite, ::testing::Values(__VA_ARGS__), \
                             ::test_support::CaseName())
