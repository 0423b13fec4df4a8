// The user's proxy turned off: ProxyEnable set to 0 where the review found
// ProxyServer in use, AutoConfigURL deleted; each value's type and bytes
// recorded exactly first, and only while the finding still holds what the
// review saw. The running programs are told (WinINet's settings changed and
// refresh), after the fix and after the undo.
#include "engine/engine_parts.h"

namespace {

const char KIND[] = "proxy";

bool IsText(const SavedRegistryValue& value) {
    return value.type == REG_SZ || value.type == REG_EXPAND_SZ;
}

std::wstring TextOf(const SavedRegistryValue& value) {
    return RegistryValueText(reinterpret_cast<const BYTE*>(value.data.data()), static_cast<DWORD>(value.data.size()),
                             value.type);
}

// ProxyEnable as the fix leaves it.
SavedRegistryValue ProxyOff() {
    return {REG_DWORD, std::string(4, '\0')};
}

bool IsProxyEnable(const std::wstring& name) {
    return EqualsIgnoringAsciiCase(name, L"ProxyEnable");
}

// Returns true when a change was made (the programs are to be told).
bool FixProxySetting(const CleanupOptions& options,
                     const FixTarget& target,
                     const LauncherSources& sources,
                     ChangeLog* log,
                     ChangeRunOutcome* result) {
    RegistryPlace found;
    SavedRegistryValue reviewed;
    if (!FindRegistryPlace(sources.registry, target.location, &found))
        return LeaveTarget(options, KIND, target.location, L"it is no longer there", result), false;
    bool server = EqualsIgnoringAsciiCase(found.name, L"ProxyServer");
    // ProxyServer itself stays: it is ProxyEnable that turns it on.
    RegistryPlace place = server ? RegistryPlace{found.machine, found.key, L"ProxyEnable"} : found;
    if (KindOfRegistryPlace(place) != RegistryPlaceKind::Proxy || IsProxyEnable(found.name))
        return LeaveTarget(options, KIND, target.location, L"not a proxy setting", result), false;
    if (NeedsAdministrator(RegistryPlaceNeedsAdministrator(place)))
        return LeaveTarget(options, KIND, target.location, L"needs an administrator", result), false;
    ChangeResult read = SaveRegistryValue(sources.registry, found, &reviewed);
    if (read.step != ChangeStep::Done)
        return LeaveTarget(options, KIND, target.location, WhyNotChanged(read), result), false;
    if (!IsText(reviewed) || TextOf(reviewed) != target.command)
        return LeaveTarget(options, KIND, target.location, L"it has changed since the review", result), false;
    SavedRegistryValue saved = reviewed;
    if (server) {
        read = SaveRegistryValue(sources.registry, place, &saved);
        // Without ProxyEnable, or with it 0, the server is not used: nothing to turn off.
        if (read.step == ChangeStep::Gone ||
            (read.step == ChangeStep::Done && saved.type == REG_DWORD && saved.data == ProxyOff().data))
            return LeaveTarget(options, KIND, target.location, L"it is no longer in use", result), false;
        if (read.step != ChangeStep::Done)
            return LeaveTarget(options, KIND, target.location, WhyNotChanged(read), result), false;
        if (saved.type != REG_DWORD || saved.data.size() != 4)
            return LeaveTarget(options, KIND, target.location, L"its ProxyEnable is not a number", result), false;
    }
    if (options.preview) {
        ++result->done;
        WriteLine(options, std::wstring(server ? L"  [preview] would turn off the proxy: "
                                               : L"  [preview] would delete the proxy script: ") +
                               MaskUnsafeCharacters(target.location));
        return false;
    }
    ChangeEntry entry;
    entry.findingId = target.findingId;
    entry.kind = KIND;
    entry.location = RegistryPlaceText(place);
    entry.machine = place.machine;
    entry.valueKey = place.key;
    entry.valueName = place.name;
    entry.valueType = saved.type;
    entry.valueData = saved.data;
    std::size_t index = log->record.changes.size();
    if (!RecordPending(log, {std::move(entry)}))
        return LeaveTarget(options, KIND, target.location, L"the record of changes could not be written", result),
               false;
    ChangeResult done = server ? ReplaceRegistryValueIfSame(sources.registry, place, saved, ProxyOff())
                               : DeleteRegistryValueIfSame(sources.registry, place, saved);
    if (done.step != ChangeStep::Done) {
        MarkChange(log, index, ChangeState::Left, WhyNotChanged(done));
        return LeaveTarget(options, KIND, target.location, WhyNotChanged(done), result), false;
    }
    MarkChange(log, index, ChangeState::Done);
    ++result->done;
    WriteLine(options, std::wstring(server ? L"  proxy turned off: " : L"  proxy script deleted: ") +
                           MaskUnsafeCharacters(target.location));
    return true;
}

}  // namespace

void FixProxySettings(const CleanupOptions& options,
                      const std::vector<FixTarget>& targets,
                      const LauncherSources& sources,
                      ChangeLog* log,
                      ChangeRunOutcome* result) {
    bool any = false, changed = false;
    for (const FixTarget& target : targets) {
        if (!target.kind || std::string_view(target.kind->name) != KIND)
            continue;
        if (!any)
            WriteLine(options, L"Turning off the proxy...");
        any = true;
        changed |= FixProxySetting(options, target, sources, log, result);
    }
    if (changed)
        TellProgramsProxySettingsChanged(sources.registry);
}

std::wstring ProxyRefusal(const ChangeEntry& entry) {
    RegistryPlace place{entry.machine, entry.valueKey, entry.valueName};
    if (KindOfRegistryPlace(place) != RegistryPlaceKind::Proxy)
        return L"not a proxy setting";
    return NeedsAdministrator(RegistryPlaceNeedsAdministrator(place)) ? L"needs an administrator" : L"";
}

void PutBackProxyEntry(const CleanupOptions& options,
                       std::size_t index,
                       const LauncherSources& sources,
                       ChangeLog* log) {
    const ChangeEntry& entry = log->record.changes[index];
    RegistryPlace place{entry.machine, entry.valueKey, entry.valueName};
    SavedRegistryValue saved{entry.valueType, entry.valueData};
    ChangeResult back;
    if (IsProxyEnable(place.name)) {
        // Back only from the 0 the fix wrote (or from nothing): another value is someone's choice.
        back = PutRegistryValueBack(sources.registry, place, saved);
        if (back.step == ChangeStep::NameTaken)
            back = ReplaceRegistryValueIfSame(sources.registry, place, ProxyOff(), saved);
        if (back.step == ChangeStep::Changed)
            back = {ChangeStep::NameTaken, L"it has changed since the fix"};
    } else {
        back = PutRegistryValueBack(sources.registry, place, saved);
    }
    if (back.step == ChangeStep::Done) {
        MarkChange(log, index, ChangeState::Undone);
        TellProgramsProxySettingsChanged(sources.registry);
        return WriteLine(options, L"  proxy setting put back: " + MaskUnsafeCharacters(entry.location));
    }
    std::wstring why = back.why.empty() ? L"it could not be put back" : back.why;
    MarkChange(log, index, ChangeState::Left, why);
    WriteLine(options, L"  left as it is (" + why + L"): " + MaskUnsafeCharacters(entry.location));
}
