#include <gtest/gtest.h>

#include <string>

#include "definite_element-list.hpp"

namespace {

struct Numbers_Name {
    static constexpr const char* Name = "TEST.NUMBERS";
};
struct Words_Name {
    static constexpr const char* Name = "TEST.WORDS";
};
using Numbers = Definite_Element::List<int, Numbers_Name>;
using Words = Definite_Element::List<std::string, Words_Name>;
using Definite_Element::Place;

Numbers Of(std::initializer_list<int> values) {
    Numbers list;
    for (int value : values) Append(value, list);
    return list;
}

std::vector<int> Contents(const Numbers& list) {
    std::vector<int> result;
    for (auto position = First(list); Has_Element(position); position = Next(position))
        result.push_back(Element_At(position));
    return result;
}

// Walks backwards through the Previous links by removing from the end.
std::vector<int> Backwards(Numbers list) {
    std::vector<int> result;
    while (!Is_Empty(list)) {
        result.push_back(Last_Of(list));
        Remove_Last(list);
    }
    return result;
}

}  // namespace

TEST(Element_List, AttachMovesCellsAndKeepsBothLinkDirections) {
    Numbers target = Of({1, 2});
    Numbers source = Of({3, 4});
    Attach(source, target, Place::At_Back);
    EXPECT_EQ(Contents(target), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(Backwards(target), (std::vector<int>{4, 3, 2, 1}));
    EXPECT_TRUE(Is_Empty(source));
    EXPECT_FALSE(Has_Element(First(source)));

    Numbers front = Of({-1, 0});
    Attach(front, target, Place::At_Front);
    EXPECT_EQ(Contents(target), (std::vector<int>{-1, 0, 1, 2, 3, 4}));
    EXPECT_EQ(Backwards(target), (std::vector<int>{4, 3, 2, 1, 0, -1}));
    EXPECT_EQ(Length_Of(target), 6);

    Numbers empty;
    Attach(empty, target, Place::At_Front);
    EXPECT_EQ(Length_Of(target), 6);
    Attach(target, empty, Place::At_Front);
    EXPECT_EQ(Contents(empty), (std::vector<int>{-1, 0, 1, 2, 3, 4}));
    EXPECT_TRUE(Is_Empty(target));
}

TEST(Element_List, PositionsFollowAttachedCells) {
    Numbers target = Of({1});
    Numbers source = Of({2});
    auto position = First(source);
    Attach(source, target, Place::At_Back);
    Element_At(position) = 20;
    EXPECT_EQ(Contents(target), (std::vector<int>{1, 20}));
}

// Cells live in blocks shared by many: a removed cell is used again, attached cells keep
// their elements after the list they came from is used and cleared again.
TEST(Element_List, CellsInSharedBlocksSurviveRemovalAttachAndReuse) {
    auto word = [](int number) { return "a word long enough to be on the heap, number " + std::to_string(number); };
    Words source;
    Reserve(source, 5);
    for (int number = 0; number < 20000; ++number) Append(word(number), source);
    for (int removed = 0; removed < 100; ++removed) {
        Remove_First(source);
        Remove_Last(source);
    }
    for (int number = 20000; number < 20100; ++number) Append(word(number), source);
    Words target;
    Append(word(-1), target);
    Attach(source, target, Place::At_Back);
    Append(word(-2), source);
    Clear(source);
    Append(word(-3), source);
    Append(word(20100), target);

    EXPECT_EQ(Length_Of(target), 1 + 19800 + 100 + 1);
    std::vector<std::string> expected{word(-1)};
    for (int number = 100; number < 19900; ++number) expected.push_back(word(number));
    for (int number = 20000; number <= 20100; ++number) expected.push_back(word(number));
    EXPECT_EQ(Elements_Of(target, 1).Elements, expected);
    const Words copy = target;
    Clear(target);
    EXPECT_EQ(Elements_Of(copy, 1).Elements, expected);
    EXPECT_EQ(Elements_Of(source, 1).Elements, std::vector<std::string>{word(-3)});
}

TEST(Element_List, CopiesAreIndependent) {
    Words original;
    Append(std::string("alpha"), original);
    Append(std::string("beta"), original);
    Words copy = original;
    Clear(copy);
    EXPECT_EQ(Length_Of(original), 2);
    EXPECT_EQ(First_Of(original), "alpha");
    copy = original;
    First_Of(copy) = "changed";
    EXPECT_EQ(First_Of(std::as_const(original)), "alpha");
    copy = copy;  // self-assignment keeps the list
    EXPECT_EQ(Length_Of(copy), 2);
}

TEST(Element_List, IndexingAndArrays) {
    Numbers list = Of({5, 6, 7});
    EXPECT_EQ(Element_At(list, 1), 5);
    EXPECT_EQ(Element_At(list, 3), 7);
    EXPECT_THROW(Element_At(list, 0), Numbers::No_Elements);
    EXPECT_THROW(Element_At(list, -1), Numbers::No_Elements);
    EXPECT_THROW(Element_At(list, 4), Numbers::No_Elements);
    EXPECT_THROW(Element_At(Numbers::Position{}), Numbers::No_Elements);

    auto array = Elements_Of(list, 10);
    EXPECT_EQ(array.First, 10);
    EXPECT_EQ(array.Last(), 12);
    EXPECT_EQ(array(11), 6);
    auto empty = Elements_Of(Numbers{}, 1);
    EXPECT_EQ(empty.First, 1);
    EXPECT_EQ(empty.Last(), 0);
    EXPECT_THROW(Elements_Of(list, -1), Constraint_Error);
}

TEST(Element_List, SetOperations) {
    Numbers list = Of({1, 2, 2, 3});
    EXPECT_EQ(Contents(list + 2), Contents(list));
    EXPECT_EQ(Contents(list + 4), (std::vector<int>{1, 2, 2, 3, 4}));
    EXPECT_EQ(Contents(list - 2), (std::vector<int>{1, 3}));
    EXPECT_EQ(Contents(list - 9), Contents(list));
    EXPECT_EQ(Contents(list + Of({3, 5, 5})), (std::vector<int>{1, 2, 2, 3, 5}));
    EXPECT_EQ(Contents(list - Of({1, 3})), (std::vector<int>{2, 2}));
    EXPECT_TRUE(3 < list);
    EXPECT_FALSE(4 < list);
}

TEST(Element_List, RemovalAndEmptyListFailures) {
    Numbers list = Of({1});
    Remove_First(list);
    EXPECT_FALSE(Has_Element(First(list)));
    EXPECT_FALSE(Has_Element(Last(list)));
    EXPECT_EQ(Length_Of(list), 0);
    EXPECT_THROW(Remove_First(list), Numbers::No_Elements);
    EXPECT_THROW(Remove_Last(list), Numbers::No_Elements);
    EXPECT_THROW(First_Of(std::as_const(list)), Numbers::No_Elements);
    EXPECT_THROW(Last_Of(list), Numbers::No_Elements);
    EXPECT_THROW(Next(Numbers::Position{}), Numbers::Not_In_List);

    list = Of({1, 2, 3});
    Remove_First(list);
    Remove_Last(list);
    EXPECT_EQ(Contents(list), std::vector<int>{2});
    EXPECT_EQ(Backwards(list), std::vector<int>{2});
}

TEST(Element_List, UpdateWithStopsAtTheFirstDone) {
    Numbers list = Of({1, 2, 3, 2});
    int visited = 0;
    Update_With(list, [&](int& element, bool& done) {
        ++visited;
        if (element == 2) {
            element = 20;
            done = true;
        }
    });
    EXPECT_EQ(Contents(list), (std::vector<int>{1, 20, 3, 2}));
    EXPECT_EQ(visited, 2);
    Numbers empty;
    EXPECT_THROW(Update_With(empty, [](int&, bool& done) { done = true; }), Numbers::Not_Updated);
}

TEST(Element_List, FailuresBelongToTheirInstance) {
    Numbers numbers;
    try {
        Remove_First(numbers);
        FAIL();
    } catch (const Numbers::No_Elements& error) {
        EXPECT_EQ(error.Name(), "TEST.NUMBERS.NO_ELEMENTS");
    }
    Words words;
    auto other_instance = [&] {
        try {
            Remove_First(words);
        } catch (const Numbers::No_Elements&) {
            ADD_FAILURE() << "caught another instance's failure";
        }
    };
    EXPECT_THROW(other_instance(), Words::No_Elements);
    EXPECT_EQ(Words::Not_Updated().Name(), "TEST.WORDS.NOT_UPDATED");
}
