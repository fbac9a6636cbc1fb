// The version resource reader on arbitrary bytes, as an ELF image and as a bare record: it may
// find nothing, but never crash, read outside the input or take memory beyond its limits.

#include "platform/version/VersionResource.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    (void)ReadVersionResource(bytes, size);
    (void)ParseVersionRecord(std::string_view(bytes, size));
    return 0;
}
