// Every kind of problem the library reports has a sentence on the command line.
#include "cli/problem_messages.h"

#include <gtest/gtest.h>

namespace kelvora {
namespace {

class EveryProblemKind : public ::testing::TestWithParam<int> {};

TEST_P(EveryProblemKind, HasAnEnglishCliText) {
  const Problem problem(static_cast<ProblemKind>(GetParam()));
  EXPECT_FALSE(cli::ProblemText(problem).empty()) << "kind " << GetParam();
}

INSTANTIATE_TEST_SUITE_P(AllKinds, EveryProblemKind, ::testing::Range(0, kProblemKindCount));

class EverySignalFileErrorKind : public ::testing::TestWithParam<SignalFileErrorKind> {};

TEST_P(EverySignalFileErrorKind, HasAnEnglishCliText) {
  SignalFileError error;
  error.kind = GetParam();
  error.path = "x.txt";
  // More than "x.txt: ": the kind has words of its own.
  EXPECT_GT(cli::SignalFileErrorText(error).size(), std::string("x.txt: ").size());
}

INSTANTIATE_TEST_SUITE_P(AllKinds, EverySignalFileErrorKind,
                         ::testing::Values(SignalFileErrorKind::kMissingFile, SignalFileErrorKind::kCannotOpen,
                                           SignalFileErrorKind::kInvalidNumber, SignalFileErrorKind::kCannotWrite,
                                           SignalFileErrorKind::kInvalidValue));

}  // namespace
}  // namespace kelvora
