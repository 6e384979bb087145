#include "editor/hex_editor_status.h"

#include <algorithm>
#include <cstdio>

namespace {

template <typename... Args>
std::string Format(const char* format, Args... args) {
    char text[96];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

}  // namespace

std::array<int, kEditorStatusParts> HexEditorStatusEdges(int clientWidth) {
    const int m = std::max(clientWidth, 400);
    return {m - 390, m - 210, m - 150, m - 50, clientWidth};
}

HexEditorStatusUpdate HexEditorPositionUpdate(const HexEditorPosition& p) {
    HexEditorStatusUpdate update;
    const auto caret = static_cast<unsigned>(p.caretPos);
    if (p.dropActive) {
        update.cursor = Format("Cursor: %08X", caret);
        update.onlyCursor = true;
    } else if (p.selAnchor == p.selEnd || p.dragOutActive) {
        update.cursor = Format("Cursor: %08X", caret);
        update.count = Format("%u bytes", static_cast<unsigned>(p.docSize));
        update.readValue = p.caretPos < p.docSize && !p.dragOutActive;
    } else {
        update.cursor = Format("Selection: %08X - %08X", static_cast<unsigned>(p.selAnchor),
                               static_cast<unsigned>(p.selEnd));
        update.count = Format("%u bytes", static_cast<unsigned>(p.selLength));
    }
    return update;
}

std::string HexEditorValueText(std::uint8_t byte) {
    return Format("Value: %02X", byte);
}

const char* HexEditorModeText(bool readOnly, bool insertMode) {
    if (readOnly) return "READ";
    return insertMode ? "INS" : "OVR";
}

std::string HexEditorDragEnterText(std::uint32_t byteCount) {
    if (byteCount == 0) return "??? bytes *";
    return Format("%u bytes *", static_cast<unsigned>(byteCount));
}

std::string HexEditorCaption(const char* fileTitle) {
    return std::string(fileTitle) + " - Hex Editor";
}

std::uint32_t HexEditorCommitLength(std::uint32_t docSize, std::uint32_t bufferSize) {
    return std::min(docSize, bufferSize);
}
