// Tables of {name, input, expected} and the loop that checks a function against
// every row, naming the row that fails. Plain C++.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>

template <typename Input, typename Expected>
struct TableRow {
    const char* name;
    Input input;
    Expected expected;
};

template <typename Input, typename Expected, std::size_t N, typename Function>
void ExpectEachRow(const TableRow<Input, Expected> (&rows)[N], Function function) {
    for (const TableRow<Input, Expected>& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(function(row.input), row.expected);
    }
}
