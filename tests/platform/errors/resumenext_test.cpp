#include "platform/errors/resumenext.h"

#include <gtest/gtest.h>

using platform::ResumeNext;
using platform::RuntimeError;

TEST(ResumeNext, KeepsTheNumberOfTheFailingStepAndGoesOn) {
    ResumeNext err;
    int reached = 0;
    EXPECT_FALSE(err.step([] { throw RuntimeError(76); }));
    EXPECT_TRUE(err.step([&] { ++reached; }));
    EXPECT_EQ(reached, 1);
    EXPECT_EQ(err.number(), 76) << "a later step that succeeds does not clear the failure";
    err.clear();
    EXPECT_EQ(err.number(), 0);
}

TEST(ResumeNext, MapsForeignFailuresToNumbers) {
    ResumeNext err;
    err.step([] { throw std::bad_alloc(); });
    EXPECT_EQ(err.number(), platform::ErrOutOfMemory);
    err.step([] { throw std::logic_error("x"); });
    EXPECT_EQ(err.number(), platform::ErrInternal);
}

TEST(RuntimeError, CarriesNumberAndStandardDescription) {
    const RuntimeError e(481);
    EXPECT_EQ(e.number(), 481);
    EXPECT_EQ(e.description(), QStringLiteral("Invalid picture"));
}
