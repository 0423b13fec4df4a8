// One run's record of changes and its folder of copies. The record is written
// ahead of each change: a change's entry is in changes.json, flushed to the disk,
// before the change is made, and changes.json is replaced as a whole (a new
// file, flushed, moved over the old one with write-through), so that a run
// stopped at any moment leaves a record that names everything it may have changed.
#include "base/win_handles.h"
#include "engine/engine_testing.h"

namespace {

const wchar_t RECORD_FILE[] = L"changes.json";

// "2026-12-07_143005" and "2026-12-07T14:30:05", from the same local time.
void TimeStamps(std::wstring* folderName, std::wstring* started) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    *folderName = FormatWide(L"%04u-%02u-%02u_%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                             now.wSecond);
    *started = FormatWide(L"%04u-%02u-%02uT%02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
                          now.wSecond);
}

bool MakeFolderStep(const std::wstring& folder) {
    return CreateDirectoryW(LongPathForm(folder).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// Writes the bytes into a file that did not exist, flushed; a file it made and
// could not fill is removed again.
bool WriteFlushedNewFile(const std::wstring& path, const std::string& bytes) {
    bool made = false;
    if (WriteNewFlushedFile(path, bytes, &made))
        return true;
    if (made) {
        DWORD error = GetLastError();
        DeleteFileW(LongPathForm(path).c_str());
        // Callers take "exists" as a name taken and try the next one.
        SetLastError(error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? ERROR_WRITE_FAULT : error);
    }
    return false;
}

}  // namespace

std::wstring BackupsFolder() {
    std::wstring local = ReadEnvironmentVariable(L"LOCALAPPDATA");
    if (local.empty())
        return std::wstring();
    std::wstring base = FullFolderPath(local + L"\\PopSwat");
    return base.empty() ? std::wstring() : base + L"\\Backups";
}

bool EnsureRunFolder(ChangeLog* log) {
    if (!log->folder.empty())
        return true;
    std::wstring backups = BackupsFolder();
    if (backups.empty() || !MakeFolderStep(backups.substr(0, backups.size() - 8)) || !MakeFolderStep(backups))
        return false;
    std::wstring name;
    TimeStamps(&name, &log->record.started);
    // A second run within the same second gets "-2", "-3", ...
    for (int attempt = 1; attempt < 100; ++attempt) {
        std::wstring folder = backups + L"\\" + (attempt == 1 ? name : name + L"-" + std::to_wstring(attempt));
        if (CreateDirectoryW(LongPathForm(folder).c_str(), nullptr)) {
            log->folder = folder;
            return true;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return false;
}

std::wstring CopyIntoRun(ChangeLog* log, const std::wstring& file, const wchar_t* suffix) {
    if (!EnsureRunFolder(log))
        return std::wstring();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::wstring name = std::to_wstring(++log->copies) + suffix;
        std::wstring copy = log->folder + L"\\" + name;
        if (CopyFileW(LongPathForm(file).c_str(), LongPathForm(copy).c_str(), TRUE)) {
            SetFileAttributesW(LongPathForm(copy).c_str(), FILE_ATTRIBUTE_NORMAL);
            return name;
        }
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return std::wstring();
    }
    return std::wstring();
}

std::wstring KeepBytesInRun(ChangeLog* log, const std::string& bytes, const wchar_t* suffix) {
    if (!EnsureRunFolder(log))
        return std::wstring();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::wstring name = std::to_wstring(++log->copies) + suffix;
        std::wstring copy = log->folder + L"\\" + name;
        if (WriteFlushedNewFile(copy, bytes))
            return name;
        // Another file has this name: take the next one.
        if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            return std::wstring();
    }
    return std::wstring();
}

std::wstring MakeFolderInRun(ChangeLog* log) {
    if (!EnsureRunFolder(log))
        return std::wstring();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::wstring name = std::to_wstring(++log->copies);
        if (CreateDirectoryW(LongPathForm(log->folder + L"\\" + name).c_str(), nullptr))
            return name;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return std::wstring();
    }
    return std::wstring();
}

bool SaveChangeLog(ChangeLog* log) {
    if (!EnsureRunFolder(log))
        return false;
    std::wstring record = log->folder + L"\\" + RECORD_FILE;
    std::wstring temporary = record + L"." + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    DeleteFileW(LongPathForm(temporary).c_str());
    if (!WriteFlushedNewFile(temporary, ChangeRecordJson(log->record)))
        return false;
    if (!MoveFileExW(LongPathForm(temporary).c_str(), LongPathForm(record).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(LongPathForm(temporary).c_str());
        return false;
    }
    log->unsaved = false;
    return true;
}

bool RecordPending(ChangeLog* log, std::vector<ChangeEntry> entries) {
    for (ChangeEntry& entry : entries)
        log->record.changes.push_back(std::move(entry));
    if (SaveChangeLog(log))
        return true;
    log->record.changes.resize(log->record.changes.size() - entries.size());
    return false;
}

void MarkChange(ChangeLog* log, std::size_t index, ChangeState state, const std::wstring& why) {
    ChangeEntry& entry = log->record.changes[index];
    entry.state = state;
    entry.why = why;
    log->unsaved = true;
    if (changeMade && state == ChangeState::Done)
        changeMade(index);
}

void FinishChangeLog(ChangeLog* log) {
    if (log->unsaved)
        SaveChangeLog(log);
}
