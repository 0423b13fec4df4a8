// Reading and changing a shortcut file's sections from its bytes (MS-SHLLINK).
// Plain C++ with no Windows headers.
#include "base/base.h"

#include <cstring>

namespace {

constexpr std::size_t HEADER_BYTES = 0x4C;
constexpr std::size_t LINK_FLAGS_AT = 0x14;
constexpr std::size_t ICON_INDEX_AT = 0x38;
constexpr std::size_t SHOW_COMMAND_AT = 0x3C;
constexpr std::size_t HOT_KEY_AT = 0x40;
// 00021401-0000-0000-C000-000000000046, as stored.
constexpr unsigned char SHELL_LINK_CLASS[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// HasName, HasRelativePath, HasWorkingDir, HasArguments, HasIconLocation: by ShortcutString.
constexpr uint32_t STRING_FLAGS[SHORTCUT_STRING_COUNT] = {0x4, 0x8, 0x10, SHORTCUT_HAS_ARGUMENTS, 0x40};
constexpr std::size_t ARGUMENTS = static_cast<std::size_t>(ShortcutString::Arguments);
constexpr std::size_t MAX_STRING_UNITS = 0xFFFF;

uint32_t ReadLittleEndian(std::string_view bytes, std::size_t at, std::size_t width) {
    uint32_t value = 0;
    for (std::size_t i = width; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

void WriteLittleEndian(std::string* bytes, std::size_t at, uint32_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        (*bytes)[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string Utf16Bytes(const std::wstring& text) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (wchar_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>((unit >> 8) & 0xFF));
    }
    return bytes;
}

// Reads the sections one after the other; false, with the problem set, where one does not fit.
class LayoutReader {
public:
    LayoutReader(std::string_view bytes, ShortcutLayout* layout) : bytes_(bytes), layout_(layout) {}

    bool Fits(std::size_t size) const { return size <= bytes_.size() - at_; }
    // A section that starts with its own size, of the given width; counted says whether the size counts itself.
    bool SizedSection(std::size_t width, bool counted, ShortcutSpan* span) {
        if (!Fits(width))
            return Fail();
        std::size_t size = ReadLittleEndian(bytes_, at_, width);
        if (!counted)
            size += width;
        else if (size < width)
            return Fail();
        return Take(size, span);
    }
    bool Take(std::size_t size, ShortcutSpan* span) {
        if (!Fits(size))
            return Fail();
        *span = {at_, size};
        at_ += size;
        return true;
    }
    bool Fail() {
        layout_->problem = ShortcutLayoutProblem::SectionsDoNotAddUp;
        return false;
    }
    std::size_t at() const { return at_; }

private:
    std::string_view bytes_;
    ShortcutLayout* layout_;
    std::size_t at_ = HEADER_BYTES;
};

bool ReadExtraData(std::string_view bytes, LayoutReader* reader, ShortcutLayout* layout) {
    for (;;) {
        if (!reader->Fits(4))
            return reader->Fail();  // no terminal block
        if (ReadLittleEndian(bytes, reader->at(), 4) < 4) {
            if (!reader->Take(4, &layout->terminal) || reader->at() != bytes.size())
                return reader->Fail();
            return true;
        }
        ShortcutExtraBlock block;
        if (!reader->SizedSection(4, true, &block.span) || block.span.size < 8)
            return reader->Fail();
        block.signature = ReadLittleEndian(bytes, block.span.offset + 4, 4);
        layout->extraBlocks.push_back(block);
    }
}

// Where the arguments are, or would be: after the strings stored before them.
ShortcutSpan ArgumentsField(const ShortcutLayout& layout) {
    ShortcutSpan field = layout.strings[ARGUMENTS];
    if (field.size != 0)
        return field;
    field.offset = layout.extraBlocks.empty() ? layout.terminal.offset : layout.extraBlocks[0].span.offset;
    for (std::size_t i = ARGUMENTS + 1; i < SHORTCUT_STRING_COUNT; ++i) {
        if (layout.strings[i].size != 0)
            return {layout.strings[i].offset, 0};
    }
    return field;
}

bool HoldsText(std::string_view bytes, const ShortcutSpan& span, const std::wstring& text) {
    if (text.empty())
        return false;
    return bytes.substr(span.offset, span.size).find(Utf16Bytes(text)) != std::string_view::npos;
}

}  // namespace

ShortcutLayout ReadShortcutLayout(std::string_view bytes) {
    ShortcutLayout layout;
    if (bytes.size() < HEADER_BYTES || ReadLittleEndian(bytes, 0, 4) != HEADER_BYTES ||
        std::memcmp(bytes.data() + 4, SHELL_LINK_CLASS, sizeof(SHELL_LINK_CLASS)) != 0)
        return layout;
    layout.problem = ShortcutLayoutProblem::None;
    layout.linkFlags = ReadLittleEndian(bytes, LINK_FLAGS_AT, 4);
    layout.iconIndex = static_cast<int32_t>(ReadLittleEndian(bytes, ICON_INDEX_AT, 4));
    layout.showCommand = ReadLittleEndian(bytes, SHOW_COMMAND_AT, 4);
    layout.hotKey = static_cast<uint16_t>(ReadLittleEndian(bytes, HOT_KEY_AT, 2));

    LayoutReader reader(bytes, &layout);
    if ((layout.linkFlags & SHORTCUT_HAS_ID_LIST) && !reader.SizedSection(2, false, &layout.idList))
        return layout;
    if ((layout.linkFlags & SHORTCUT_HAS_LINK_INFO) && !reader.SizedSection(4, true, &layout.linkInfo))
        return layout;
    std::size_t unitBytes = (layout.linkFlags & SHORTCUT_IS_UNICODE) ? 2 : 1;
    for (std::size_t i = 0; i < SHORTCUT_STRING_COUNT; ++i) {
        if (!(layout.linkFlags & STRING_FLAGS[i]))
            continue;
        if (!reader.Fits(2)) {
            reader.Fail();
            return layout;
        }
        if (!reader.Take(2 + unitBytes * ReadLittleEndian(bytes, reader.at(), 2), &layout.strings[i]))
            return layout;
    }
    if (!ReadExtraData(bytes, &reader, &layout))
        return layout;
    if (unitBytes == 1)
        layout.problem = ShortcutLayoutProblem::NotUnicode;
    return layout;
}

std::wstring ShortcutStringText(std::string_view bytes, const ShortcutLayout& layout, ShortcutString which) {
    const ShortcutSpan& span = layout.strings[static_cast<std::size_t>(which)];
    std::wstring text;
    if (span.size < 2 || !(layout.linkFlags & SHORTCUT_IS_UNICODE))
        return text;
    for (std::size_t at = span.offset + 2; at + 1 < span.offset + span.size; at += 2) {
        wchar_t unit = static_cast<wchar_t>(ReadLittleEndian(bytes, at, 2));
        if (unit == L'\0')
            break;
        text.push_back(unit);
    }
    return text;
}

ShortcutArgumentsEdit ReplaceShortcutArguments(std::string_view bytes, const std::wstring& arguments) {
    ShortcutArgumentsEdit edit;
    ShortcutLayout layout = ReadShortcutLayout(bytes);
    edit.problem = layout.problem;
    if (layout.problem != ShortcutLayoutProblem::None)
        return edit;
    edit.oldArguments = ShortcutStringText(bytes, layout, ShortcutString::Arguments);
    for (const ShortcutExtraBlock& block : layout.extraBlocks) {
        if (block.signature == SHORTCUT_PROPERTY_STORE_SIGNATURE && HoldsText(bytes, block.span, edit.oldArguments)) {
            edit.problem = ShortcutLayoutProblem::ArgumentsInPropertyStore;
            return edit;
        }
    }
    edit.oldField = ArgumentsField(layout);
    // The units after the old text's first U+0000 stay.
    std::string kept;
    if (edit.oldField.size != 0)
        kept = std::string(bytes.substr(edit.oldField.offset + 2 + 2 * edit.oldArguments.size(),
                                        edit.oldField.size - 2 - 2 * edit.oldArguments.size()));
    bool nothingLeft = arguments.empty() && kept.find_first_not_of('\0') == std::string::npos;
    std::string field;
    if (!nothingLeft) {
        std::size_t units = arguments.size() + kept.size() / 2;
        if (units > MAX_STRING_UNITS) {
            edit.problem = ShortcutLayoutProblem::ArgumentsTooLong;
            return edit;
        }
        field = std::string(2, '\0') + Utf16Bytes(arguments) + kept;
        WriteLittleEndian(&field, 0, static_cast<uint32_t>(units), 2);
    }
    edit.bytes.reserve(bytes.size() - edit.oldField.size + field.size());
    edit.bytes.append(bytes.substr(0, edit.oldField.offset));
    edit.bytes.append(field);
    edit.bytes.append(bytes.substr(edit.oldField.offset + edit.oldField.size));
    uint32_t flags = layout.linkFlags & ~SHORTCUT_HAS_ARGUMENTS;
    WriteLittleEndian(&edit.bytes, LINK_FLAGS_AT, nothingLeft ? flags : flags | SHORTCUT_HAS_ARGUMENTS, 4);
    edit.newField = {edit.oldField.offset, field.size()};
    return edit;
}

bool SameBytesOutsideArguments(std::string_view a, std::string_view b) {
    ShortcutLayout first = ReadShortcutLayout(a);
    ShortcutLayout second = ReadShortcutLayout(b);
    if (first.problem != ShortcutLayoutProblem::None || second.problem != ShortcutLayoutProblem::None)
        return false;
    if (((first.linkFlags ^ second.linkFlags) & ~SHORTCUT_HAS_ARGUMENTS) != 0)
        return false;
    ShortcutSpan x = ArgumentsField(first);
    ShortcutSpan y = ArgumentsField(second);
    std::string headerA(a.substr(0, HEADER_BYTES));
    std::string headerB(b.substr(0, HEADER_BYTES));
    WriteLittleEndian(&headerA, LINK_FLAGS_AT, first.linkFlags & ~SHORTCUT_HAS_ARGUMENTS, 4);
    WriteLittleEndian(&headerB, LINK_FLAGS_AT, second.linkFlags & ~SHORTCUT_HAS_ARGUMENTS, 4);
    return x.offset == y.offset && headerA == headerB &&
           a.substr(HEADER_BYTES, x.offset - HEADER_BYTES) == b.substr(HEADER_BYTES, y.offset - HEADER_BYTES) &&
           a.substr(x.offset + x.size) == b.substr(y.offset + y.size);
}
