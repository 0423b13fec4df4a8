// A scheduled task's triggers in a short phrase: "at log-on", "every 30 minutes",
// "daily at 10:00".
#include "browsers/launchers.h"

namespace {

// "30 minutes", "hour", "1 hour 30 minutes" from an ISO 8601 duration such as
// "PT30M", "PT1H" or "P1DT2H"; the text as stored when it is not one.
std::wstring DurationPhrase(const std::wstring& duration) {
    struct Part {
        wchar_t unit;
        bool afterT;
        const wchar_t* name;
        long long count;
    };
    Part parts[] = {
        {L'D', false, L"day", 0}, {L'H', true, L"hour", 0}, {L'M', true, L"minute", 0}, {L'S', true, L"second", 0}};
    if (duration.size() < 3 || (duration[0] != L'P' && duration[0] != L'p'))
        return duration;
    bool afterT = false;
    long long number = -1;
    for (std::size_t at = 1; at < duration.size(); ++at) {
        wchar_t c = duration[at];
        if (c >= L'0' && c <= L'9') {
            number = (number < 0 ? 0 : number) * 10 + (c - L'0');
            if (number > 1000000)
                return duration;
            continue;
        }
        if ((c == L'T' || c == L't') && number < 0 && !afterT) {
            afterT = true;
            continue;
        }
        Part* part = nullptr;
        for (Part& candidate : parts) {
            if (FoldAscii(c) == FoldAscii(candidate.unit) && candidate.afterT == afterT)
                part = &candidate;
        }
        if (!part || number < 0)
            return duration;
        part->count = number;
        number = -1;
    }
    if (number >= 0)
        return duration;
    std::wstring phrase;
    int used = 0;
    for (const Part& part : parts)
        used += part.count > 0;
    for (const Part& part : parts) {
        if (part.count == 0)
            continue;
        if (!phrase.empty())
            phrase += L" ";
        // "every hour" rather than "every 1 hour", when the interval has one part.
        if (!(used == 1 && part.count == 1))
            phrase += std::to_wstring(part.count) + L" ";
        phrase += part.name;
        if (part.count != 1)
            phrase += L"s";
    }
    return phrase.empty() ? duration : phrase;
}

// "10:00" from a start boundary "2024-01-01T10:00:00"; "" when it has no time of day.
std::wstring TimeOfDay(const std::wstring& start) {
    if (start.size() < 16 || (start[10] != L'T' && start[10] != L't') || start[13] != L':')
        return std::wstring();
    return start.substr(11, 5);
}

std::wstring AtTime(const std::wstring& start) {
    std::wstring time = TimeOfDay(start);
    return time.empty() ? time : L" at " + time;
}

}  // namespace

std::wstring TriggerPhrase(const TaskTrigger& trigger) {
    std::wstring repeat =
        trigger.interval.empty() ? std::wstring() : L", then every " + DurationPhrase(trigger.interval);
    std::wstring phrase;
    switch (trigger.kind) {
        case TriggerKind::LogOn:
            phrase = L"at log-on" + repeat;
            break;
        case TriggerKind::Boot:
            phrase = L"at start-up" + repeat;
            break;
        case TriggerKind::Time:
            if (!trigger.interval.empty())
                phrase = L"every " + DurationPhrase(trigger.interval);
            else if (!TimeOfDay(trigger.start).empty())
                phrase = L"once at " + trigger.start.substr(0, 10) + L" " + TimeOfDay(trigger.start);
            else
                phrase = L"once";
            break;
        case TriggerKind::Daily:
            phrase = (trigger.everyDays > 1 ? L"every " + std::to_wstring(trigger.everyDays) + L" days" : L"daily") +
                     AtTime(trigger.start) + repeat;
            break;
        case TriggerKind::Weekly:
            phrase = L"weekly" + AtTime(trigger.start) + repeat;
            break;
        case TriggerKind::Other:
            phrase = L"other";
            break;
    }
    return trigger.enabled ? phrase : phrase + L" (disabled)";
}

std::wstring TriggersPhrase(const std::vector<TaskTrigger>& triggers) {
    std::wstring phrase;
    for (const TaskTrigger& trigger : triggers)
        phrase += (phrase.empty() ? L"" : L"; ") + TriggerPhrase(trigger);
    return phrase.empty() ? L"no trigger" : phrase;
}
