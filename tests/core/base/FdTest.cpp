#include "Fd.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

using namespace vellumkite;

// A pipe end a spawned program inherits keeps the other side from ever seeing the end of input.
TEST(FdTest, PipeEndsCloseOnExecAndBlockOnlyWhenAsked) {
    for (const bool nonBlocking : {false, true}) {
        int ends[2];
        ASSERT_TRUE(Fd::makePipe(ends, nonBlocking));
        for (const int end : ends) {
            EXPECT_TRUE(::fcntl(end, F_GETFD) & FD_CLOEXEC);
            EXPECT_EQ((::fcntl(end, F_GETFL) & O_NONBLOCK) != 0, nonBlocking);
        }
        ASSERT_TRUE(Fd::writeAll(ends[1], "through"));
        char buffer[16] = {};
        EXPECT_EQ(::read(ends[0], buffer, sizeof buffer), 7);
        EXPECT_EQ(std::string(buffer), "through");
        ::close(ends[0]);
        ::close(ends[1]);
    }
    EXPECT_FALSE(Fd::setCloseOnExec(-1));
}
