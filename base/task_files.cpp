// The files in which the Task Scheduler keeps each task's definition, for where
// the service cannot list them: one file per task below System32\Tasks, its
// folders the task folders. Walked as shortcut folders are: bounded, never
// through a link, each file size-checked, what cannot be read named.
#include "base/windows_launch_sources.h"

namespace {

struct FileWalk {
    const TaskLimits& limits;
    TaskListing* listing;
    std::size_t folders = 0;
    std::size_t tasks = 0;
    bool tasksCut = false;

    void Problem(const std::wstring& path, const std::wstring& why) { listing->problems.push_back({path, why}); }
};

// "\" + name below the root folder, "\Vendor" + "\" + name below it.
std::wstring TaskPath(const std::wstring& folderPath, const std::wstring& name) {
    return (folderPath == L"\\" ? L"" : folderPath) + L"\\" + name;
}

void ReadTaskFile(FileWalk& walk, const std::wstring& file, const std::wstring& taskPath) {
    std::string bytes;
    FileRead read = ReadFileBytes(file, MAX_TASK_FILE_BYTES, &bytes);
    if (read == FileRead::TooLarge) {
        walk.Problem(taskPath, FormatWide(L"its file is larger than %llu MB, not read",
                                          static_cast<unsigned long long>(MAX_TASK_FILE_BYTES >> 20)));
        return;
    }
    if (read != FileRead::Done) {
        if (read == FileRead::Unreadable)
            walk.Problem(taskPath, L"its file could not be read");
        return;
    }
    ScheduledTask task;
    task.path = taskPath;
    if (ReadTaskDefinition(bytes, walk.limits, &task, &walk.listing->problems))
        walk.listing->tasks.push_back(std::move(task));
}

void WalkTaskFolder(FileWalk& walk, const std::wstring& folder, const std::wstring& folderPath, int depth) {
    std::vector<std::pair<std::wstring, std::wstring>> subfolders;  // file-system path, task path
    ForEachFolderEntry(folder, [&](const std::wstring& name, uint32_t attributes) {
        std::wstring path = folder + L"\\" + name;
        std::wstring taskPath = TaskPath(folderPath, name);
        // A link is never followed: it would read a file or folder the service does not keep.
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            walk.Problem(taskPath, L"a link, not followed");
        } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            subfolders.emplace_back(path, taskPath);
        } else if (walk.tasks >= walk.limits.maxTasks) {
            walk.tasksCut = true;
        } else {
            ++walk.tasks;
            ReadTaskFile(walk, path, taskPath);
        }
    });
    if (subfolders.empty())
        return;
    if (depth >= walk.limits.maxDepth) {
        walk.Problem(folderPath,
                     FormatWide(L"folders more than %d levels deep were not looked at", walk.limits.maxDepth));
        return;
    }
    for (const auto& [path, taskPath] : subfolders) {
        if (walk.folders >= walk.limits.maxFolders) {
            walk.Problem(folderPath, FormatWide(L"only the first %zu folders were looked at", walk.limits.maxFolders));
            return;
        }
        ++walk.folders;
        WalkTaskFolder(walk, path, taskPath, depth + 1);
    }
}

}  // namespace

std::wstring SystemTaskFilesFolder() {
    wchar_t system[MAX_PATH];
    UINT length = GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::wstring();
    return std::wstring(system, length) + L"\\Tasks";
}

TaskListing ReadTaskFiles(const std::wstring& folder, const std::wstring& filesFolder, const TaskLimits& limits) {
    TaskListing listing;
    listing.source = TaskSource::Files;
    listing.filesFolder = filesFolder;
    std::wstring below = folder == L"\\" ? std::wstring() : folder;
    std::wstring start = FullFolderPath(filesFolder + below);
    if (filesFolder.empty() || start.empty() || !IsExistingFolder(start)) {
        listing.problems.push_back({folder, L"its task files could not be found in " + filesFolder + below});
        return listing;
    }
    DWORD attributes = GetFileAttributesW(LongPathForm(start).c_str());
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        listing.problems.push_back({folder, L"its task files are behind a link, not followed"});
        return listing;
    }
    FileWalk walk{limits, &listing};
    WalkTaskFolder(walk, start, folder.empty() ? L"\\" : folder, 0);
    if (walk.tasksCut)
        listing.problems.push_back({folder, FormatWide(L"only the first %zu tasks were looked at", limits.maxTasks)});
    return listing;
}
