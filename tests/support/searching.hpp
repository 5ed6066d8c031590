#pragma once
// In-process searches as the start button runs them, and what they recorded, for the tests
// of the walk; the application is started once for the whole test executable.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "walking.hpp"
#include "work.hpp"

namespace Searching {

// The name the application is started under in these tests.
std::string Test_Name();

class Application_Environment : public testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
};

// Searches as a pressed start button does: the search is wanted until it ends. With a
// thread count, the owners and streams are looked up by that many threads.
bool Search(const std::wstring& root);
bool Search(const std::wstring& root, int lookup_threads);

std::vector<Work::File_Information> Records();            // in the order of the walk
using Walking::Path_Of;

}  // namespace Searching
