// A host library as the loader meets the module: an entry point, an export and
// resources compiled from the same script as the PE fixtures.
#include <windows.h>
#include <winapi_host.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    char path[512];
    DWORD n = GetModuleFileNameA(instance, path, sizeof path);
    winapiRecordEvent("dllmain", (reason == DLL_PROCESS_ATTACH ? "attach " : "detach ") +
                                     std::string(path, n));
    return TRUE;
}

extern "C" int fixtureAnswer() { return 42; }

// The resources embed.cmake wrote from the fixture's script, described to the loader.
extern "C" const unsigned char qxHostResources[];
extern "C" const size_t qxHostResourcesSize;
WINAPI_HOST_LIBRARY(DllMain, qxHostResources, qxHostResourcesSize)
