// What a fix run of one target comes to, for the tables of each fix kind.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/engine.h"
#include "review/review.h"
#include "tests/test_support.h"

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

// --undo of the newest run in the backups, as the console makes it.
inline ChangeRunOutcome UndoNewestRun(const FixPlaces& places, std::vector<std::wstring>* lines) {
    std::vector<ChangeRunSummary> runs = ListChangeRuns();
    EXPECT_FALSE(runs.empty());
    return runs.empty() ? ChangeRunOutcome() : UndoChangeRun(CapturingOptions(lines), runs.back(), places);
}

// The places of a test of a profile's files: an empty key of its own stands for
// every registry root, so that no policy and no launcher of the machine is read.
struct NoOutsidePlaces {
    TemporaryRegistryKey key;

    explicit NoOutsidePlaces(const wchar_t* name)
        : key(HKEY_CURRENT_USER,
              L"Software\\PopSwat-test-" + std::wstring(name) + L"-" + std::to_wstring(GetCurrentProcessId())) {}
    LauncherSources Sources() const {
        LauncherSources sources;
        sources.registry = {key.get(), key.get()};
        return sources;
    }
    FixPlaces Places() const { return {Sources(), {key.get(), key.get()}}; }
    // The review's targets of one kind.
    std::vector<FixTarget> Targets(const char* kind) const {
        std::vector<FixTarget> targets;
        for (FixTarget& target : FixTargets(CollectReview({key.get(), key.get()}, Sources()))) {
            if (std::string(target.kind->name) == kind)
                targets.push_back(std::move(target));
        }
        return targets;
    }
};
