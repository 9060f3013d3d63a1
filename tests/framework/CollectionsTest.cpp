#include <gtest/gtest.h>

#include <vector>

#include "framework/CByteArray.h"
#include "framework/CStringArray.h"
#include "framework/CStringList.h"

namespace {

std::vector<CString> Walk(const CStringList& list) {
    std::vector<CString> items;
    for (POSITION pos = list.GetHeadPosition(); pos != nullptr;) {
        items.push_back(list.GetNext(pos));
    }
    return items;
}

TEST(CStringListTest, WalkFromHeadVisitsTextsInOrderAndEndsWithNull) {
    CStringList list(4);
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    list.AddTail("one");
    list.AddTail("two");
    list.AddHead("zero");
    list.AddTail("three");
    EXPECT_EQ(list.GetCount(), 4);
    EXPECT_EQ(list.GetBlockSize(), 4);
    EXPECT_EQ(Walk(list), (std::vector<CString>{"zero", "one", "two", "three"}));
    EXPECT_EQ(list.GetHead(), "zero");
    EXPECT_EQ(list.GetTail(), "three");
}

TEST(CStringListTest, RemovingKeepsTheLinksOfTheOthers) {
    CStringList list;
    list.AddTail("a");
    const POSITION middle = list.AddTail("b");
    list.AddTail("c");
    list.RemoveAt(middle);
    EXPECT_EQ(Walk(list), (std::vector<CString>{"a", "c"}));
    EXPECT_EQ(list.RemoveHead(), "a");
    EXPECT_EQ(list.RemoveTail(), "c");
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.GetHeadPosition(), nullptr);
    EXPECT_EQ(list.GetTailPosition(), nullptr);
    list.AddTail("again");
    EXPECT_EQ(Walk(list), (std::vector<CString>{"again"}));
}

TEST(CStringListTest, RemoveAllEmptiesAndTheListStaysUsable) {
    CStringList list;
    for (int i = 0; i < 25; ++i) {
        list.AddTail("x");
    }
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0);
    EXPECT_TRUE(Walk(list).empty());
    list.AddTail("y");
    EXPECT_EQ(list.GetCount(), 1);
}

TEST(CStringListTest, FindIsExactAndResumesAfterAPosition) {
    CStringList list;
    list.AddTail("DSN");
    const POSITION first = list.AddTail("dsn");
    const POSITION second = list.AddTail("dsn");
    EXPECT_EQ(list.Find("dsn"), first);
    EXPECT_EQ(list.Find("dsn", first), second);
    EXPECT_EQ(list.Find("dsn", second), nullptr);
}

TEST(CStringListTest, WalkBackwardsWithGetPrev) {
    CStringList list;
    list.AddTail("a");
    list.AddTail("b");
    std::vector<CString> items;
    for (POSITION pos = list.GetTailPosition(); pos != nullptr;) {
        items.push_back(list.GetPrev(pos));
    }
    EXPECT_EQ(items, (std::vector<CString>{"b", "a"}));
}

TEST(CStringArrayTest, AddReturnsTheIndexAndSetSizeFillsWithEmptyTexts) {
    CStringArray array;
    EXPECT_EQ(array.Add("a"), 0);
    EXPECT_EQ(array.Add("b"), 1);
    array.SetSize(4);
    ASSERT_EQ(array.GetSize(), 4);
    EXPECT_EQ(array[1], "b");
    EXPECT_TRUE(array.GetAt(3).IsEmpty());
    array[3] = "d";
    EXPECT_EQ(array.GetAt(3), "d");
    array.SetSize(1);
    EXPECT_EQ(array.GetSize(), 1);
    EXPECT_EQ(array.GetUpperBound(), 0);
    array.RemoveAll();
    EXPECT_TRUE(array.IsEmpty());
}

TEST(CStringArrayTest, InsertRemoveAndAppendToItself) {
    CStringArray array;
    array.Add("a");
    array.Add("c");
    array.InsertAt(1, "b");
    array.InsertAt(5, "f");  // past the end: the gap fills with empty texts
    ASSERT_EQ(array.GetSize(), 6);
    EXPECT_EQ(array[1], "b");
    EXPECT_TRUE(array[4].IsEmpty());
    array.RemoveAt(3, 2);
    ASSERT_EQ(array.GetSize(), 4);
    EXPECT_EQ(array[3], "f");
    EXPECT_EQ(array.Append(array), 4);
    ASSERT_EQ(array.GetSize(), 8);
    EXPECT_EQ(array[7], "f");
    EXPECT_EQ(array[4], "a");
}

TEST(CByteArrayTest, BytesLieInOrderInGetData) {
    CByteArray bytes;
    EXPECT_EQ(bytes.GetData(), nullptr);
    const BYTE data[] = {0x00, 0xFF, 0x10};
    bytes.AddBytes(data, 3);
    EXPECT_EQ(bytes.Add(0x7F), 3);
    ASSERT_EQ(bytes.GetSize(), 4);
    EXPECT_EQ(bytes.GetData()[1], 0xFF);
    EXPECT_EQ(bytes[3], 0x7F);
    bytes.SetSize(6);
    EXPECT_EQ(bytes[5], 0);
    CByteArray copy;
    copy.Copy(bytes);
    EXPECT_EQ(copy.GetSize(), 6);
    EXPECT_EQ(copy[2], 0x10);
}

}  // namespace
