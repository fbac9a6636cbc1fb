#include "platform/version/VersionResource.h"

#include <cstring>
#include <fcntl.h>
#include <gelf.h>
#include <libelf.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::string_view kFirstLine = "QUILLON-VERSION-RECORD 1\n";

class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

class ElfHandle {
public:
    explicit ElfHandle(Elf* elf)
        : m_elf(elf) {}
    ~ElfHandle() { elf_end(m_elf); }
    ElfHandle(const ElfHandle&) = delete;
    ElfHandle& operator=(const ElfHandle&) = delete;
    Elf* get() const { return m_elf; }

private:
    Elf* m_elf;
};

bool libelfReady() {
    static const bool ready = elf_version(EV_CURRENT) != EV_NONE;
    return ready;
}

/// "a.b.c.d", each 0..65535, into the two words of a fixed version.
bool parseFixedVersion(std::string_view text, std::uint32_t& ms, std::uint32_t& ls) {
    std::uint32_t parts[4] = {};
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (text.empty() || text.front() != '.') {
                return false;
            }
            text.remove_prefix(1);
        }
        std::size_t digits = 0;
        std::uint32_t value = 0;
        while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
            value = value * 10 + static_cast<std::uint32_t>(text[digits] - '0');
            if (value > 0xFFFF) {
                return false;
            }
            ++digits;
        }
        if (digits == 0) {
            return false;
        }
        parts[i] = value;
        text.remove_prefix(digits);
    }
    if (!text.empty()) {
        return false;
    }
    ms = parts[0] << 16 | parts[1];
    ls = parts[2] << 16 | parts[3];
    return true;
}

/// The version note among the notes of an ELF file's note sections.
std::optional<VersionResource> findVersionNote(Elf* elf) {
    if (elf == nullptr || elf_kind(elf) != ELF_K_ELF) {
        return std::nullopt;
    }
    Elf_Scn* section = nullptr;
    while ((section = elf_nextscn(elf, section)) != nullptr) {
        GElf_Shdr header;
        if (gelf_getshdr(section, &header) == nullptr || header.sh_type != SHT_NOTE) {
            continue;
        }
        Elf_Data* data = elf_getdata(section, nullptr);
        if (data == nullptr || data->d_buf == nullptr) {
            continue;
        }
        const char* bytes = static_cast<const char*>(data->d_buf);
        // gelf_getnote checks that each note's name and description lie inside the data.
        GElf_Nhdr note;
        std::size_t nameOffset = 0;
        std::size_t descriptionOffset = 0;
        for (std::size_t offset = 0;
             (offset = gelf_getnote(data, offset, &note, &nameOffset, &descriptionOffset)) > 0;) {
            if (note.n_type == kVersionNoteType && note.n_namesz == sizeof(kVersionNoteOwner) &&
                std::memcmp(bytes + nameOffset, kVersionNoteOwner, sizeof(kVersionNoteOwner)) ==
                    0) {
                return ParseVersionRecord({bytes + descriptionOffset, note.n_descsz});
            }
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> VersionResource::QueryValue(const std::string& path) const {
    const auto found = strings.find(path);
    if (found == strings.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<VersionResource> ParseVersionRecord(std::string_view record) {
    if (record.size() > kMaxVersionRecord || !record.starts_with(kFirstLine) ||
        !record.ends_with('\n')) {
        return std::nullopt;
    }
    record.remove_prefix(kFirstLine.size());
    VersionResource resource;
    while (!record.empty()) {
        const std::size_t end = record.find('\n');
        const std::string_view line = record.substr(0, end);
        record.remove_prefix(end + 1);
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        const std::string_view name = line.substr(0, equals);
        const std::string_view value = line.substr(equals + 1);
        if (name == "FixedFileVersion") {
            if (!parseFixedVersion(value, resource.fileVersionMS, resource.fileVersionLS)) {
                return std::nullopt;
            }
        } else if (name == "FixedProductVersion") {
            if (!parseFixedVersion(value, resource.productVersionMS, resource.productVersionLS)) {
                return std::nullopt;
            }
        } else if (name.starts_with('\\')) {
            resource.strings.emplace(name, value);
        }
    }
    return resource;
}

std::optional<VersionResource> ReadVersionResource(const std::string& path) {
    if (!libelfReady()) {
        return std::nullopt;
    }
    // Not blocking: a pipe or a device by that name is no executable to wait for.
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    const ElfHandle elf(elf_begin(file.get(), ELF_C_READ, nullptr));
    return findVersionNote(elf.get());
}

std::optional<VersionResource> ReadVersionResource(const char* image, std::size_t size) {
    if (!libelfReady()) {
        return std::nullopt;
    }
    // libelf may convert the image in place: it gets a copy of its own.
    std::vector<char> copy(image, image + size);
    const ElfHandle elf(elf_memory(copy.data(), copy.size()));
    return findVersionNote(elf.get());
}
