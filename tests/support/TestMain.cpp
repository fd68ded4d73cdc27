// Test entry point: every test program runs with its own private per-user folders so that
// the preferences and data of the person running the tests are never touched.
#include <gtest/gtest.h>

#include "TestSupport.h"

int main(int argc, char** argv)
{
	testing::InitGoogleTest(&argc, argv);
	TestSupport::IsolateUserFolders();
	return RUN_ALL_TESTS();
}
