#include "work-map.hpp"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace Work::Map {

namespace {

// Folders by their path, and by the block of the name their records share.
class Folder_Nodes {
public:
    Folder_Nodes(Tree& tree, const std::wstring& shown_folder) : tree_(tree), shown_(shown_folder) {
        tree_.Nodes.push_back({.Folder = Wide_Text::Shared(shown_folder)});
        by_path_.emplace(tree_.Nodes[0].Folder.View(), 0);
    }

    std::uint32_t Of(const Wide_Text::Shared& folder_name) {
        const void* block = folder_name.View().data();
        if (block == last_block_) return last_node_;
        last_block_ = block;
        return last_node_ = Of(folder_name.View());
    }

    // A folder no longer than the shown one can only be the shown one, or one that passed
    // the shown folder's prefix test without being inside it: both sit at the top. The
    // folders not met yet are found going up, and made going down again, however deep.
    std::uint32_t Of(std::wstring_view path) {
        unmet_.clear();
        std::uint32_t parent = 0;
        for (std::wstring_view folder = path; folder.size() > shown_.size(); folder = Parent_Folder_Of(folder)) {
            if (const auto found = by_path_.find(folder); found != by_path_.end()) {
                parent = found->second;
                break;
            }
            unmet_.push_back(folder.size());
        }
        for (auto length = unmet_.rbegin(); length != unmet_.rend(); ++length)
            parent = Made(path.substr(0, *length), parent);
        return parent;
    }

private:
    std::uint32_t Made(std::wstring_view path, std::uint32_t parent) {
        const auto node = static_cast<std::uint32_t>(tree_.Nodes.size());
        tree_.Nodes.push_back({.Folder = Wide_Text::Shared(path), .Parent = parent});
        by_path_.emplace(tree_.Nodes.back().Folder.View(), node);
        return node;
    }

    Tree& tree_;
    const std::wstring& shown_;
    std::unordered_map<std::wstring_view, std::uint32_t> by_path_;  // the nodes' own texts
    std::vector<std::size_t> unmet_;  // the lengths of the folders to make, deepest first
    const void* last_block_ = nullptr;
    std::uint32_t last_node_ = 0;
};

// Parents come before their children: sums run backwards, and the children of each node
// are listed in the order of the nodes.
void Link_Children(Tree& tree) {
    std::vector<Node>& nodes = tree.Nodes;
    std::vector<std::uint64_t> sums(nodes.size(), 0);
    for (std::size_t node = nodes.size(); node-- > 1;) {
        nodes[node].Size = std::max(nodes[node].Size, sums[node]);
        sums[nodes[node].Parent] += nodes[node].Size;
        ++nodes[nodes[node].Parent].Child_Count;
    }
    if (!nodes.empty()) nodes[0].Size = std::max(nodes[0].Size, sums[0]);
    std::uint32_t next = 0;
    for (Node& node : nodes) {
        node.First_Child = next;
        next += node.Child_Count;
        node.Child_Count = 0;
    }
    tree.Children.assign(next, 0);
    for (std::uint32_t node = 1; node < nodes.size(); ++node) {
        Node& parent = nodes[nodes[node].Parent];
        tree.Children[parent.First_Child + parent.Child_Count++] = node;
    }
}

struct Area {
    double Left, Top, Right, Bottom;
    double Width() const { return Right - Left; }
    double Height() const { return Bottom - Top; }
};

// What a node's rectangle is shared among: its children, the children too small to show
// merged into one, and the part of the folder no shown record accounts for, which stays
// empty.
struct Item {
    double Share;  // in pixels
    std::uint32_t Node;
    bool Is_Merged = false;
    bool Is_Empty = false;
};

constexpr double Smallest_Tile = 1.0;  // square pixels

class Squarified_Layout {
public:
    Squarified_Layout(const Tree& tree, std::vector<Tile>& tiles) : tree_(tree), tiles_(tiles) {}

    void Run(const Area& area) {
        pending_.push_back({area, 0, 0});
        while (!pending_.empty()) {
            const Pending next = pending_.back();
            pending_.pop_back();
            Place(next);
        }
    }

private:
    struct Pending {
        Area Place;
        std::uint32_t Node;
        std::uint16_t Depth;
    };

    static Box Rounded(const Area& area) {
        return {static_cast<int>(std::lround(area.Left)), static_cast<int>(std::lround(area.Top)),
                static_cast<int>(std::lround(area.Right)), static_cast<int>(std::lround(area.Bottom))};
    }

    void Place(const Pending& pending) {
        const Box box = Rounded(pending.Place);
        if (box.Area() <= 0) return;
        tiles_.push_back({box, pending.Node, pending.Depth, false});
        Items_Of(pending.Node, pending.Place.Width() * pending.Place.Height());
        const std::size_t first_child = pending_.size();
        Squarify(pending.Place, pending.Node, static_cast<std::uint16_t>(pending.Depth + 1));
        // Taken from the back: the first child is placed next, as a pre-order has it.
        std::reverse(pending_.begin() + static_cast<std::ptrdiff_t>(first_child), pending_.end());
    }

    // The children too small for a pixel are summed as they are met: only the others are
    // sorted, largest first, equal sizes in the tree's order.
    void Items_Of(std::uint32_t node, double pixels) {
        items_.clear();
        const Node& parent = tree_.Nodes[node];
        const double scale = pixels / static_cast<double>(parent.Size);
        std::uint64_t shown = 0;
        double merged = 0;
        for (std::uint32_t child : tree_.Children_Of(node)) {
            const std::uint64_t size = tree_.Nodes[child].Size;
            if (size == 0) continue;
            shown += size;
            const double share = static_cast<double>(size) * scale;
            if (share < Smallest_Tile) merged += share;
            else items_.push_back({share, child});
        }
        std::sort(items_.begin(), items_.end(), [](const Item& one, const Item& other) {
            return one.Share != other.Share ? one.Share > other.Share : one.Node < other.Node;
        });
        if (merged > 0) items_.push_back({merged, node, true});
        if (parent.Size > shown)
            items_.push_back({static_cast<double>(parent.Size - shown) * scale, node, false, true});
    }

    // Rows along the shorter side, each as long as keeps its rectangles closest to squares.
    void Squarify(Area free, std::uint32_t parent, std::uint16_t depth) {
        std::size_t first = 0;
        while (first < items_.size()) {
            const bool is_column = free.Width() >= free.Height();
            const double side = is_column ? free.Height() : free.Width();
            std::size_t end = first + 1;
            double row = items_[first].Share;
            while (end < items_.size() &&
                   Worst_Ratio(row + items_[end].Share, items_[end].Share, items_[first].Share, side) <=
                       Worst_Ratio(row, items_[end - 1].Share, items_[first].Share, side)) {
                row += items_[end].Share;
                ++end;
            }
            const bool is_last_row = end == items_.size();
            const double thickness = side > 0 ? row / side : 0;
            Area strip = free;
            if (is_column) {
                strip.Right = is_last_row ? free.Right : std::min(free.Right, free.Left + thickness);
                free.Left = strip.Right;
            } else {
                strip.Bottom = is_last_row ? free.Bottom : std::min(free.Bottom, free.Top + thickness);
                free.Top = strip.Bottom;
            }
            Lay_Row(strip, is_column, first, end, row, parent, depth);
            first = end;
        }
    }

    static double Worst_Ratio(double row, double smallest, double largest, double side) {
        if (row <= 0 || smallest <= 0 || side <= 0) return 1e300;
        const double squared_side = side * side;
        const double squared_row = row * row;
        return std::max(squared_side * largest / squared_row, squared_row / (squared_side * smallest));
    }

    void Lay_Row(const Area& strip, bool is_column, std::size_t first, std::size_t end, double row,
                 std::uint32_t parent, std::uint16_t depth) {
        double at = is_column ? strip.Top : strip.Left;
        const double length = is_column ? strip.Height() : strip.Width();
        for (std::size_t index = first; index < end; ++index) {
            const Item& item = items_[index];
            const double reach = index + 1 == end ? (is_column ? strip.Bottom : strip.Right)
                                                : at + (row > 0 ? length * item.Share / row : 0);
            const Area place = is_column ? Area{strip.Left, at, strip.Right, reach}
                                         : Area{at, strip.Top, reach, strip.Bottom};
            at = reach;
            if (item.Is_Empty) continue;
            if (item.Is_Merged) {
                const Box box = Rounded(place);
                if (box.Area() > 0) tiles_.push_back({box, parent, depth, true});
                continue;
            }
            pending_.push_back({place, item.Node, depth});
        }
    }

    const Tree& tree_;
    std::vector<Tile>& tiles_;
    std::vector<Pending> pending_;
    std::vector<Item> items_;
};

}  // namespace

Tree Tree_Of(std::span<const File_Information* const> records, const std::wstring& shown_folder, bool on_disk) {
    Tree tree;
    tree.Nodes.reserve(records.size() + 1);
    Folder_Nodes folders(tree, shown_folder);
    for (const File_Information* record : records) {
        if (record->Is_Folder) {
            const std::uint32_t node = folders.Of(std::wstring_view(record->Folder_Name + L'\\' + record->File_Name));
            if (node == 0) continue;
            tree.Nodes[node].Record = record;
            tree.Nodes[node].Size = Counted_Size_Of(*record, on_disk).Value();
            continue;
        }
        const std::uint32_t folder = folders.Of(record->Folder_Name);
        tree.Nodes.push_back({.Size = Counted_Size_Of(*record, on_disk).Value(), .Record = record, .Folder = {}, .Parent = folder});
    }
    Link_Children(tree);
    return tree;
}

Tree Tree_Of(std::span<const std::uint64_t> sizes, std::span<const std::uint32_t> parents) {
    Tree tree;
    tree.Nodes.resize(sizes.size());
    for (std::size_t node = 0; node < sizes.size(); ++node) {
        tree.Nodes[node].Size = sizes[node];
        tree.Nodes[node].Parent = node == 0 ? No_Node : parents[node];
    }
    Link_Children(tree);
    return tree;
}

std::vector<Tile> Layout(const Tree& tree, const Box& area) {
    std::vector<Tile> tiles;
    if (tree.Nodes.empty() || tree.Nodes[0].Size == 0 || area.Area() <= 0) return tiles;
    Squarified_Layout(tree, tiles).Run({static_cast<double>(area.Left), static_cast<double>(area.Top),
                                        static_cast<double>(area.Right), static_cast<double>(area.Bottom)});
    return tiles;
}

const Tile* Tile_At(std::span<const Tile> tiles, int x, int y) {
    // Parents come before their children and siblings do not overlap: the last tile that
    // holds the point is the innermost.
    for (auto tile = tiles.rbegin(); tile != tiles.rend(); ++tile)
        if (tile->Area.Holds(x, y)) return &*tile;
    return nullptr;
}

}  // namespace Work::Map
