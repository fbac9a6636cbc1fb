#include "platform/registry/RegistryStore.h"

#include "platform/files/FileDescriptor.h"
#include "platform/registry/KeyHandleTable.h"
#include "platform/registry/RegFileFormat.h"
#include "platform/registry/UserConfigFolder.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

LONG fromErrno(int error, LONG otherwise) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENOMEM:
        return ERROR_OUTOFMEMORY;
    default:
        return otherwise;
    }
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

/// Makes folder and the folders above it; 0 or an errno value.
int makeFolders(const std::string& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    }
    const std::string parent = folderOf(folder);
    if (parent != folder) {
        if (const int error = makeFolders(parent); error != 0) {
            return error;
        }
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        return errno;
    }
    return 0;
}

/// Opens the lock file (made when missing and the folder allows it) and takes the lock.
/// Invalid when the lock file cannot be opened; errno then tells why.
FileDescriptor takeLock(const std::string& lockPath, bool exclusive) {
    FileDescriptor fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd) {
        fd = FileDescriptor(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
    }
    if (!fd) {
        return fd;
    }
    while (::flock(fd.get(), exclusive ? LOCK_EX : LOCK_SH) != 0) {
        if (errno != EINTR) {
            return FileDescriptor();
        }
    }
    return fd;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

struct RegistryStore::Loaded {
    LONG code = ERROR_SUCCESS;
    RegistryTree tree;
    bool damaged = false; ///< the file is damaged and is still in place
};

RegistryStore::RegistryStore(std::string filePath, std::uint64_t maxFileSize)
    : m_path(std::move(filePath))
    , m_lockPath(m_path + ".lock")
    , m_maxFileSize(maxFileSize) {
    auto& table = KeyHandleTable::Instance();
    for (int i = 0; i < RegistryTree::kRootCount; ++i) {
        m_roots[static_cast<std::size_t>(i)] = table.Add({this, i, {}, KEY_ALL_ACCESS, true});
    }
}

RegistryStore::~RegistryStore() {
    KeyHandleTable::Instance().ForgetStore(this);
}

std::string RegistryStore::DefaultFilePath() {
    return UserConfigFolder() + "/quillon/registry.reg";
}

RegistryStore& RegistryStore::ProcessDefault() {
    static RegistryStore store(DefaultFilePath());
    return store;
}

HKEY RegistryStore::Root(HKEY predefined) const {
    const int index = KeyHandleTable::PredefinedIndex(predefined);
    return index < 0 ? nullptr : m_roots[static_cast<std::size_t>(index)];
}

LONG RegistryStore::Read(const std::function<LONG(const RegistryTree&)>& reader) const {
    Loaded loaded;
    {
        // Without a lock file (a folder we may not write to) the file is still read: writers
        // replace it by renaming, so a reader sees one whole version or the other.
        FileDescriptor lock = takeLock(m_lockPath, false);
        loaded = load(false);
    }
    if (loaded.damaged) {
        // Setting the file aside needs the exclusive lock; another process may have done it
        // (or repaired the file) meanwhile, so it is read once more under that lock.
        FileDescriptor lock = takeLock(m_lockPath, true);
        loaded = load(static_cast<bool>(lock));
    }
    if (loaded.code != ERROR_SUCCESS) {
        return loaded.code;
    }
    return reader(loaded.tree);
}

LONG RegistryStore::Modify(const std::function<LONG(RegistryTree&, bool&)>& writer) {
    if (const int error = makeFolders(folderOf(m_path)); error != 0) {
        return fromErrno(error, ERROR_CANTWRITE);
    }
    FileDescriptor lock = takeLock(m_lockPath, true);
    if (!lock) {
        return fromErrno(errno, ERROR_CANTWRITE);
    }
    Loaded loaded = load(true);
    if (loaded.code != ERROR_SUCCESS) {
        return loaded.code;
    }
    if (loaded.damaged) {
        return ERROR_CANTWRITE; // it could not be set aside; it must not be overwritten
    }
    bool changed = false;
    const LONG result = writer(loaded.tree, changed);
    if (result != ERROR_SUCCESS || !changed) {
        return result;
    }
    const std::string text = FormatRegFile(loaded.tree);
    // Never write what the next read would have to set aside.
    RegistryTree check;
    RegFileError error;
    if (text.size() > m_maxFileSize || !ParseRegFile(text, check, error)) {
        return ERROR_CANTWRITE;
    }
    return writeFile(text);
}

RegistryStore::Loaded RegistryStore::load(bool mayRepair) const {
    Loaded loaded;
    FileDescriptor fd(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (errno != ENOENT) {
            loaded.code = fromErrno(errno, ERROR_CANTREAD);
        }
        return loaded;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        loaded.code = ERROR_CANTREAD;
        return loaded;
    }
    std::string reason;
    std::string text;
    if (static_cast<std::uint64_t>(st.st_size) > m_maxFileSize) {
        reason = "it is larger than " + std::to_string(m_maxFileSize) + " bytes";
    } else {
        text.resize(static_cast<std::size_t>(st.st_size));
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::read(fd.get(), text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                loaded.code = fromErrno(errno, ERROR_CANTREAD);
                return loaded;
            }
            if (n == 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        text.resize(done);
        RegFileError error;
        if (ParseRegFile(text, loaded.tree, error)) {
            return loaded;
        }
        reason = "line " + std::to_string(error.line) + ": " + error.reason;
    }
    loaded.tree = RegistryTree();
    loaded.damaged = !(mayRepair && setAside(reason));
    return loaded;
}

bool RegistryStore::setAside(const std::string& reason) const {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%S", &local);
    std::string aside = m_path + ".damaged-" + stamp;
    for (int n = 2; exists(aside); ++n) {
        aside = m_path + ".damaged-" + stamp + "-" + std::to_string(n);
    }
    if (::rename(m_path.c_str(), aside.c_str()) != 0) {
        std::cerr << "Quillon: the settings file " << m_path << " cannot be read (" << reason
                  << ") and cannot be set aside; the settings start empty and are not saved.\n";
        return false;
    }
    std::cerr << "Quillon: the settings file " << m_path << " cannot be read (" << reason
              << "); it was kept as " << aside << " and the settings start empty.\n";
    return true;
}

LONG RegistryStore::writeFile(const std::string& text) const {
    const std::string folder = folderOf(m_path);
    std::string temp = folder + "/." + m_path.substr(m_path.rfind('/') + 1) + ".XXXXXX";
    FileDescriptor fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd) {
        return fromErrno(errno, ERROR_CANTWRITE);
    }
    struct stat st {};
    const mode_t mode = ::stat(m_path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0600;
    if (::fchmod(fd.get(), mode) != 0 || !writeAll(fd.get(), text) || ::fsync(fd.get()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        return fromErrno(error, ERROR_CANTWRITE);
    }
    const int closing = ::close(fd.get());
    const int closeError = errno;
    static_cast<void>(fd.release());
    if (closing != 0 || ::rename(temp.c_str(), m_path.c_str()) != 0) {
        const int error = closing != 0 ? closeError : errno;
        ::unlink(temp.c_str());
        return fromErrno(error, ERROR_CANTWRITE);
    }
    // Make the rename itself survive a power cut.
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir) {
        ::fsync(dir.get());
    }
    return ERROR_SUCCESS;
}
