// The dialog manager over any bytes: the input is a dialog template, read by the parser
// and, when it reads, made into a dialog (every control of whatever class and style it
// names), shown, painted and destroyed.
// Run: cmake --preset host-fuzz && cmake --build --preset host-fuzz --target dialogtemplate_fuzz &&
//      build/host-fuzz/bin/dialogtemplate_fuzz -max_total_time=60 build/host-fuzz/corpus/dialogtemplate
// (the corpus folder is seeded at build time with the module's and the tests' dialogs).
#include <windows.h>
#include <winapi_desktop.h>
#include <winapi_host.h>

#include <cstdint>
#include <vector>

namespace {

void put16(std::vector<uint8_t>& v, uint16_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, uint16_t(x));
    put16(v, uint16_t(x >> 16));
}

// A .res blob holding the input as dialog 1, so the dialog manager reads it with its size.
void entry(std::vector<uint8_t>& v, uint16_t type, uint16_t name, const uint8_t* data, size_t size) {
    put32(v, uint32_t(size));
    put32(v, 32);
    put16(v, 0xFFFF);
    put16(v, type);
    put16(v, 0xFFFF);
    put16(v, name);
    put32(v, 0);
    put16(v, 0x30);
    put16(v, 0x0804);
    put32(v, 0);
    put32(v, 0);
    v.insert(v.end(), data, data + size);
    while (v.size() % 4) v.push_back(0);
}

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
    entry(blob, 5, 1, data, size);
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
