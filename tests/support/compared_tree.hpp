#pragma once
// The tree the comparison tests scan twice, a month apart, below "root".

#include "temporary_tree.hpp"

// Files that will grow, shrink, go and stay, and a folder that will go.
void Make_Tree_Of_Last_Month(const Temporary_Tree& tree);
// A month later: one file grew, one shrank, one is new, one has gone, and so has a folder.
void Change_Tree_Since_Last_Month(const Temporary_Tree& tree);
