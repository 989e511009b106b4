// Surfaces, and the stores of dropped surfaces kept for the next ones: a window system
// reuses its pixel memory rather than asking the kernel for zeroed pages each time.
#include "screen_state.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>

#include <sys/mman.h>
#include <unistd.h>

namespace screen {

namespace {

// Under AddressSanitizer nothing is kept, so a read of a dropped surface is still caught.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool KEEP_STORES = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool KEEP_STORES = false;
#else
constexpr bool KEEP_STORES = true;
#endif
#else
constexpr bool KEEP_STORES = true;
#endif

// At most this many bytes of dropped stores are kept: the stores of a session's windows
// and buffers, a desktop's screen among them.
constexpr size_t KEPT_BYTES = 24u << 20;
// A store serves a surface of at least a quarter of its size, so a small bitmap does not
// hold a screen's worth of memory.
constexpr size_t MAX_WASTE = 4;

struct KeptStores {
    std::mutex lock;
    std::vector<std::vector<uint32_t>> stores;
    size_t bytes = 0;
};

KeptStores& kept() {
    static KeptStores* all = new KeptStores;  // never destroyed: surfaces die at exit too
    return *all;
}

// Asks the kernel for the pages of a large new store in one call: touched one by one, each
// page costs a fault of its own, and a process's first session fills several
// picture-sized stores. Where the kernel cannot, the pages come as they are touched.
void populate(std::vector<uint32_t>& store) {
#ifdef MADV_POPULATE_WRITE
    const size_t bytes = store.capacity() * sizeof(uint32_t);
    if (bytes < 64 * 1024) return;
    const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const uintptr_t start = (reinterpret_cast<uintptr_t>(store.data()) + page - 1) & ~(page - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(store.data()) + bytes) & ~(page - 1);
    if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
#else
    (void)store;
#endif
}

// A store of at least count pixels, recycled when one fits, its contents unspecified.
std::vector<uint32_t> storeFor(size_t count) {
    if (count > 0) {
        KeptStores& k = kept();
        std::lock_guard<std::mutex> hold(k.lock);
        auto best = k.stores.end();
        for (auto it = k.stores.begin(); it != k.stores.end(); ++it)
            if (it->capacity() >= count && it->capacity() / MAX_WASTE <= count &&
                (best == k.stores.end() || it->capacity() < best->capacity()))
                best = it;
        if (best != k.stores.end()) {
            std::vector<uint32_t> store = std::move(*best);
            k.stores.erase(best);
            k.bytes -= store.capacity() * sizeof(uint32_t);
            return store;
        }
    }
    std::vector<uint32_t> store;
    store.reserve(count);
    populate(store);
    return store;
}

// Fills a store with count pixels of one colour through the C library's block moves: an
// element loop is three instructions a pixel, and a session fills a million pixels as it
// opens.
void fillStore(std::vector<uint32_t>& store, size_t count, uint32_t colour) {
    store.clear();
    const std::vector<uint32_t> chunk(std::min<size_t>(count, 4096), colour);
    while (store.size() < count)
        store.insert(store.end(), chunk.begin(), chunk.begin() + std::ptrdiff_t(std::min(chunk.size(), count - store.size())));
}

void keep(std::vector<uint32_t>& store) {
    const size_t bytes = store.capacity() * sizeof(uint32_t);
    if (!KEEP_STORES || bytes < 64 * 1024) return;  // small ones are cheap to make again
    KeptStores& k = kept();
    std::lock_guard<std::mutex> hold(k.lock);
    // The oldest go first when the newest do not fit.
    while (!k.stores.empty() && k.bytes + bytes > KEPT_BYTES) {
        k.bytes -= k.stores.front().capacity() * sizeof(uint32_t);
        k.stores.erase(k.stores.begin());
    }
    if (bytes > KEPT_BYTES) return;
    store.clear();
    k.bytes += bytes;
    k.stores.push_back(std::move(store));
}

}  // namespace

Surface::Surface(int w, int h, uint32_t fill)
    : width(std::max(w, 0)), height(std::max(h, 0)), pixels(storeFor(size_t(width) * size_t(height))) {
    fillStore(pixels, size_t(width) * size_t(height), fill);
}

Surface::Surface(const Surface& other)
    : width(other.width), height(other.height), mono(other.mono), pixels(storeFor(other.pixels.size())) {
    pixels.assign(other.pixels.begin(), other.pixels.end());
}

Surface::~Surface() { keep(pixels); }

}  // namespace screen
