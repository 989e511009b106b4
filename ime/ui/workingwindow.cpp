// The procedure the letter box, the composition window and the status bar share: each
// relays the mouse to its tooltip, never takes activation, paints double-buffered and can
// be dragged; what differs is described by its WorkingWindow.
#include "ui/uiwindows.h"

LRESULT WorkingWindowProc(const WorkingWindow& kind, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowRecord& record = *kind.record;
    RelayTipMouse(record.tip, window, message, wParam, lParam);
    const int x = static_cast<short>(LOWORD(lParam));
    const int y = static_cast<short>(HIWORD(lParam));
    switch (message) {
    case WM_CREATE:
        record.dragging = 0;
        record.tip = CreateTipControl(window);
        if (kind.created != nullptr) kind.created(window, record.tip);
        if (kind.caret.timer != 0) SetTimer(window, kind.caret.timer, kind.caret.period, nullptr);
        return 0;
    case WM_DESTROY:
        if (kind.caret.timer != 0) KillTimer(window, kind.caret.timer);
        if (record.tip != nullptr) DestroyWindow(record.tip);
        record.tip = nullptr;
        if (window == *kind.handle) *kind.handle = nullptr;
        return 0;
    case WM_SIZE:
        if (kind.tool != 0) SetSingleTool(record.tip, window, kind.tool);
        return 0;
    case WM_PAINT: {
        const SIZE size = kind.bufferSize();
        PaintBuffered(window, size.cx, size.cy, kind.paint);
        return 0;
    }
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_TIMER:
        if (kind.caret.step != nullptr) kind.caret.step(window);
        return 0;
    case WM_LBUTTONDOWN:
        if (kind.pressed != nullptr && kind.pressed(window, x, y)) return 0;
        record.dragging = 1;
        BeginDragMove(window, x, y);
        return 0;
    case WM_MOUSEMOVE:
        if (record.dragging)
            TrackDragMove(window, x, y);
        else if (kind.hovered != nullptr)
            kind.hovered(window, x, y);
        return 0;
    case WM_LBUTTONUP:
        if (record.dragging) {
            POINT dropped{};
            EndDragMove(window, x, y, &dropped);
            record.dragging = 0;
            if (kind.dropped != nullptr) kind.dropped(dropped);
        } else if (kind.released != nullptr) {
            kind.released(window);
        }
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
