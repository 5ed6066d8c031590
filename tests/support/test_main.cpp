// Runs the program's start-up sequence for the platform packages before any test.
#include <gtest/gtest.h>

#include "start_up.hpp"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    Start_Up::Platform();
    return RUN_ALL_TESTS();
}
