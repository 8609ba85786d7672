#include <gtest/gtest.h>

#include "app/version.h"

TEST(Version, ProductNameIsTheApplicationTitle) { EXPECT_STREQ(kestrine::kProductName, "Kestrine"); }
