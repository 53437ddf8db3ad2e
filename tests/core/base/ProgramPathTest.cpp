#include "ProgramPath.hpp"

#include <gtest/gtest.h>

using namespace vellumkite;

// The files installed beside a program are found from here; a relative or unresolved path would
// point somewhere else once the working folder changes.
TEST(ProgramPathTest, IsThisTestProgramsOwnFile) {
    const auto self = ProgramPath::self();
    EXPECT_TRUE(self.is_absolute());
    EXPECT_EQ(self.filename(), "core_tests");
    EXPECT_TRUE(std::filesystem::is_regular_file(self));
    EXPECT_EQ(std::filesystem::canonical(self), self);
}
