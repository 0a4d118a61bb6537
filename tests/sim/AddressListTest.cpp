#include "sim/AddressList.h"

#include <gtest/gtest.h>

TEST(AddressList, ReadsRangesAndSinglesAndRejectsMalformedText)
{
    struct Case {
        const char* text;
        std::optional<QList<int>> expected;
    };
    const Case cases[] = {
        {"1-4,7", QList<int>{1, 2, 3, 4, 7}},
        {" 3 , 1-2 ,3", QList<int>{1, 2, 3}},
        {"0", QList<int>{0}},
        {"99", QList<int>{99}},
        {"", QList<int>{}},
        {"100", std::nullopt},
        {"4-1", std::nullopt},
        {"1,,2", std::nullopt},
        {"a", std::nullopt},
        {"-3", std::nullopt},
        {"1-", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseAddressList(QString::fromLatin1(c.text)), c.expected) << c.text;
}
