#include <gtest/gtest.h>

#include "system.h"

TEST(ToString, DecimalText)
{
    EXPECT_EQ(to_string(0), "0");
    EXPECT_EQ(to_string(-42), "-42");
    EXPECT_EQ(to_string(2147483647), "2147483647");
}
