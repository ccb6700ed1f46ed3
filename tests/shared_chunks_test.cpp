#include "records/shared_chunks.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace oxtiva
{
namespace
{

std::vector<int> Values(const TSharedChunks<int, 4>& aList)
{
    std::vector<int> values;
    for (std::size_t i = 0; i < aList.size(); ++i)
        values.push_back(aList[i]);
    return values;
}

// A copy is the list at one moment: changes in place, in a full chunk and in the one still
// growing, and growth past a chunk's end leave it as it was, and the list sees them.
TEST(SharedChunks, ACopyKeepsTheListAsItWasWhileTheListChanges)
{
    TSharedChunks<int, 4> list;
    for (int i = 0; i < 6; ++i)
        list.push_back(i);
    const TSharedChunks<int, 4> copy = list;

    list.Mutable(1) = 10; // a full chunk
    list.Mutable(5) = 50; // the growing one
    for (int i = 6; i < 10; ++i)
        list.push_back(i);

    EXPECT_EQ(Values(copy), (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(Values(list), (std::vector<int>{0, 10, 2, 3, 4, 50, 6, 7, 8, 9}));
    EXPECT_EQ(copy.back(), 5);
    EXPECT_EQ(list.back(), 9);
}

// A copy read and dropped on another thread while the list goes on changing.
TEST(SharedChunks, ACopyReadOnAnotherThreadSeesOnlyItsMoment)
{
    TSharedChunks<int, 4> list;
    for (int i = 0; i < 1000; ++i)
        list.push_back(i);
    long sum = -1;
    std::thread reader([copy = list, &sum]() mutable {
        long total = 0;
        for (std::size_t i = 0; i < copy.size(); ++i)
            total += copy[i];
        sum = total;
        copy = {};
    });
    for (std::size_t i = 0; i < list.size(); ++i)
        list.Mutable(i) = -1;
    for (int i = 0; i < 1000; ++i)
        list.push_back(-1);
    reader.join();
    EXPECT_EQ(sum, 999L * 1000 / 2);
    EXPECT_EQ(list.size(), 2000u);
    EXPECT_EQ(list[0], -1);
}

} // namespace
} // namespace oxtiva
