// Fixes of extensions that other programs registered: the registration deleted,
// exactly as it was recorded first, so that the browser removes the extension
// at its next start. Chromium's ExtensionService::CheckExternalUninstall
// uninstalls an external extension that no provider lists any more; Firefox's
// XPIProvider, finding at start-up that an add-on of its registry install
// location is gone from it, removes the add-on from its database. --undo writes
// the key or value back when its place is free.
#include "engine/engine_parts.h"

namespace {

constexpr const char KIND[] = "extension-registration";
// A registration holds a handful of values ("path", "version", "update_url"); more is no registration.
constexpr DWORD MAX_REGISTRATION_VALUES = 1000;
constexpr DWORD MAX_REGISTRATION_VALUE_BYTES = 64 * 1024;
constexpr REGSAM VIEW = KEY_WOW64_64KEY;

ChangeResult Result(ChangeStep step, std::wstring why = std::wstring()) {
    return {step, std::move(why)};
}

std::wstring PlaceRefusal(const ExtensionRegistration& place) {
    if (!IsExtensionRegistrationPlace(place))
        return L"not an extension registration";
    return NeedsAdministrator(place.machine) ? L"needs an administrator" : L"";
}

// Every value of a registration key, exactly; a key with subkeys, with more
// values than a registration has or with a value too long is refused.
ChangeResult ReadKeyValues(HKEY key, std::vector<RecordedValue>* values) {
    DWORD subkeys = 0, count = 0, longestName = 0, longestData = 0;
    if (RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &count, &longestName, &longestData,
                         nullptr, nullptr) != ERROR_SUCCESS)
        return Result(ChangeStep::Failed, L"could not be read");
    if (subkeys > 0)
        return Result(ChangeStep::Refused, L"it holds keys of its own, which no registration has");
    if (count > MAX_REGISTRATION_VALUES)
        return Result(ChangeStep::Refused, L"it holds more values than a registration has");
    if (longestData > MAX_REGISTRATION_VALUE_BYTES)
        return Result(ChangeStep::Refused, L"a value of it is too long for a registration");
    std::vector<wchar_t> name(longestName + 1);
    std::vector<BYTE> data(longestData + 1);
    values->clear();
    for (DWORD i = 0; i < count; ++i) {
        DWORD chars = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size()), type = 0;
        LSTATUS status = RegEnumValueW(key, i, name.data(), &chars, nullptr, &type, data.data(), &size);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            return Result(ChangeStep::Changed, L"it changed while it was read");
        values->push_back({std::wstring(name.data(), chars), type, std::string(data.begin(), data.begin() + size)});
    }
    return Result(ChangeStep::Done);
}

bool SameValues(const std::vector<RecordedValue>& a, const std::vector<RecordedValue>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].name != b[i].name || a[i].type != b[i].type || a[i].data != b[i].data)
            return false;
    }
    return true;
}

ChangeResult OpenKey(HKEY root, const std::wstring& path, REGSAM access, UniqueRegistryKey* key) {
    HKEY opened = nullptr;
    LSTATUS status = RegOpenKeyExW(root, path.c_str(), 0, access | VIEW, &opened);
    if (status == ERROR_FILE_NOT_FOUND)
        return Result(ChangeStep::Gone);
    if (status != ERROR_SUCCESS)
        return Result(ChangeStep::Failed, L"could not be opened");
    key->reset(opened);
    return Result(ChangeStep::Done);
}

// Deletes the key if it still holds exactly the recorded values.
ChangeResult DeleteKeyIfSame(HKEY root, const std::wstring& path, const std::vector<RecordedValue>& recorded) {
    UniqueRegistryKey key;
    std::vector<RecordedValue> now;
    ChangeResult step = OpenKey(root, path, KEY_READ, &key);
    if (step.step == ChangeStep::Done)
        step = ReadKeyValues(key.get(), &now);
    if (step.step != ChangeStep::Done)
        return step;
    if (!SameValues(now, recorded))
        return Result(ChangeStep::Changed, L"it has changed since it was read");
    key.reset();
    LSTATUS status = RegDeleteKeyExW(root, path.c_str(), VIEW, 0);
    if (status == ERROR_FILE_NOT_FOUND)
        return Result(ChangeStep::Gone);
    if (status != ERROR_SUCCESS)
        return Result(ChangeStep::Failed, FormatWide(L"could not be deleted (error %ld)", static_cast<long>(status)));
    return Result(ChangeStep::Done);
}

// Makes the key again with the recorded values; Done also when it holds exactly them.
ChangeResult PutKeyBack(HKEY root, const std::wstring& path, const std::vector<RecordedValue>& recorded) {
    HKEY made = nullptr;
    DWORD disposition = 0;
    if (RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ | KEY_SET_VALUE | VIEW,
                        nullptr, &made, &disposition) != ERROR_SUCCESS)
        return Result(ChangeStep::Failed, L"could not be made again");
    UniqueRegistryKey key(made);
    if (disposition == REG_OPENED_EXISTING_KEY) {
        std::vector<RecordedValue> now;
        ChangeResult read = ReadKeyValues(key.get(), &now);
        if (read.step == ChangeStep::Done && SameValues(now, recorded))
            return read;
        if (read.step != ChangeStep::Done || !now.empty())
            return Result(ChangeStep::NameTaken, L"another registration has its place now");
    }
    for (const RecordedValue& value : recorded) {
        if (RegSetValueExW(key.get(), value.name.c_str(), 0, value.type,
                           reinterpret_cast<const BYTE*>(value.data.data()),
                           static_cast<DWORD>(value.data.size())) != ERROR_SUCCESS)
            return Result(ChangeStep::Failed, L"could not be written back whole");
    }
    return Result(ChangeStep::Done);
}

// Firefox's registration is one value: deleted as the other value fixes delete theirs.
std::wstring ValueRefusal(const RegistryPlace& place) {
    return PlaceRefusal({place.machine, place.key, place.name});
}

// The review judged the extension, by its id (the value's name): any path it holds goes.
bool RegistrationAsReviewed(const SavedRegistryValue& value, const std::wstring&) {
    return value.type == REG_SZ || value.type == REG_EXPAND_SZ;
}

const ValueFix REGISTRATION_VALUE_FIX = {KIND, L"extension registration", ValueRefusal, RegistrationAsReviewed};

void PlanKeyDeletion(const CleanupOptions& options,
                     const FixTarget& target,
                     const LauncherRegistryRoots& roots,
                     const ExtensionRegistration& place,
                     std::vector<PlannedChange>* plan,
                     ChangeRunOutcome* result) {
    HKEY root = place.machine ? roots.machine : roots.user;
    UniqueRegistryKey key;
    std::vector<RecordedValue> values;
    ChangeResult read = root ? OpenKey(root, place.key, KEY_READ, &key) : Result(ChangeStep::Gone);
    if (read.step == ChangeStep::Done)
        read = ReadKeyValues(key.get(), &values);
    if (read.step != ChangeStep::Done)
        return LeaveTarget(options, KIND, target.location,
                           read.step == ChangeStep::Gone ? L"it is no longer there" : read.why, result);
    if (options.preview) {
        ++result->done;
        return WriteLine(
            options, L"  [preview] would delete the extension registration: " + MaskUnsafeCharacters(target.location));
    }
    ChangeEntry entry;
    entry.findingId = target.findingId;
    entry.kind = KIND;
    entry.location = ExtensionRegistrationText(place);
    entry.machine = place.machine;
    entry.valueKey = place.key;
    entry.keyValues = values;
    std::wstring path = place.key;
    plan->push_back({std::move(entry), L"  extension registration deleted: ",
                     [root, path, values] { return DeleteKeyIfSame(root, path, values); }});
}

}  // namespace

void FixExtensionRegistrations(const CleanupOptions& options,
                               const std::vector<FixTarget>& targets,
                               const LauncherRegistryRoots& roots,
                               ChangeLog* log,
                               ChangeRunOutcome* result) {
    bool any = false;
    std::vector<PlannedChange> plan;
    for (const FixTarget& target : targets) {
        if (!target.kind || std::string_view(target.kind->name) != KIND)
            continue;
        if (!any)
            WriteLine(options, L"Deleting extensions' registrations by other programs...");
        any = true;
        ExtensionRegistration place;
        if (!ParseExtensionRegistration(target.location, &place)) {
            LeaveTarget(options, KIND, target.location, L"not an extension registration", result);
            continue;
        }
        std::wstring refusal = PlaceRefusal(place);
        if (!refusal.empty())
            LeaveTarget(options, KIND, target.location, refusal, result);
        else if (!place.name.empty())
            PlanValueDeletion(options, target, roots, REGISTRATION_VALUE_FIX, &plan, result);
        else
            PlanKeyDeletion(options, target, roots, place, &plan, result);
    }
    MakePlannedChanges(options, std::move(plan), log, result);
}

std::wstring RegistrationRefusal(const ChangeEntry& entry) {
    return PlaceRefusal({entry.machine, entry.valueKey, entry.valueName});
}

void PutBackRegistrationEntry(const CleanupOptions& options,
                              std::size_t index,
                              const LauncherRegistryRoots& roots,
                              ChangeLog* log) {
    const ChangeEntry& entry = log->record.changes[index];
    HKEY root = entry.machine ? roots.machine : roots.user;
    ChangeResult back = !entry.valueName.empty() ? PutDeletedValueBack(roots, entry)
                        : root                   ? PutKeyBack(root, entry.valueKey, entry.keyValues)
                               : Result(ChangeStep::Refused, L"is under a root this run does not look at");
    if (back.step == ChangeStep::Done) {
        MarkChange(log, index, ChangeState::Undone);
        return WriteLine(options, L"  extension registration put back: " + MaskUnsafeCharacters(entry.location));
    }
    std::wstring why = back.why.empty() ? L"it could not be put back" : back.why;
    MarkChange(log, index, ChangeState::Left, why);
    WriteLine(options, L"  left as it is (" + why + L"): " + MaskUnsafeCharacters(entry.location));
}
