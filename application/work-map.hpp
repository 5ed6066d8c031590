#pragma once
// The map of where the space goes: the shown records as a tree of folders, and its
// squarified treemap layout. Nothing here draws or knows of a window, so the layout of a
// million records can run on any thread.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "work-walk.hpp"

namespace Work::Map {

constexpr std::uint32_t No_Node = UINT32_MAX;

// One rectangle's worth of the map: a shown record, or a folder that only holds shown
// records. Its children are the nodes Children[First_Child .. First_Child + Child_Count).
struct Node {
    std::uint64_t Size = 0;  // a folder's is its record's size, or more when its children say so
    const File_Information* Record = nullptr;  // none for the root and for folders not shown
    Wide_Text::Shared Folder;  // a folder's path below the root, as Folder_Name has it
    std::uint32_t Parent = No_Node;
    std::uint32_t First_Child = 0;
    std::uint32_t Child_Count = 0;
    bool Is_Folder() const { return Child_Count > 0 || !Folder.empty(); }
};

// Node 0 is the shown folder itself.
struct Tree {
    std::vector<Node> Nodes;
    std::vector<std::uint32_t> Children;
    std::span<const std::uint32_t> Children_Of(std::uint32_t node) const {
        return {Children.data() + Nodes[node].First_Child, Nodes[node].Child_Count};
    }
};

// The records, all below the shown folder (in Folder_Name's form), grouped by their
// folders: a folder's own record, when shown, becomes its folder's node. An object met
// before under another name takes no room: its size is counted where it was first met.
// Areas follow the sizes on disk when asked.
Tree Tree_Of(std::span<const File_Information* const> records, const std::wstring& shown_folder,
             bool on_disk = false);

// A tree built directly, for tests and benchmarks: sizes[i] is node i's size and parents[i]
// its parent (node 0 the root, parents given before their children).
Tree Tree_Of(std::span<const std::uint64_t> sizes, std::span<const std::uint32_t> parents);

struct Box {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    long long Area() const { return static_cast<long long>(Right - Left) * (Bottom - Top); }
    bool Holds(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
    bool operator==(const Box&) const = default;
};

struct Tile {
    Box Area;
    std::uint32_t Node = 0;
    std::uint16_t Depth = 0;  // the root's children are at 1
    // The node's children too small for a pixel each, drawn as one rectangle.
    bool Is_Merged = false;
};

// The squarified layout of the tree in the area: every node of non-zero size gets a tile in
// proportion to its size inside its parent's, parents before their children. Children whose
// share falls below a pixel are merged into one tile of their parent, so that the tiles
// stay fewer than twice the pixels whatever the number of records. Equal sizes keep the
// order of the tree.
std::vector<Tile> Layout(const Tree& tree, const Box& area);

// The innermost tile holding the point, or null.
const Tile* Tile_At(std::span<const Tile> tiles, int x, int y);

}  // namespace Work::Map
