// The stand-in's dialog windows mirrored as GTK windows.
#include "dialogwindows.h"

#include "gbktext.h"
#include "keytranslation.h"
#include "session.h"

#include <winapi_desktop.h>

#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace dialogwindows {
namespace {

struct Mirror {
    HWND hwnd = nullptr;
    GtkWidget* window = nullptr;
    GtkWidget* area = nullptr;
    RECT rect{};
    bool popup = false;
};

ImeSession* session = nullptr;
bool (*composing)() = nullptr;
bool started = false;
std::map<HWND, Mirror> mirrors;
ModifierTracker modifiers;
std::chrono::steady_clock::time_point lastTick;

std::string className(HWND hwnd) {
    char name[32] = {};
    GetClassNameA(hwnd, name, sizeof name);
    return name;
}

bool isDialog(HWND hwnd) { return className(hwnd) == "#32770"; }

// The pixels of the window's rectangle as the stand-in's screen shows them.
gboolean draw(GtkWidget*, cairo_t* cr, gpointer data) {
    const Mirror& m = *static_cast<const Mirror*>(data);
    const int width = m.rect.right - m.rect.left, height = m.rect.bottom - m.rect.top;
    if (width <= 0 || height <= 0) return TRUE;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    unsigned char* pixels = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(pixels + y * stride);
        for (int x = 0; x < width; ++x) {
            const COLORREF c = winapiScreenPixel(m.rect.left + x, m.rect.top + y);
            row[x] = c == CLR_INVALID ? 0 : (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
        }
    }
    cairo_surface_mark_dirty(surface);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_paint(cr);
    cairo_surface_destroy(surface);
    return TRUE;
}

void afterEvent() {
    winapiPumpMessages();
    sync();
}

gboolean button(GtkWidget*, GdkEventButton* event, gpointer data) {
    const Mirror& m = *static_cast<const Mirror*>(data);
    const int x = m.rect.left + static_cast<int>(event->x), y = m.rect.top + static_cast<int>(event->y);
    const int which = event->button == 3 ? 1 : 0;
    if (event->type == GDK_2BUTTON_PRESS && which == 0)
        winapiDoubleClick(x, y);
    else if (event->type == GDK_BUTTON_PRESS)
        winapiMouseDown(which, x, y);
    else if (event->type == GDK_BUTTON_RELEASE)
        winapiMouseUp(which, x, y);
    afterEvent();
    return TRUE;
}

gboolean motion(GtkWidget*, GdkEventMotion* event, gpointer data) {
    const Mirror& m = *static_cast<const Mirror*>(data);
    winapiMouseMove(m.rect.left + static_cast<int>(event->x), m.rect.top + static_cast<int>(event->y));
    afterEvent();
    return TRUE;
}

// Keys go to the typist, which hands them to the input method and the dialog's focused
// control as the Input Method Manager and Windows do.
gboolean key(GtkWidget*, GdkEventKey* event, gpointer) {
    uint32_t state = event->state & (GDK_SHIFT_MASK | GDK_LOCK_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK);
    if (event->type == GDK_KEY_RELEASE) state |= desktopkeys::RELEASE;
    const TrackedEvent tracked = modifiers.event(event->keyval, state);
    if (tracked.keys.empty() || session == nullptr || !session->typist) return TRUE;
    // The typist presses a chord's modifiers itself: only the last key is its own.
    const ModuleKey& k = tracked.keys.back();
    ScriptKey script;
    script.vk = k.vk;
    script.ch = characterForKey(k.vk, k.shift);
    const bool alone = k.vk == VK_SHIFT || k.vk == VK_CONTROL;
    script.shift = !alone && k.shift;
    script.rightShift = k.rightShift;
    script.ctrl = !alone && k.ctrl;
    script.alt = k.alt;
    session->typist->type(script);
    afterEvent();
    return TRUE;
}

gboolean closeRequested(GtkWidget*, GdkEvent*, gpointer data) {
    PostMessageA(static_cast<Mirror*>(data)->hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    afterEvent();
    return TRUE;  // the dialog procedure decides; its window goes when the dialog does
}

void create(Mirror& m) {
    m.window = gtk_window_new(m.popup ? GTK_WINDOW_POPUP : GTK_WINDOW_TOPLEVEL);
    if (!m.popup) {
        char title[256] = {};
        GetWindowTextA(m.hwnd, title, sizeof title);
        gtk_window_set_title(GTK_WINDOW(m.window), gbkToUtf8(title).c_str());
        gtk_window_set_resizable(GTK_WINDOW(m.window), FALSE);
        gtk_window_set_keep_above(GTK_WINDOW(m.window), TRUE);
        g_signal_connect(m.window, "delete-event", G_CALLBACK(closeRequested), &m);
    }
    m.area = gtk_drawing_area_new();
    gtk_widget_set_can_focus(m.area, TRUE);
    gtk_widget_add_events(m.area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                      GDK_KEY_PRESS_MASK | GDK_KEY_RELEASE_MASK);
    g_signal_connect(m.area, "draw", G_CALLBACK(draw), &m);
    g_signal_connect(m.area, "button-press-event", G_CALLBACK(button), &m);
    g_signal_connect(m.area, "button-release-event", G_CALLBACK(button), &m);
    g_signal_connect(m.area, "motion-notify-event", G_CALLBACK(motion), &m);
    g_signal_connect(m.area, "key-press-event", G_CALLBACK(key), &m);
    g_signal_connect(m.area, "key-release-event", G_CALLBACK(key), &m);
    gtk_container_add(GTK_CONTAINER(m.window), m.area);
}

// Where a mirror goes: dialogs where the stand-in has them, popups at the same offset
// from the topmost dialog's mirror as on the stand-in's desktop.
void place(Mirror& m, const Mirror* dialog) {
    const int width = m.rect.right - m.rect.left, height = m.rect.bottom - m.rect.top;
    gtk_widget_set_size_request(m.area, width, height);
    if (!m.popup) {
        gtk_window_move(GTK_WINDOW(m.window), m.rect.left, m.rect.top);
        return;
    }
    int x = m.rect.left, y = m.rect.top;
    if (dialog != nullptr && dialog->window != nullptr) {
        // Just below the dialog, where a person typing into it looks.
        gtk_window_get_position(GTK_WINDOW(dialog->window), &x, &y);
        y += dialog->rect.bottom - dialog->rect.top + 8;
    }
    gtk_window_move(GTK_WINDOW(m.window), x, y);
}

}  // namespace

bool start(ImeSession& s, bool (*typing)()) {
    session = &s;
    composing = typing;
    // Our own windows take no input method: their keys go to the module directly.
    g_setenv("GTK_IM_MODULE", "gtk-im-context-simple", TRUE);
    started = gtk_init_check(nullptr, nullptr);
    lastTick = std::chrono::steady_clock::now();
    return started;
}

bool dialogOpen() { return !mirrors.empty() || activeDialog() != nullptr; }

void sync() {
    if (!started) return;
    // Dialogs first, so that the popups can be placed by them.
    std::vector<HWND> wanted, popups;
    const bool typing = activeDialog() != nullptr && composing != nullptr && composing();
    for (HWND hwnd : winapiVisibleWindows()) {
        const std::string name = className(hwnd);
        if (name == "#32770") wanted.push_back(hwnd);
        if (typing && (name == "ZOZ_COMPCLS" || name == "ZOZ_CANDCLS")) popups.push_back(hwnd);
    }
    wanted.insert(wanted.end(), popups.begin(), popups.end());
    for (auto it = mirrors.begin(); it != mirrors.end();) {
        if (std::find(wanted.begin(), wanted.end(), it->first) == wanted.end()) {
            gtk_widget_destroy(it->second.window);
            it = mirrors.erase(it);
        } else {
            ++it;
        }
    }
    const Mirror* topDialog = nullptr;
    for (HWND hwnd : wanted) {
        Mirror& m = mirrors[hwnd];
        const bool fresh = m.window == nullptr;
        if (fresh) {
            m.hwnd = hwnd;
            m.popup = !isDialog(hwnd);
        }
        RECT rect{};
        GetWindowRect(hwnd, &rect);
        const bool moved = fresh || std::memcmp(&rect, &m.rect, sizeof rect) != 0;
        m.rect = rect;
        if (fresh) create(m);
        // Placed again only when the stand-in moved it: every move is an X event to wait for.
        if (moved) place(m, topDialog);
        if (fresh) {
            gtk_widget_show_all(m.window);
            if (!m.popup) {
                gtk_window_present(GTK_WINDOW(m.window));
                gtk_widget_grab_focus(m.area);
            }
        }
        if (!m.popup) topDialog = &m;
        gtk_widget_queue_draw(m.area);
    }
    gdk_display_flush(gdk_display_get_default());
}

bool personAt(HWND, int) {
    if (!started) return false;
    sync();
    // Time passes on the stand-in's clock as it does here: carets blink, tooltips show.
    const auto now = std::chrono::steady_clock::now();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - lastTick).count();
    lastTick = now;
    if (elapsed > 0) winapiAdvanceClock(static_cast<DWORD>(std::min<long long>(elapsed, 1000)));
    // The person's next event, or a tenth of a second for the clock.
    GSource* wake = g_timeout_source_new(100);
    g_source_set_callback(
        wake, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
    g_source_attach(wake, nullptr);
    g_main_context_iteration(nullptr, TRUE);
    g_source_destroy(wake);
    g_source_unref(wake);
    sync();
    return true;
}

}  // namespace dialogwindows
