// The comparison looks each record up by its path once, in a table of the older records
// keyed by views of their shared texts, so no path is built.
#include "work-compare.hpp"

#include <functional>
#include <string_view>

namespace Work::Compare {

namespace {

struct Key {
    std::wstring_view Folder;
    std::wstring_view Name;
    std::wstring_view Stream;
    bool Is_Folder;
    bool operator==(const Key&) const = default;
};

Key Key_Of(const File_Information& the_record) {
    return {the_record.Folder_Name.View(), the_record.File_Name.View(), the_record.Stream_Name.View(),
            the_record.Is_Folder};
}

struct Key_Hash {
    std::size_t operator()(const Key& the_key) const {
        const std::hash<std::wstring_view> hash;
        std::size_t value = hash(the_key.Folder);
        value = value * 31 + hash(the_key.Name);
        value = value * 31 + hash(the_key.Stream);
        return value * 2 + the_key.Is_Folder;
    }
};

std::int64_t Difference(File_Size now, File_Size then) {
    return static_cast<std::int64_t>(now.Value() - then.Value());
}

std::int64_t Signed(File_Size size) { return static_cast<std::int64_t>(size.Value()); }

}  // namespace

Changes::Changes(const File_List& the_records, File_List the_older_records)
    : older_(std::move(the_older_records)) {
    std::unordered_map<Key, const File_Information*, Key_Hash> older_by_key;
    older_by_key.reserve(static_cast<std::size_t>(Length_Of(older_)));
    for (auto at = First(older_); Has_Element(at); at = Next(at))
        older_by_key.emplace(Key_Of(Element_At(at)), &Element_At(at));
    changes_.reserve(older_by_key.size() + static_cast<std::size_t>(Length_Of(the_records)));
    for (auto at = First(the_records); Has_Element(at); at = Next(at)) {
        const File_Information& record = Element_At(at);
        const auto older = older_by_key.find(Key_Of(record));
        if (older == older_by_key.end()) {
            changes_.emplace(&record, Change{.Bytes = 0, .Counted = Signed(Counted_Size_Of(record)), .Is_New = true});
            continue;
        }
        changes_.emplace(&record, Change{.Bytes = Difference(record.Object_Size, older->second->Object_Size),
                                         .Counted = Difference(Counted_Size_Of(record),
                                                               Counted_Size_Of(*older->second))});
        older->second = nullptr;  // met: not gone
    }
    for (auto at = First(older_); Has_Element(at); at = Next(at)) {
        const File_Information& record = Element_At(at);
        const auto older = older_by_key.find(Key_Of(record));
        if (older->second != &record) continue;
        gone_.push_back(&record);
        changes_.emplace(&record, Change{.Bytes = -Signed(record.Object_Size),
                                         .Counted = -Signed(Counted_Size_Of(record)),
                                         .Is_Gone = true});
    }
}

Change Changes::Of(const File_Information& the_record) const {
    const auto change = changes_.find(&the_record);
    return change == changes_.end() ? Change{.Bytes = 0, .Is_New = true} : change->second;
}

}  // namespace Work::Compare
