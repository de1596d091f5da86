#include <gtest/gtest.h>
#include <unistd.h>

TEST(Binary, IsBuilt) { EXPECT_EQ(access(PLOTVEIL_BINARY, X_OK), 0); }
