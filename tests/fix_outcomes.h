// What a fix run of one target comes to, for the tables of each fix kind.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/engine.h"

// The record's entry of the one change the run made: done, of kind, for the
// target's finding, with nothing left. nullptr (and a failure) when the run
// recorded another number of changes.
inline const ChangeEntry* OnlyChangeDone(const ChangeRunOutcome& fixed, const FixTarget& target) {
    EXPECT_EQ(fixed.done, 1u);
    EXPECT_EQ(fixed.left, decltype(fixed.left)());
    EXPECT_EQ(fixed.record.changes.size(), 1u);
    if (fixed.record.changes.size() != 1)
        return nullptr;
    const ChangeEntry& entry = fixed.record.changes[0];
    EXPECT_EQ(entry.state, ChangeState::Done);
    EXPECT_EQ(entry.kind, target.kind->name);
    EXPECT_EQ(entry.findingId, target.findingId);
    return &entry;
}
