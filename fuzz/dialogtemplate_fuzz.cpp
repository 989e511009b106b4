// The dialog manager over any bytes: the input is a dialog template, read by the parser
// and, when it reads, made into a dialog (every control of whatever class and style it
// names), shown, painted and destroyed.
// Run: cmake --preset host-fuzz && cmake --build --preset host-fuzz --target dialogtemplate_fuzz &&
//      build/host-fuzz/bin/dialogtemplate_fuzz -max_total_time=60 build/host-fuzz/corpus/dialogtemplate
// (the corpus folder is seeded at build time with the module's and the tests' dialogs).
#include <windows.h>
#include <winapi_desktop.h>
#include <winapi_host.h>

#include "resblob.h"

#include <cstdint>
#include <vector>

namespace {

INT_PTR CALLBACK proc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WinapiDialogTemplate parsed;
    if (!winapiParseDialogTemplate(data, size, &parsed)) return 0;
    // Huge dialogs only cost time: the parser has seen them.
    if (parsed.items.size() > 64) return 0;
    static std::vector<uint8_t> blob;
    blob.clear();
    entry(blob, 0, 0, nullptr, 0);
    entry(blob, 5, 1, data, size);  // RT_DIALOG 1: the dialog manager reads it with its size
    static HMODULE module = nullptr;
    HMODULE attached = winapiAttachResources(module, blob.data(), blob.size());
    if (!attached) return 0;
    module = attached;
    HWND dialog = CreateDialogParamA(module, MAKEINTRESOURCEA(1), nullptr, proc, 0);
    if (dialog) {
        ShowWindow(dialog, SW_SHOW);
        winapiPumpMessages();
        DestroyWindow(dialog);
    }
    winapiResetDesktop();
    return 0;
}
