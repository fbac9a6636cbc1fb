// The per-user store's file reader on arbitrary text: it may refuse the text, but never crash
// or take memory beyond its limits, and whatever it accepts must be written back in a form
// that reads the same.

#include "platform/registry/RegFileFormat.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    RegistryTree tree;
    RegFileError error;
    if (!ParseRegFile(text, tree, error)) {
        return 0;
    }
    const std::string written = FormatRegFile(tree);
    RegistryTree again;
    if (!ParseRegFile(written, again, error) || FormatRegFile(again) != written) {
        std::abort();
    }
    return 0;
}
