#pragma once
// A doubly linked list of elements held by value. Every instance names itself (Traits::Name,
// "WORK.FILE_LIST"), and its four failures are types of that instance alone, so a handler
// for one instance's failure never catches another's.
//
// Cells come from blocks the list owns, each for many cells, so that a list of a million
// elements costs a few hundred allocations rather than a million and its cells lie together
// in memory. A removed element's cell serves the next append; the blocks go when the list is
// cleared.

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "definite_element.hpp"
#include "strings.hpp"

namespace Definite_Element {

enum class Place { At_Front, At_Back };

template <typename Element, typename Traits, typename Hooks = Default_Hooks<Element>>
class List {
    struct Cell {
        Element Data;  // first, so a cell reference is an element reference
        Cell* Next = nullptr;
        Cell* Previous = nullptr;
    };
    // Room for one cell, constructed there only while it is in the list.
    struct alignas(Cell) Cell_Storage {
        std::byte Bytes[sizeof(Cell)];
    };
    static constexpr std::size_t First_Block_Cells = 8;
    static constexpr std::size_t Largest_Block_Cells = 8192;

    template <int Which>
    struct Named_Failure : ::Failure {
        explicit Named_Failure(const std::string& message = "")
            : ::Failure(std::string(Traits::Name) + Suffix(), message) {}
        static const char* Suffix() {
            constexpr const char* suffixes[] = {".NO_ELEMENTS", ".NOT_FOUND", ".NOT_IN_LIST",
                                                ".NOT_UPDATED"};
            return suffixes[Which];
        }
    };

public:
    using Element_Type = Element;
    using No_Elements = Named_Failure<0>;
    using Not_Found = Named_Failure<1>;
    using Not_In_List = Named_Failure<2>;
    using Not_Updated = Named_Failure<3>;

    // A position designates one cell; the null position designates none.
    class Position {
    public:
        Position() = default;
        explicit Position(Cell* cell) : cell_(cell) {}
        bool operator==(const Position&) const = default;
        Cell* cell_ = nullptr;  // only the list's operations look inside
    };

    List() = default;
    List(const List& other) {
        try {
            Copy_From(other);
        } catch (...) {
            Clear(*this);
            throw;
        }
    }
    List(List&& other) noexcept { Take_From(other); }
    List& operator=(const List& other) {
        if (this != &other) {
            List copy(other);
            Clear(*this);
            Take_From(copy);
        }
        return *this;
    }
    List& operator=(List&& other) noexcept {
        if (this != &other) {
            Clear(*this);
            Take_From(other);
        }
        return *this;
    }
    ~List() { Clear(*this); }

    friend void Append(const Element& the_element, List& to_list) {
        to_list.Link_At_Back(to_list.New_Cell(the_element));
    }
    friend void Append(Element&& the_element, List& to_list) {
        to_list.Link_At_Back(to_list.New_Cell(std::move(the_element)));
    }
    // A default element at the back, for a maker that fills it in place.
    friend Element& Append_Default(List& to_list) {
        Cell* cell = to_list.New_Cell();
        to_list.Link_At_Back(cell);
        return cell->Data;
    }
    // Room for that many more elements in one block, for a list whose length is known ahead.
    friend void Reserve(List& the_list, std::size_t the_count) {
        if (the_list.unused_cells_ < the_count) the_list.Add_Block(the_count);
    }

    friend void Attach(List& the_list, List& to_list, Place position) {
        if (&the_list == &to_list || the_list.length_ == 0) return;
        to_list.blocks_.reserve(to_list.blocks_.size() + the_list.blocks_.size());
        to_list.spare_cells_.reserve(to_list.spare_cells_.size() + the_list.spare_cells_.size());
        if (to_list.length_ == 0) {
            to_list.first_ = the_list.first_;
            to_list.last_ = the_list.last_;
        } else if (position == Place::At_Back) {
            to_list.last_->Next = the_list.first_;
            the_list.first_->Previous = to_list.last_;
            to_list.last_ = the_list.last_;
        } else {
            the_list.last_->Next = to_list.first_;
            to_list.first_->Previous = the_list.last_;
            to_list.first_ = the_list.first_;
        }
        to_list.length_ += the_list.length_;
        the_list.Forget_Cells();
        // The cells moved stay in their blocks, which go with them.
        for (auto& block : the_list.blocks_) to_list.blocks_.push_back(std::move(block));
        to_list.spare_cells_.insert(to_list.spare_cells_.end(), the_list.spare_cells_.begin(),
                                    the_list.spare_cells_.end());
        the_list.Forget_Storage();
    }

    friend void Clear(List& the_list) {
        Cell* cell = the_list.first_;
        while (cell != nullptr) {
            Cell* next = cell->Next;
            Hooks::Clear(cell->Data);
            cell->~Cell();
            cell = next;
        }
        the_list.Forget_Cells();
        the_list.Forget_Storage();
    }

    friend List operator+(const List& left, const Element& right) {
        List result(left);
        if (!(right < left)) Append(right, result);
        return result;
    }
    friend List operator+(const List& left, const List& right) {
        List result(left);
        for (Cell* cell = right.first_; cell != nullptr; cell = cell->Next)
            result = result + cell->Data;
        return result;
    }
    friend List operator-(const List& left, const Element& right) {
        List result;
        for (Cell* cell = left.first_; cell != nullptr; cell = cell->Next)
            if (!(cell->Data == right)) Append(cell->Data, result);
        return result;
    }
    friend List operator-(const List& left, const List& right) {
        List result(left);
        for (Cell* cell = right.first_; cell != nullptr; cell = cell->Next)
            result = result - cell->Data;
        return result;
    }
    // Membership.
    friend bool operator<(const Element& left, const List& right) {
        for (Cell* cell = right.first_; cell != nullptr; cell = cell->Next)
            if (cell->Data == left) return true;
        return false;
    }

    friend Element Element_At(const List& the_list, int the_index) {
        int index = 1;
        for (Cell* cell = the_list.first_; cell != nullptr; cell = cell->Next, ++index)
            if (index == the_index) return cell->Data;
        throw No_Elements("no element at index " + std::to_string(the_index));
    }
    friend Element& Element_At(Position position) {
        if (position.cell_ == nullptr) throw No_Elements("null position");
        return position.cell_->Data;
    }

    // The elements in list order; index 0 of the result holds the element numbered First.
    struct Array {
        int First = 1;
        std::vector<Element> Elements;
        int Last() const { return First + static_cast<int>(Elements.size()) - 1; }
        const Element& operator()(int index) const { return Elements.at(index - First); }
    };
    friend Array Elements_Of(const List& the_list, int first) {
        if (first < 0 && the_list.length_ > 0) throw Constraint_Error("negative first index");
        Array result{first, {}};
        result.Elements.reserve(the_list.length_);
        for (Cell* cell = the_list.first_; cell != nullptr; cell = cell->Next)
            result.Elements.push_back(cell->Data);
        return result;
    }

    friend Position First(const List& the_list) { return Position(the_list.first_); }
    friend Position Last(const List& the_list) { return Position(the_list.last_); }
    friend Element First_Of(const List& the_list) { return the_list.First_Cell()->Data; }
    friend Element Last_Of(const List& the_list) { return the_list.Last_Cell()->Data; }
    friend Element& First_Of(List& the_list) { return the_list.First_Cell()->Data; }
    friend Element& Last_Of(List& the_list) { return the_list.Last_Cell()->Data; }

    friend bool Has_Element(Position position) { return position.cell_ != nullptr; }
    friend Position Next(Position position) {
        if (position.cell_ == nullptr) throw Not_In_List("null position");
        return Position(position.cell_->Next);
    }
    friend bool Is_Empty(const List& the_list) { return the_list.length_ == 0; }
    friend int Length_Of(const List& the_list) { return the_list.length_; }

    friend void Remove_First(List& the_list) {
        Cell* cell = the_list.First_Cell();
        the_list.first_ = cell->Next;
        if (the_list.first_ == nullptr) the_list.last_ = nullptr;
        else the_list.first_->Previous = nullptr;
        the_list.Destroy(cell);
    }
    friend void Remove_Last(List& the_list) {
        Cell* cell = the_list.Last_Cell();
        the_list.last_ = cell->Previous;
        if (the_list.last_ == nullptr) the_list.first_ = nullptr;
        else the_list.last_->Next = nullptr;
        the_list.Destroy(cell);
    }

    // Applies update(element, done) in order until one sets done; Not_Updated when none does.
    template <typename Update>
    friend void Update_With(List& the_list, Update&& update) {
        for (Cell* cell = the_list.first_; cell != nullptr; cell = cell->Next) {
            bool done = false;
            update(cell->Data, done);
            if (done) return;
        }
        throw Not_Updated("no element was updated");
    }

private:
    // The element copied or moved from the value, or a default one without a value.
    template <typename... Value>
    Cell* New_Cell(Value&&... the_element) {
        if (length_ == INT32_MAX) throw Constraint_Error("list length overflow");
        Cell_Storage* storage = nullptr;
        if (!spare_cells_.empty()) {
            storage = spare_cells_.back();
        } else {
            if (unused_cells_ == 0) Add_Block(Next_Block_Size());
            storage = next_unused_;
        }
        Cell* cell = ::new (static_cast<void*>(storage)) Cell{Element(std::forward<Value>(the_element)...)};
        // Taken only once the element is in place: a throwing copy leaves the room free.
        if (!spare_cells_.empty()) {
            spare_cells_.pop_back();
        } else {
            ++next_unused_;
            --unused_cells_;
        }
        return cell;
    }
    // Blocks double in size up to a limit: small lists stay small, long ones take few blocks.
    std::size_t Next_Block_Size() const {
        return std::clamp(2 * last_block_cells_, First_Block_Cells, Largest_Block_Cells);
    }
    // The unused rest of the block before is left unused.
    void Add_Block(std::size_t the_cells) {
        blocks_.push_back(std::make_unique_for_overwrite<Cell_Storage[]>(the_cells));
        next_unused_ = blocks_.back().get();
        unused_cells_ = last_block_cells_ = the_cells;
    }
    void Link_At_Back(Cell* cell) {
        cell->Previous = last_;
        if (last_ == nullptr) first_ = cell;
        else last_->Next = cell;
        last_ = cell;
        ++length_;
    }
    Cell* First_Cell() const {
        if (first_ == nullptr) throw No_Elements("the list is empty");
        return first_;
    }
    Cell* Last_Cell() const {
        if (last_ == nullptr) throw No_Elements("the list is empty");
        return last_;
    }
    void Destroy(Cell* cell) {
        Hooks::Clear(cell->Data);
        cell->~Cell();
        --length_;
        spare_cells_.push_back(reinterpret_cast<Cell_Storage*>(cell));
    }
    void Forget_Cells() {
        first_ = last_ = nullptr;
        length_ = 0;
    }
    void Forget_Storage() {
        blocks_.clear();
        spare_cells_.clear();
        next_unused_ = nullptr;
        unused_cells_ = last_block_cells_ = 0;
    }
    void Take_From(List& other) {
        first_ = other.first_;
        last_ = other.last_;
        length_ = other.length_;
        other.Forget_Cells();
        blocks_ = std::move(other.blocks_);
        spare_cells_ = std::move(other.spare_cells_);
        next_unused_ = other.next_unused_;
        unused_cells_ = other.unused_cells_;
        last_block_cells_ = other.last_block_cells_;
        other.Forget_Storage();
    }
    void Copy_From(const List& other) {
        Reserve(*this, static_cast<std::size_t>(other.length_));
        for (Cell* cell = other.first_; cell != nullptr; cell = cell->Next)
            Link_At_Back(New_Cell(Hooks::Copy(cell->Data)));
    }

    Cell* first_ = nullptr;
    Cell* last_ = nullptr;
    int length_ = 0;
    std::vector<std::unique_ptr<Cell_Storage[]>> blocks_;
    std::vector<Cell_Storage*> spare_cells_;  // removed elements' cells
    Cell_Storage* next_unused_ = nullptr;     // in the last block
    std::size_t unused_cells_ = 0;
    std::size_t last_block_cells_ = 0;
};

}  // namespace Definite_Element
