#pragma once
// Whose the shown bytes are. A shown folder's size already holds everything below it, so
// where shown records lie inside a shown folder, adding every row would count their bytes
// twice or more. Each byte is credited once, to the innermost shown record that holds it:
// a record takes its own size less what shown records inside it have taken. The Accounts
// page, the totals line, the reports and a comparison's change per owner all total these
// credits.

#include <cstdint>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "work-compare.hpp"
#include "work-walk.hpp"

namespace Work::Credit {

struct Owner_Total {
    Windows::Files::Owner Owner = nullptr;
    std::int64_t Files = 0;   // shown rows of objects that are there now
    File_Size Usage{};
    std::int64_t Change = 0;  // usage now minus usage then, over the same rows
};

struct Totals {
    std::vector<Owner_Total> Owners;  // the known owners, in order of first appearance
    File_Size Size{};                 // of every row, owned or not
};

// The shown rows, added one by one, then totalled once.
class Ledger {
public:
    // Without nesting (subfolders or folders not shown) no shown record lies inside
    // another, and each row is credited its own size as it comes.
    explicit Ledger(bool rows_can_nest = true) : rows_can_nest_(rows_can_nest) {}

    // A shown row, with its change when compared with an older scan; a gone row counts in
    // the changes alone.
    void Add(const File_Information& the_row, const Compare::Change* the_change = nullptr);
    Totals Close();

private:
    // A row's counted size now and then: none now for a gone object, none then for a new one.
    struct Entry {
        const File_Information* Row;
        Windows::Files::Owner Owner_Then;
        std::uint64_t Now;
        std::uint64_t Then;
        std::uint64_t Taken_Now = 0;  // by shown records inside it
        std::uint64_t Taken_Then = 0;
        bool Is_Gone = false;
    };
    static Entry Entry_Of(const File_Information& the_row, const Compare::Change* the_change);
    void Credit(const Entry& the_entry);
    Owner_Total* Total_Of(Windows::Files::Owner the_owner);
    void Take_From_Holders();

    bool rows_can_nest_;
    std::vector<Entry> entries_;
    Totals totals_;
    std::unordered_map<Windows::Files::Owner, std::size_t> owner_places_;
    Windows::Files::Owner last_owner_ = nullptr;
    std::size_t last_place_ = 0;
};

}  // namespace Work::Credit
