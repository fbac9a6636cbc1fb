// The play list loader on arbitrary bytes: it must raise only file and archive errors, never
// crash or allocate beyond the input, and whatever it loads must survive a save and a reload
// unchanged.

#include "platform/classlib/CException.h"
#include "tools/pla/InertDevice.h"
#include "tools/pla/PlayListJson.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The loader reads through a file; an in-memory file keeps the fuzzer off the disk.
std::string memoryFile(const std::uint8_t* data, std::size_t size) {
    static const int fd = memfd_create("pla", 0);
    ftruncate(fd, 0);
    lseek(fd, 0, SEEK_SET);
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) {
            std::abort();
        }
        done += static_cast<std::size_t>(n);
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InertDevice device;
    const MoxItemOutputs outputs{{&device, nullptr}, {&device, nullptr}, {&device, nullptr}};
    std::unique_ptr<MoxPlayList> list;
    try {
        list = LoadPlayListFile(memoryFile(data, size), outputs);
    } catch (const CException&) {
        return 0;
    }
    if (!MoxObject::IsKnownKind(list->GetKind())) {
        return 0; // such a header is not written back in a form that reads the same
    }
    auto before = PlayListToJson(*list);
    char folder[] = "/tmp/pla-fuzz-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        std::abort();
    }
    const std::string path = std::string(folder) + "/again.pla";
    SavePlayListFile(*list, path);
    auto again = LoadPlayListFile(path, outputs);
    unlink(path.c_str());
    rmdir(folder);
    auto after = PlayListToJson(*again);
    before.erase("count");
    after.erase("count");
    if (before != after) {
        std::abort();
    }
    return 0;
}
