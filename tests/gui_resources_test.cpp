// What is built into popswat-gui.exe: the icon group, the application manifest and the DLLs it imports.
#include <gtest/gtest.h>

#include <string>

#include "gui/gui.h"
#include "tests/test_support.h"

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

const WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// The bytes of one resource tagged English (United States); empty when there is none.
std::string ResourceBytes(HMODULE module, LPCWSTR type, LPCWSTR name) {
    HRSRC found = FindResourceExW(module, type, name, kEnglishUs);
    if (!found)
        return std::string();
    HGLOBAL loaded = LoadResource(module, found);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    return bytes ? std::string(bytes, SizeofResource(module, found)) : std::string();
}

class GuiResources : public testing::Test {
protected:
    void SetUp() override {
        module_ = LoadLibraryExW(TestProgramPath(L"popswat-gui.exe").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module_, nullptr) << GetLastError();
    }
    void TearDown() override {
        if (module_)
            FreeLibrary(module_);
    }
    HMODULE module_ = nullptr;
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
        "type=\"win32\" name=\"PopSwat\" version=\"1.0.0.0\" processorArchitecture=\"*\"",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "language=\"*\"",
        ">true</dpiAware>",
        "level=\"asInvoker\" uiAccess=\"false\"",
    };
    for (const char* text : expected)
        EXPECT_NE(manifest.find(text), std::string::npos) << text;
}

TEST_F(GuiResources, ImportsOnlyWindowsSystemDlls) {
    // Mapped as an image, so addresses inside it are its relative virtual addresses.
    const BYTE* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module_) & ~ULONG_PTR(3));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(imports.VirtualAddress, 0u);
    const char* allowed[] = {"kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "comctl32.dll", "msvcrt.dll"};
    int count = 0;
    for (const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         entry->Name != 0; ++entry, ++count) {
        const char* name = reinterpret_cast<const char*>(base + entry->Name);
        bool known = false;
        for (const char* dll : allowed)
            known = known || _stricmp(name, dll) == 0;
        EXPECT_TRUE(known) << name;
    }
    EXPECT_GE(count, 4);
}

}  // namespace
