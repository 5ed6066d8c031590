#include "compared_tree.hpp"

#include <gtest/gtest.h>

#include <windows.h>

void Make_Tree_Of_Last_Month(const Temporary_Tree& tree) {
    tree.Make_File(L"root\\grows.txt", 100);
    tree.Make_File(L"root\\shrinks.txt", 500);
    tree.Make_File(L"root\\sub\\goes.bin", 30);
    tree.Make_File(L"root\\sub\\stays.bin", 40);
    tree.Make_File(L"root\\old\\inside.bin", 9);
}

void Change_Tree_Since_Last_Month(const Temporary_Tree& tree) {
    tree.Make_File(L"root\\grows.txt", 1100);
    tree.Make_File(L"root\\shrinks.txt", 200);
    tree.Make_File(L"root\\sub\\new.bin", 5);
    ASSERT_TRUE(DeleteFileW(tree.Path_Of(L"root\\sub\\goes.bin").c_str()));
    ASSERT_TRUE(DeleteFileW(tree.Path_Of(L"root\\old\\inside.bin").c_str()));
    ASSERT_TRUE(RemoveDirectoryW(tree.Path_Of(L"root\\old").c_str()));
}
