// The resource reader over any bytes, as a PE image and as a .res blob: it refuses or
// hands out resources that lie inside the input, and never reads past it. A refused PE
// image is refused at an offset inside it (or at its end), with a reason.
//
//   cmake --preset host-fuzz && cmake --build --preset host-fuzz --target pe_resources_fuzz
//   build/host-fuzz/bin/pe_resources_fuzz -max_total_time=300 build/host/pe
//
// (build/host/pe holds the test fixtures, a good first corpus once the host tests are built.)
#include <windows.h>
#include <winapi_host.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<WinapiResource> list;
    for (bool pe : {true, false}) {
        WinapiResourceFault fault;
        bool accepted = pe ? winapiListPeResources(data, size, &list, &fault)
                           : winapiListResResources(data, size, &list);
        if (!accepted && !list.empty()) abort();
        if (pe && !accepted && (fault.what.empty() || fault.offset > size)) abort();
        unsigned sum = 0;
        for (const auto& r : list) {
            if (r.data < data || r.size > size || r.data + r.size > data + size) abort();
            for (DWORD i = 0; i < r.size; ++i) sum += r.data[i];   // ASan checks every byte
        }
        (void)sum;
    }
    return 0;
}
