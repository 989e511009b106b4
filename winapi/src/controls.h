// Shared by the standard controls of the stand-in: their parent's notifications and
// colours, their font, and text drawn as Windows 98 draws it (grey and embossed when
// disabled).
#pragma once

#include "screen_state.h"

#include <string>

namespace screen {

// WM_COMMAND to the parent with the control's id and the notification code.
void notifyParent(HWND control, WORD code);
// The brush the parent gives for WM_CTLCOLOR* (with the colours it sets in hdc).
HBRUSH parentBrush(HWND control, HDC hdc, UINT ctlColorMessage);
// The control's font (WM_SETFONT), or the system font.
HFONT controlFont(HWND control);
// Cell height of a font as text is laid out with it.
int fontHeight(HFONT font);
// Width of GBK text in a font.
int textExtent(HDC hdc, const std::string& text);
// DrawTextA, embossed in grey and highlight when disabled.
void drawControlText(HDC hdc, const char* text, int length, RECT rect, UINT format, bool enabled);
// Byte offset of the character boundary at or before `offset` in GBK text.
size_t gbkBoundaryBefore(const std::string& text, size_t offset);
size_t gbkNext(const std::string& text, size_t offset);
size_t gbkPrevious(const std::string& text, size_t offset);

}  // namespace screen
