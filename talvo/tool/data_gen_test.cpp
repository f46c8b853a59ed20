#include "talvo/tool/data_gen.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>

namespace talvo::tool {
namespace {

TEST(DataGenerator, RecordsAreFixedWidthPrintableAndRepeatable) {
    for (Layout layout : {Layout::kCustomer, Layout::kOrders}) {
        DataGenerator a(layout, 500, 7);
        DataGenerator b(layout, 500, 7);
        DataGenerator other(layout, 500, 8);
        const LayoutInfo& info = a.layout();
        uint32_t end = 0;
        for (const FieldInfo& f : info.fields) {
            EXPECT_EQ(f.position, end) << f.name;
            end += f.length;
        }
        EXPECT_EQ(end, info.recordSize);
        int differing = 0;
        for (uint64_t i = 0; i < 500; ++i) {
            std::string r = a.Record(i);
            ASSERT_EQ(r.size(), info.recordSize);
            EXPECT_EQ(r, b.Record(i));
            differing += r != other.Record(i);
            for (char c : r) ASSERT_TRUE(std::isprint(static_cast<unsigned char>(c))) << r;
        }
        EXPECT_GT(differing, 490);
    }
}

TEST(DataGenerator, KeysAreUniqueDigitsNotInRecordOrder) {
    for (uint64_t n : {1u, 2u, 97u, 1000u}) {
        DataGenerator gen(Layout::kCustomer, n, 3);
        std::set<std::string> keys;
        bool ascending = true;
        std::string previous;
        for (uint64_t i = 0; i < n; ++i) {
            std::string key = gen.Record(i).substr(0, 8);
            for (char c : key) ASSERT_TRUE(std::isdigit(static_cast<unsigned char>(c))) << key;
            ascending = ascending && key > previous;
            previous = key;
            keys.insert(key);
        }
        EXPECT_EQ(keys.size(), n);
        EXPECT_EQ(*keys.rbegin(),
                  std::string(8 - std::to_string(n).size(), '0') + std::to_string(n));
        if (n > 2) {
            EXPECT_FALSE(ascending) << n;
        }
    }
}

TEST(DataGenerator, DatesAreRealCalendarDays) {
    DataGenerator gen(Layout::kOrders, 2000, 11);
    for (uint64_t i = 0; i < 2000; ++i) {
        std::string date = gen.Record(i).substr(18, 8);
        int year = std::stoi(date.substr(0, 4));
        int month = std::stoi(date.substr(4, 2));
        int day = std::stoi(date.substr(6, 2));
        ASSERT_TRUE(year >= 2015 && year <= 2024 && month >= 1 && month <= 12 && day >= 1) << date;
        int days = month == 2 ? (year % 4 == 0 ? 29 : 28)
                   : (month == 4 || month == 6 || month == 9 || month == 11) ? 30
                                                                             : 31;
        ASSERT_LE(day, days) << date;
    }
}

}  // namespace
}  // namespace talvo::tool
