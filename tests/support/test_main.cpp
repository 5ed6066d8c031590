// Runs the program's start-up sequence for the platform packages before any test.
#include <gtest/gtest.h>

#include "work-platform.hpp"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    Work::Start_Platform();
    return RUN_ALL_TESTS();
}
