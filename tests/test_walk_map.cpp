// The map's layout as a pure function, checked against what any treemap must satisfy
// rather than against the algorithm: tiles nested in their parents, siblings apart, areas
// in proportion to sizes, nothing for nothing, the same picture for the same tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "work-map.hpp"

using namespace Work::Map;

namespace {

struct Random_Tree {
    std::vector<std::uint64_t> Sizes;
    std::vector<std::uint32_t> Parents;
};

// Folders among the first nodes, files after; some sizes zero, some huge, some equal.
Random_Tree Random_Tree_Of(unsigned seed, std::uint32_t count) {
    std::mt19937 random(seed);
    Random_Tree tree{{0}, {0}};
    const std::uint32_t folders = count / 8 + 1;
    for (std::uint32_t node = 1; node < count; ++node) {
        const std::uint32_t parent = node < folders ? random() % node : random() % folders;
        std::uint64_t size = 0;
        if (node >= folders) {
            const unsigned kind = random() % 10;
            size = kind == 0 ? 0 : kind == 1 ? 4096 : kind == 2 ? (std::uint64_t{1} << 33) : random() % 100000;
        }
        tree.Sizes.push_back(size);
        tree.Parents.push_back(parent);
    }
    return tree;
}

bool Is_Inside(const Box& inner, const Box& outer) {
    return inner.Left >= outer.Left && inner.Top >= outer.Top && inner.Right <= outer.Right &&
           inner.Bottom <= outer.Bottom;
}

// Each tile in its parent's, and no pixel in two tiles of one depth.
void Expect_Nested_Without_Overlaps(const Tree& tree, const std::vector<Tile>& tiles, const Box& area) {
    std::map<std::uint32_t, Box> placed;  // by node; merged tiles belong to their parent
    const int width = area.Right - area.Left;
    std::map<int, std::vector<std::uint8_t>> coverage;
    for (const Tile& tile : tiles) {
        ASSERT_GT(tile.Area.Area(), 0);
        ASSERT_TRUE(Is_Inside(tile.Area, area));
        if (tile.Is_Merged) {
            ASSERT_TRUE(placed.count(tile.Node)) << "a merged tile after its parent's";
            EXPECT_TRUE(Is_Inside(tile.Area, placed[tile.Node]));
        } else if (tile.Node != 0) {
            const std::uint32_t parent = tree.Nodes[tile.Node].Parent;
            ASSERT_TRUE(placed.count(parent)) << "a parent's tile before its children's";
            EXPECT_TRUE(Is_Inside(tile.Area, placed[parent]));
            EXPECT_FALSE(placed.count(tile.Node)) << "one tile a node";
            placed[tile.Node] = tile.Area;
        } else {
            placed[0] = tile.Area;
        }
        std::vector<std::uint8_t>& pixels = coverage[tile.Depth];
        pixels.resize(static_cast<std::size_t>(area.Area()));
        for (int y = tile.Area.Top; y < tile.Area.Bottom; ++y)
            for (int x = tile.Area.Left; x < tile.Area.Right; ++x)
                ASSERT_EQ(pixels[(y - area.Top) * width + (x - area.Left)]++, 0)
                    << "pixel " << x << "," << y << " twice at depth " << tile.Depth;
    }
}

}  // namespace

TEST(Map_Layout, RandomTreesNestWithoutOverlapsAndGiveNothingForNothing) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        const Random_Tree random_tree = Random_Tree_Of(seed, 40 + seed * 37);
        const Tree tree = Tree_Of(random_tree.Sizes, random_tree.Parents);
        const Box area{3, 5, 3 + 120 + int(seed) * 13, 5 + 90 + int(seed) * 7};
        const std::vector<Tile> tiles = Layout(tree, area);
        SCOPED_TRACE(seed);
        Expect_Nested_Without_Overlaps(tree, tiles, area);
        for (const Tile& tile : tiles)
            if (!tile.Is_Merged) {
                EXPECT_GT(tree.Nodes[tile.Node].Size, 0u) << "a size of 0 takes no area";
            }
        EXPECT_EQ(Layout(tree, area).size(), tiles.size());
        EXPECT_TRUE(std::equal(tiles.begin(), tiles.end(), Layout(tree, area).begin(), [](const Tile& a, const Tile& b) {
            return a.Node == b.Node && a.Area == b.Area;
        })) << "the same tree gives the same picture";
    }
    EXPECT_TRUE(Layout(Tree_Of(std::vector<std::uint64_t>{0, 0, 0}, std::vector<std::uint32_t>{0, 0, 0}),
                       {0, 0, 100, 100})
                    .empty());
}

// Every tile's area is its share of the whole within what rounding its four edges to
// pixels can move (half a pixel each: its width plus its height, and one); a folder's box holds its children's areas and the part no shown
// child accounts for.
TEST(Map_Layout, AreasAreInProportionToSizesAtEveryLevel) {
    // Root: a folder (with 300 bytes of children and 100 unshown) and files of many sizes.
    std::vector<std::uint64_t> sizes{0, 400, 100, 200, 1000, 1, 50, 50, 50, 700, 3, 999};
    std::vector<std::uint32_t> parents{0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0};
    const Tree tree = Tree_Of(sizes, parents);
    ASSERT_EQ(tree.Nodes[0].Size, 400u + 1000 + 1 + 150 + 700 + 3 + 999);
    const Box area{0, 0, 640, 400};
    const std::vector<Tile> tiles = Layout(tree, area);
    Expect_Nested_Without_Overlaps(tree, tiles, area);
    double covered_by_root_children = 0;
    for (const Tile& tile : tiles) {
        if (tile.Is_Merged || tile.Node == 0) continue;
        const double expected = double(area.Area()) * tree.Nodes[tile.Node].Size / tree.Nodes[0].Size;
        const double rounding = tile.Area.Right - tile.Area.Left + tile.Area.Bottom - tile.Area.Top + 1;
        EXPECT_NEAR(double(tile.Area.Area()), expected, rounding) << "node " << tile.Node;
        if (tile.Depth == 1) covered_by_root_children += tile.Area.Area();
    }
    EXPECT_EQ(covered_by_root_children, double(area.Area())) << "the root's children fill it";
}

TEST(Map_Layout, EqualSizesKeepTheTreesOrder) {
    const Tree tree = Tree_Of(std::vector<std::uint64_t>{0, 5, 5, 5, 5}, std::vector<std::uint32_t>{0, 0, 0, 0, 0});
    const std::vector<Tile> tiles = Layout(tree, {0, 0, 200, 200});
    ASSERT_EQ(tiles.size(), 5u);
    for (std::uint32_t node = 1; node <= 4; ++node) {
        EXPECT_EQ(tiles[node].Node, node);
        EXPECT_EQ(tiles[node].Area.Area(), 100 * 100) << "four equal squares";
    }
    EXPECT_EQ(tiles[1].Area.Left, 0);
    EXPECT_EQ(tiles[1].Area.Top, 0);
}

// A folder of a million files of one byte beside one file as large as all of them: the
// large file takes half the map, the million share the other half in few tiles.
TEST(Map_Layout, AMillionTinyFilesAreMergedNotDrawnOneByOne) {
    constexpr std::uint32_t Tiny = 1'000'000;
    std::vector<std::uint64_t> sizes{0, Tiny, 0};
    std::vector<std::uint32_t> parents{0, 0, 0};
    sizes.resize(3 + Tiny, 1);
    parents.resize(3 + Tiny, 2);
    const Tree tree = Tree_Of(sizes, parents);
    const Box area{0, 0, 300, 200};
    const std::vector<Tile> tiles = Layout(tree, area);
    EXPECT_LT(tiles.size(), 2u * area.Area());
    Expect_Nested_Without_Overlaps(tree, tiles, area);
    const Tile* large = Tile_At(tiles, 10, 10);
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(large->Node, 1u);
    EXPECT_NEAR(double(large->Area.Area()), area.Area() / 2.0, 300);
    const auto merged = std::count_if(tiles.begin(), tiles.end(), [](const Tile& tile) { return tile.Is_Merged; });
    EXPECT_EQ(merged, 1);
}

// Records as a walk leaves them, shown below a folder with some of their folders' own
// records hidden: files are grouped under the folders that hold them all the same.
TEST(Map_Tree, RecordsAreGroupedByTheirFolders) {
    auto record = [](const wchar_t* folder, const wchar_t* name, std::uint64_t size, bool is_folder) {
        Work::File_Information file;
        file.Folder_Name = Wide_Text::Shared(folder);
        file.File_Name = Wide_Text::Shared(name);
        file.Object_Size = Work::File_Size::From(size);
        file.Is_Folder = is_folder;
        return file;
    };
    const std::vector<Work::File_Information> records{
        record(L"\\top\\a", L"one", 10, false),  record(L"\\top\\a\\deep", L"two", 20, false),
        record(L"\\top\\a", L"deep", 20, true),  record(L"\\top", L"a", 90, true),
        record(L"\\top", L"three", 5, false),    record(L"\\top\\b", L"four", 7, false)};
    std::vector<const Work::File_Information*> shown;
    for (const Work::File_Information& file : records) shown.push_back(&file);
    const Tree tree = Tree_Of(shown, L"\\top");

    ASSERT_EQ(tree.Nodes[0].Child_Count, 3u) << "a, three, and b without a record";
    std::map<std::wstring, const Node*> folders;
    for (const Node& node : tree.Nodes)
        if (node.Is_Folder()) folders[node.Folder.String()] = &node;
    ASSERT_TRUE(folders.count(L"\\top\\a") && folders.count(L"\\top\\b") && folders.count(L"\\top\\a\\deep"));
    EXPECT_EQ(folders[L"\\top\\a"]->Record, &records[3]);
    EXPECT_EQ(folders[L"\\top\\a"]->Size, 90u) << "its own size: 60 bytes in it are not shown";
    EXPECT_EQ(folders[L"\\top\\b"]->Record, nullptr);
    EXPECT_EQ(folders[L"\\top\\b"]->Size, 7u) << "a folder without a record holds what is shown";
    EXPECT_EQ(folders[L"\\top\\a\\deep"]->Child_Count, 1u);
    EXPECT_EQ(tree.Nodes[0].Size, 90u + 5 + 7);
}
