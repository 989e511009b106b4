// Fuzzes the key-script parser with arbitrary scripts: a script it accepts is its keys'
// texts one after another, and every key is one the typist can press.
// Run: cmake --preset host-fuzz && cmake --build --preset host-fuzz --target keyscript_fuzz
//      && build/host-fuzz/bin/keyscript_fuzz -max_total_time=60
// Input: the script.
#include "keyscript.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string script(reinterpret_cast<const char*>(data), size);
    std::vector<ScriptKey> keys;
    std::string error;
    if (!parseKeyScript(script, keys, error)) {
        check(!error.empty());
        return 0;
    }
    std::string joined;
    for (const ScriptKey& key : keys) {
        check(!key.text.empty());
        joined += key.text;
        if (key.kind == ScriptKind::Key) {
            check(key.vk != 0);
            // A typed character is the one its key gives with the shift state.
            if (key.ch != 0 && key.text.size() == 1) {
                uint8_t vk = 0;
                bool shift = false;
                check(keyForCharacter(key.ch, &vk, &shift) && vk == key.vk && shift == key.shift);
                check(characterForKey(vk, shift) == key.ch);
            }
            check(key.vk == 0x10 || key.vk == 0x11 || key.vk == 0x12 || scanCodeForKey(key.vk, key.rightShift) != 0);
        }
        if (key.kind == ScriptKind::Click || key.kind == ScriptKind::RightClick || key.kind == ScriptKind::DoubleClick)
            check(key.x >= 0 && key.y >= 0);
    }
    check(joined == script);
    return 0;
}
