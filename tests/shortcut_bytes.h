// Builds shortcut (.lnk) files byte by byte, section by section as the shell
// link binary format lays them out, independently of the reader under test:
// every ExtraData block, window states and hot keys that the shell's own writer
// cannot make. Plain C++.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace shortcut_bytes {

inline void Put(std::string* bytes, uint64_t value, int width) {
    for (int i = 0; i < width; ++i)
        bytes->push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// An ExtraData block: its size (which counts itself), its signature and a
// recognisable filling of the rest (or the payload given).
inline std::string Block(uint32_t signature, uint32_t size, const std::string& payload = std::string()) {
    std::string block;
    Put(&block, size, 4);
    Put(&block, signature, 4);
    block += payload;
    for (uint32_t i = static_cast<uint32_t>(block.size()); i < size; ++i)
        block.push_back(static_cast<char>((i * 37 + signature) & 0xFF));
    block.resize(size);
    return block;
}

inline std::string Utf16(const std::wstring& text) {
    std::string bytes;
    for (wchar_t unit : text)
        Put(&bytes, static_cast<uint16_t>(unit), 2);
    return bytes;
}

// A LinkInfo with a VolumeID and a LocalBasePath: how a shortcut names a local target.
inline std::string LocalLinkInfo(const std::string& path) {
    std::string volume;
    Put(&volume, 0x11, 4);  // VolumeIDSize
    Put(&volume, 3, 4);     // DRIVE_FIXED
    Put(&volume, 0x1234ABCD, 4);
    Put(&volume, 0x10, 4);  // VolumeLabelOffset
    volume.push_back('\0');
    std::string info;
    uint32_t header = 0x1C;
    uint32_t size = header + static_cast<uint32_t>(volume.size() + path.size() + 1 + 1);
    Put(&info, size, 4);
    Put(&info, header, 4);
    Put(&info, 1, 4);  // VolumeIDAndLocalBasePath
    Put(&info, header, 4);
    Put(&info, header + volume.size(), 4);
    Put(&info, 0, 4);
    Put(&info, header + volume.size() + path.size() + 1, 4);  // CommonPathSuffix: ""
    return info + volume + path + '\0' + '\0';
}

constexpr uint32_t CONSOLE = 0xA0000002;
constexpr uint32_t CONSOLE_FE = 0xA0000004;
constexpr uint32_t TRACKER = 0xA0000003;
constexpr uint32_t KNOWN_FOLDER = 0xA000000B;
constexpr uint32_t SPECIAL_FOLDER = 0xA0000005;
constexpr uint32_t ICON_ENVIRONMENT = 0xA0000007;
constexpr uint32_t VISTA_ID_LIST = 0xA000000C;
constexpr uint32_t PROPERTY_STORE = 0xA0000009;

// Every kind of block at the size the format gives it.
inline std::vector<std::string> EveryBlock() {
    return {Block(CONSOLE, 0xCC),        Block(CONSOLE_FE, 0x0C),
            Block(TRACKER, 0x60),        Block(KNOWN_FOLDER, 0x1C),
            Block(SPECIAL_FOLDER, 0x10), Block(ICON_ENVIRONMENT, 0x314),
            Block(VISTA_ID_LIST, 0x20),  Block(PROPERTY_STORE, 0x60, Utf16(L"Chromium.Pinned.AppUserModelId"))};
}

struct Shortcut {
    uint32_t otherFlags = 0;  // LinkFlags besides the sections' and IsUnicode (RunAsUser 0x2000, ...)
    bool unicode = true;
    uint32_t fileAttributes = 0x20;
    uint64_t times[3] = {0x01D9A0B0C0D0E0F0ull, 0x01D9A0B0C0D0E0F1ull, 0x01D9A0B0C0D0E0F2ull};
    uint32_t fileSize = 2547200;
    int32_t iconIndex = 0;
    uint32_t showCommand = 1;
    uint16_t hotKey = 0;
    std::string idList;    // the ID list without its size; "" for none
    std::string linkInfo;  // the whole LinkInfo; "" for none
    // NAME, RELATIVE_PATH, WORKING_DIR, COMMAND_LINE_ARGUMENTS, ICON_LOCATION; nullopt: absent.
    std::array<std::optional<std::wstring>, 5> strings;
    bool countTerminator = false;  // as Wine writes them: each string's count takes in a U+0000
    std::vector<std::string> blocks;
    bool terminal = true;
    std::string after;  // bytes after everything

    std::string Build() const {
        uint32_t flags = otherFlags | (unicode ? 0x80 : 0) | (idList.empty() ? 0 : 0x1) | (linkInfo.empty() ? 0 : 0x2);
        for (std::size_t i = 0; i < strings.size(); ++i)
            flags |= strings[i] ? (0x4u << i) : 0;
        std::string bytes;
        Put(&bytes, 0x4C, 4);
        bytes += std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
        Put(&bytes, flags, 4);
        Put(&bytes, fileAttributes, 4);
        for (uint64_t time : times)
            Put(&bytes, time, 8);
        Put(&bytes, fileSize, 4);
        Put(&bytes, static_cast<uint32_t>(iconIndex), 4);
        Put(&bytes, showCommand, 4);
        Put(&bytes, hotKey, 2);
        Put(&bytes, 0, 10);
        if (!idList.empty()) {
            Put(&bytes, idList.size(), 2);
            bytes += idList;
        }
        bytes += linkInfo;
        for (const std::optional<std::wstring>& text : strings) {
            if (!text)
                continue;
            std::wstring stored = countTerminator ? *text + L'\0' : *text;
            Put(&bytes, stored.size(), 2);
            if (unicode) {
                bytes += Utf16(stored);
            } else {
                for (wchar_t c : stored)
                    bytes.push_back(static_cast<char>(c));
            }
        }
        for (const std::string& block : blocks)
            bytes += block;
        if (terminal)
            Put(&bytes, 0, 4);
        return bytes + after;
    }
};

// A browser shortcut as an installer writes it: a local target, a working
// folder, arguments and an icon, no ID list.
inline Shortcut BrowserShortcutBytes(const std::string& target, const std::wstring& arguments) {
    Shortcut shortcut;
    shortcut.linkInfo = LocalLinkInfo(target);
    shortcut.strings[2] = std::wstring(target.begin(), target.begin() + target.find_last_of('\\'));
    shortcut.strings[3] = arguments;
    shortcut.strings[4] = std::wstring(target.begin(), target.end());
    return shortcut;
}

}  // namespace shortcut_bytes
