// The demonstration server's dates: the bundled articles' form read and written back, and
// numbers out of range or out of form refused rather than wrapped into some other date.
#include <gtest/gtest.h>

#include <string>

#include "DemoArticles.h"

TEST(DemoArticles, DatesReadAndWriteBack)
{
	time_t when = 0;
	long offset = 0;
	ASSERT_TRUE(DemoArticles::DateParse("Sat, 05 Dec 2026 10:00:00 +0100", when, offset));
	EXPECT_EQ(when, 1796461200);
	EXPECT_EQ(offset, 3600);
	EXPECT_EQ(DemoArticles::DateText(when, offset), "Sat, 05 Dec 2026 10:00:00 +0100");
	ASSERT_TRUE(DemoArticles::DateParse("  5 Dec 2026 10:00:00 -0930 (NST)", when, offset));
	EXPECT_EQ(offset, -(9 * 3600 + 30 * 60));
	EXPECT_EQ(DemoArticles::DateText(when, offset), "Sat, 05 Dec 2026 10:00:00 -0930");

	for (const char* bad : {
			 "Sat, 4294967301 Dec 2026 10:00:00 +0000",  // wraps to day 5 when read as an int
			 "Sat, 05 Dec 4294969322 10:00:00 +0000",  // wraps to the year 2026
			 "Sat, 05 Dec 2026 -1:00:00 +0000",
			 "Sat, 05 Dec 2026 +1:00:00 +0000",
			 "Sat, 05 Dec 2026 10: 0: 0 +0000",
			 "Sat, 05 December 2026 10:00:00 +0000",
			 "Sat, 05 Dec 2026 10:00:00 +01",
			 "Sat, 05 Dec 2026 10:00:00 +01x0",
			 "Sat, 05 Dec 2026 10:00:00",
			 "Sat, 32 Dec 2026 10:00:00 +0000",
			 "Sat, 05 Dec 1969 10:00:00 +0000",
			 "Sat, 05 Dec 2026 24:00:00 +0000",
			 "",
		 })
		EXPECT_FALSE(DemoArticles::DateParse(bad, when, offset)) << bad;
}
