#include "talvo/engine/radix_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace talvo::engine {
namespace {

using Item = std::pair<uint64_t, uint32_t>;  // a number, and where it stood

// Sorts as std::stable_sort does, for numbers of every width, and calls back once after the
// counting pass and once after each pass that moves the items: a digit every number shares costs
// no pass.
TEST(RadixSortTest, SortsStablyAndCallsBackAfterEachPass) {
    struct Case {
        const char* name;
        uint64_t mask;
        int calls;
    };
    const Case cases[] = {
        {"numbers of 11 bits", (uint64_t{1} << 11) - 1, 2},
        {"numbers of 23 bits", (uint64_t{1} << 23) - 1, 4},
        {"numbers of 64 bits", ~uint64_t{0}, 7},
        {"only the high bits", ~uint64_t{0} << 55, 2},
    };
    std::mt19937_64 random(7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Item> items;
        for (uint32_t i = 0; i < 20000; ++i) items.emplace_back(random() & c.mask, i);
        // Some numbers many times over, to see that equal ones keep their order.
        for (uint32_t i = 0; i < 2000; ++i) items.emplace_back(items[i % 7].first, 20000 + i);
        std::vector<Item> expected = items;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const Item& a, const Item& b) { return a.first < b.first; });
        std::vector<Item> scratch;
        int calls = 0;
        RadixSort(
            std::span(items), scratch, [](const Item& item) { return item.first; },
            [&] { ++calls; });
        EXPECT_EQ(items, expected);
        EXPECT_EQ(calls, c.calls);
    }
    // Nothing to sort: no pass.
    std::vector<Item> one{{5, 0}};
    std::vector<Item> scratch;
    int calls = 0;
    RadixSort(
        std::span(one), scratch, [](const Item& item) { return item.first; }, [&] { ++calls; });
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(one, (std::vector<Item>{{5, 0}}));
}

}  // namespace
}  // namespace talvo::engine
