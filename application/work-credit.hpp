#pragma once
// Whose the shown bytes are. A shown folder's size already holds everything below it, so
// where shown records lie inside a shown folder, adding every row would count their bytes
// twice or more. Each byte is credited once, to the innermost shown record that holds it:
// a record takes its own size less what shown records inside it have taken. The Accounts
// page, the totals line, the reports and a comparison's change per owner all total these
// credits.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "work-compare.hpp"
#include "work-walk.hpp"

namespace Work::Credit {

// A usage split by the last access of what holds it: within a month, one to twelve months,
// one to three years, and older (or never told), titled as the Accounts page and the
// reports title them.
inline constexpr std::size_t Age_Band_Count = 4;
inline constexpr const char* Age_Band_Titles[Age_Band_Count] = {"Used < 1 month", "1-12 months", "1-3 years",
                                                                "Older"};
using Usage_By_Age = std::array<File_Size, Age_Band_Count>;

// The band of a last access, against the time the bands were made at.
class Age_Bands {
public:
    explicit Age_Bands(const File_Time& the_time_now);
    std::size_t Of(const File_Time& the_last_access) const;

private:
    std::array<std::uint64_t, Age_Band_Count - 1> since_;  // each band's earliest access
};

struct Owner_Total {
    Windows::Files::Owner Owner = nullptr;
    std::int64_t Files = 0;   // shown rows of objects that are there now
    File_Size Usage{};
    std::int64_t Change = 0;  // usage now minus usage then, over the same rows
    Usage_By_Age By_Age{};    // the usage again, by last access: its parts sum to it
};

struct Totals {
    std::vector<Owner_Total> Owners;  // the known owners, in order of first appearance
    File_Size Size{};                 // of every row, owned or not, as counted
    File_Size Size_On_Disk{};         // the same of the sizes on disk, of rows there now
};

// A shown folder by the text of its parent and its name, as its record holds them: no path
// is put together, which for a deep tree would cost the square of its depth.
struct Folder_Key {
    std::wstring_view Parent;
    std::wstring_view Name;
    bool operator==(const Folder_Key&) const = default;
};
struct Folder_Key_Hash {
    std::size_t operator()(const Folder_Key& the_key) const;
};

// The shown rows, added one by one, then totalled once. Each row is credited its whole
// size as it comes; once all are there, each shown folder gives back what shown rows
// inside it took. That second step reads only what the ledger kept, not the records,
// which lie all over memory.
class Ledger {
public:
    // Without nesting (subfolders or folders not shown) no shown record lies inside
    // another, and nothing is kept for the second step. Sizes are counted on disk when
    // asked, as the selection says.
    explicit Ledger(bool rows_can_nest = true, bool counts_on_disk = false);

    // A shown row, with its change when compared with an older scan; a gone row counts in
    // the changes alone.
    void Add(const File_Information& the_row, const Compare::Change* the_change = nullptr);
    Totals Close();

private:
    // A row's counted size now and then: none now for a gone object, none then for a new one.
    struct Sizes {
        std::uint64_t Now;
        std::uint64_t Then;
        std::uint64_t On_Disk;  // now
    };
    struct Held {
        std::wstring_view Folder;  // the row's
        Sizes Size;
    };
    struct Shown_Folder {
        Windows::Files::Owner Owner_Now;
        Windows::Files::Owner Owner_Then;
        std::size_t Age_Band;
        Sizes Size;
        Sizes Taken{};  // by shown rows inside it
    };
    static Sizes Sum_Of(const Sizes& one, const Sizes& other);
    void Hold(std::wstring_view the_folder, Sizes the_size);
    Owner_Total* Total_Of(Windows::Files::Owner the_owner);
    std::optional<std::size_t> Holder_Of(std::wstring_view the_folder);
    std::optional<std::size_t> Innermost(std::wstring_view the_folder);
    void Give_Back(const Shown_Folder& the_folder);

    bool rows_can_nest_;
    bool counts_on_disk_;
    Age_Bands age_bands_;
    Totals totals_;
    std::unordered_map<Windows::Files::Owner, std::size_t> owner_places_;
    Windows::Files::Owner last_owner_ = nullptr;
    std::size_t last_place_ = 0;
    // For the second step: the rows' folders and sizes, and the shown folders.
    std::vector<Held> held_;
    std::vector<Shown_Folder> folders_;
    std::unordered_map<Folder_Key, std::size_t, Folder_Key_Hash> folder_places_;
    // The innermost shown folder above a folder's text, answered once for each: the texts
    // are the records', which outlive the ledger.
    std::unordered_map<std::wstring_view, std::optional<std::size_t>> answered_;
    const wchar_t* last_text_ = nullptr;
    std::size_t last_size_ = ~std::size_t{0};
    std::optional<std::size_t> last_holder_;
};

}  // namespace Work::Credit
