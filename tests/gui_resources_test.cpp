// What is built into the programs: the window's icon group, the version resources, the application manifests and the
// DLLs each imports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gui/gui.h"
#include "tests/test_support.h"
#include "version.h"

namespace {

#pragma pack(push, 2)
// The layout of an RT_GROUP_ICON resource.
struct IconGroupEntry {
    BYTE width;
    BYTE height;
    BYTE colourCount;
    BYTE reserved;
    WORD planes;
    WORD bitCount;
    DWORD bytesInResource;
    WORD id;
};
struct IconGroupHeader {
    WORD reserved;
    WORD type;
    WORD count;
    IconGroupEntry entries[1];
};
#pragma pack(pop)

const WORD ENGLISH_US = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// The bytes of one resource tagged English (United States); empty when there is none.
std::string ResourceBytes(HMODULE module, LPCWSTR type, LPCWSTR name) {
    HRSRC found = FindResourceExW(module, type, name, ENGLISH_US);
    if (!found)
        return std::string();
    HGLOBAL loaded = LoadResource(module, found);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    return bytes ? std::string(bytes, SizeofResource(module, found)) : std::string();
}

struct ModuleTraits {
    using Handle = HMODULE;
    static Handle Empty() { return nullptr; }
    static void Close(Handle h) { FreeLibrary(h); }
};
struct ActivationContextTraits {
    using Handle = HANDLE;
    static Handle Empty() { return nullptr; }
    static void Close(Handle h) { ReleaseActCtx(h); }
};

// A built program mapped for reading its resources and headers, never run.
UniqueWinHandle<ModuleTraits> LoadProgramImage(const wchar_t* fileName) {
    return UniqueWinHandle<ModuleTraits>(LoadLibraryExW(TestProgramPath(fileName).c_str(), nullptr,
                                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
}

class GuiResources : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(image_) << GetLastError(); }
    UniqueWinHandle<ModuleTraits> image_ = LoadProgramImage(L"popswat-gui.exe");
    HMODULE module_ = image_.get();
};

struct ProgramRow {
    const wchar_t* fileName;
    const wchar_t* description;
    const char* assemblyName;
    std::vector<const char*> imports;  // the system DLLs it may import
};
const ProgramRow PROGRAMS[] = {
    {L"popswat.exe",
     L"PopSwat - Browser Popup Cleaner (console)",
     "PopSwat.Console",
     // ole32, oleaut32 and shell32: shortcuts, the Task Scheduler and known folders; wininet:
     // telling the running programs that the proxy settings changed.
     {"kernel32.dll", "advapi32.dll", "user32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "shell32.dll",
      "wininet.dll"}},
    {L"popswat-gui.exe",
     L"PopSwat - Browser Popup Cleaner",
     "PopSwat",
     // advapi32: the review in the findings window reads the browsers' policy keys; ole32 and
     // oleaut32: the shortcut repair and the review's shortcuts and tasks; wininet: a proxy
     // fixed from the window (the fixes' ApplyFixes) tells the running programs.
     {"kernel32.dll", "advapi32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "comctl32.dll", "msvcrt.dll",
      "ole32.dll", "oleaut32.dll", "wininet.dll"}},
};

TEST_F(GuiResources, IconGroupHoldsSevenPngImagesFrom16To256Pixels) {
    std::string group = ResourceBytes(module_, RT_GROUP_ICON, MAKEINTRESOURCEW(IDI_APP_ICON));
    ASSERT_GE(group.size(), 6u);
    const auto* header = reinterpret_cast<const IconGroupHeader*>(group.data());
    ASSERT_EQ(header->type, 1);
    ASSERT_EQ(header->count, 7);
    ASSERT_EQ(group.size(), 6 + 7 * sizeof(IconGroupEntry));
    const int sizes[] = {16, 24, 32, 48, 64, 128, 256};
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(testing::Message() << sizes[i] << " pixels");
        const IconGroupEntry& entry = header->entries[i];
        EXPECT_EQ(entry.width, sizes[i] % 256);  // 256 is stored as 0
        EXPECT_EQ(entry.height, sizes[i] % 256);
        EXPECT_EQ(entry.bitCount, 32);
        std::string image = ResourceBytes(module_, RT_ICON, MAKEINTRESOURCEW(entry.id));
        ASSERT_EQ(image.size(), entry.bytesInResource);
        ASSERT_GT(image.size(), 33u);
        EXPECT_EQ(image.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
        // IHDR: width, height (big-endian), bit depth 8, colour type 6 = RGBA.
        auto bigEndian = [&](std::size_t at) {
            return (BYTE(image[at]) << 24) | (BYTE(image[at + 1]) << 16) | (BYTE(image[at + 2]) << 8) |
                   BYTE(image[at + 3]);
        };
        EXPECT_EQ(bigEndian(16), sizes[i]);
        EXPECT_EQ(bigEndian(20), sizes[i]);
        EXPECT_EQ(image[24], 8);
        EXPECT_EQ(image[25], 6);
    }
}

TEST_F(GuiResources, IconLoadsAtTheHeaderSizes) {
    for (int size : {48, 60, 72}) {
        SCOPED_TRACE(size);
        HICON icon = static_cast<HICON>(
            LoadImageW(module_, MAKEINTRESOURCEW(IDI_APP_ICON), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
        ASSERT_NE(icon, nullptr);
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP colour = {};
        GetObjectW(info.hbmColor, sizeof(colour), &colour);
        EXPECT_EQ(colour.bmWidth, size);
        EXPECT_EQ(colour.bmHeight, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}

TEST_F(GuiResources, ManifestAsksForCommonControlsSixDpiAwarenessAndNoElevation) {
    std::string manifest = ResourceBytes(module_, RT_MANIFEST, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(manifest.empty());
    const char* expected[] = {
        "type=\"win32\" name=\"PopSwat\" version=\"" POPSWAT_FILE_VERSION_TEXT "\" processorArchitecture=\"*\"",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "language=\"*\"",
        ">true</dpiAware>",
        "level=\"asInvoker\" uiAccess=\"false\"",
    };
    for (const char* text : expected)
        EXPECT_NE(manifest.find(text), std::string::npos) << text;
}

// Explorer's Properties show the US English, UTF-16 strings named by the Translation value.
TEST(ProgramResources, VersionResourceNamesTheProgramAndTheProjectVersion) {
    const WORD numbers[] = {POPSWAT_VERSION_NUMBERS};
    for (const ProgramRow& program : PROGRAMS) {
        SCOPED_TRACE(testing::Message() << program.fileName);
        std::wstring path = TestProgramPath(program.fileName);
        std::vector<BYTE> block(GetFileVersionInfoSizeW(path.c_str(), nullptr));
        ASSERT_TRUE(!block.empty() && GetFileVersionInfoW(path.c_str(), 0, DWORD(block.size()), block.data()));
        UINT size = 0;
        auto query = [&](const std::wstring& name) {
            void* value = nullptr;
            return VerQueryValueW(block.data(), name.c_str(), &value, &size) ? value : nullptr;
        };
        const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query(L"\\"));
        ASSERT_TRUE(fixed && size == sizeof(VS_FIXEDFILEINFO));
        EXPECT_EQ(fixed->dwFileVersionMS, DWORD(MAKELONG(numbers[1], numbers[0])));
        EXPECT_EQ(fixed->dwFileVersionLS, DWORD(MAKELONG(numbers[3], numbers[2])));
        EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
        EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
        EXPECT_EQ(fixed->dwFileType, DWORD(VFT_APP));
        const auto* translation = static_cast<const WORD*>(query(L"\\VarFileInfo\\Translation"));
        ASSERT_TRUE(translation && size == 4);
        EXPECT_EQ(translation[0], 0x0409);
        EXPECT_EQ(translation[1], 1200);
        std::wstring name = program.fileName;
        const std::pair<const wchar_t*, std::wstring> strings[] = {
            {L"CompanyName", L"The PopSwat developers"},
            {L"FileDescription", program.description},
            {L"FileVersion", L"" POPSWAT_FILE_VERSION_TEXT},
            {L"InternalName", name.substr(0, name.size() - 4)},
            {L"LegalCopyright", L"Copyright (c) 2026 The PopSwat developers. MIT License."},
            {L"OriginalFilename", name},
            {L"ProductName", L"PopSwat"},
            {L"ProductVersion", L"" POPSWAT_PRODUCT_VERSION_TEXT},
        };
        for (const auto& string : strings) {
            const auto* text =
                static_cast<const wchar_t*>(query(L"\\StringFileInfo\\040904B0\\" + std::wstring(string.first)));
            EXPECT_EQ(text ? std::wstring(text, wcsnlen(text, size)) : L"<none>", string.second) << string.first;
        }
    }
}

TEST(ProgramResources, ManifestAsksForNoElevationWindows7To11AndLongPaths) {
    for (const ProgramRow& program : PROGRAMS) {
        SCOPED_TRACE(testing::Message() << program.fileName);
        auto image = LoadProgramImage(program.fileName);
        ASSERT_TRUE(image) << GetLastError();
        std::string manifest = ResourceBytes(image.get(), RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID);
        const std::string expected[] = {
            "name=\"" + std::string(program.assemblyName) + "\" version=\"" POPSWAT_FILE_VERSION_TEXT "\"",
            "level=\"asInvoker\" uiAccess=\"false\"",
            "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",  // Windows 10 and 11
            "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>",  // Windows 8.1
            "<supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>",  // Windows 8
            "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>",  // Windows 7
        };
        for (const std::string& text : expected)
            EXPECT_NE(manifest.find(text), std::string::npos) << text;

        // As Windows reads it at start-up: a malformed manifest is refused (14001), misplaced settings are not seen.
        std::wstring path = TestProgramPath(program.fileName);
        ACTCTXW request = {};
        request.cbSize = sizeof(request);
        request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.lpSource = path.c_str();
        request.lpResourceName = CREATEPROCESS_MANIFEST_RESOURCE_ID;
        UniqueWinHandle<ActivationContextTraits> context(CreateActCtxW(&request));
        ASSERT_TRUE(context) << GetLastError();
        wchar_t longPaths[8] = L"";
        QueryActCtxSettingsW(0, context.get(), L"http://schemas.microsoft.com/SMI/2016/WindowsSettings",
                             L"longPathAware", longPaths, 8, nullptr);
        EXPECT_STREQ(longPaths, L"true");
        // The size of a supportedOS record differs between Windows versions; their count comes first.
        DWORD compatibility[64] = {};
        QueryActCtxW(0, context.get(), nullptr, CompatibilityInformationInActivationContext, compatibility,
                     sizeof(compatibility), nullptr);
        EXPECT_EQ(compatibility[0], 4u);
    }
}

TEST(ProgramResources, ImportsOnlyWindowsSystemDlls) {
    for (const ProgramRow& program : PROGRAMS) {
        SCOPED_TRACE(testing::Message() << program.fileName);
        auto image = LoadProgramImage(program.fileName);
        ASSERT_TRUE(image) << GetLastError();
        // Mapped as an image, so addresses inside it are its relative virtual addresses.
        const BYTE* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(image.get()) & ~ULONG_PTR(3));
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        ASSERT_NE(imports.VirtualAddress, 0u);
        std::size_t count = 0;
        for (const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
             entry->Name != 0; ++entry, ++count) {
            const char* name = reinterpret_cast<const char*>(base + entry->Name);
            bool known = false;
            for (const char* dll : program.imports)
                known = known || _stricmp(name, dll) == 0;
            EXPECT_TRUE(known) << name;
        }
        EXPECT_GE(count, 4u);
    }
}

}  // namespace
