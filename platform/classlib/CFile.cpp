#include "platform/classlib/CFile.h"

#include "platform/classlib/CException.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// The mode a plain new file gets: 0666 less the process's umask, read without changing it
// (umask(2) cannot be read without being set, which would race with other threads).
mode_t newFileMode(const std::string& target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        return st.st_mode & 07777;
    }
    mode_t mask = 022;
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "Umask:") {
            std::string value;
            status >> value;
            mask = static_cast<mode_t>(std::stoul(value, nullptr, 8));
            break;
        }
    }
    return 0666 & ~mask;
}

} // namespace

CFile::CFile(const std::string& path, unsigned openFlags) {
    CFileException error(CFileException::none, 0, path);
    if (!Open(path, openFlags, &error)) {
        throw error;
    }
}

CFile::~CFile() {
    Abort();
}

bool CFile::Open(const std::string& path, unsigned openFlags, CFileException* error) {
    Abort();
    const bool writing = (openFlags & modeWrite) != 0;
    if (writing && (openFlags & modeCreate) == 0) {
        // Only create-and-write is offered; writing into an existing file is not needed.
        if (error != nullptr) {
            *error = CFileException(CFileException::genericException, EINVAL, path);
        }
        return false;
    }
    int fd = -1;
    std::string temp;
    if (writing) {
        const std::string base = path.substr(path.rfind('/') + 1);
        temp = folderOf(path) + "/." + base + ".XXXXXX";
        fd = ::mkostemp(temp.data(), O_CLOEXEC);
        if (fd >= 0 && ::fchmod(fd, newFileMode(path)) != 0) {
            const int saved = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            errno = saved;
            fd = -1;
        }
    } else {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat st {};
        if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd);
            fd = -1;
            errno = EISDIR;
        }
    }
    if (fd < 0) {
        const int osError = errno;
        if (error != nullptr) {
            *error = CFileException(CFileException::OsErrorToCause(osError), osError, path);
        }
        return false;
    }
    m_fd = fd;
    m_path = path;
    m_tempPath = writing ? temp : std::string();
    m_position = 0;
    return true;
}

unsigned CFile::Read(void* buffer, unsigned count) {
    auto* out = static_cast<char*>(buffer);
    unsigned done = 0;
    while (done < count) {
        const ssize_t n = ::read(m_fd, out + done, count - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            raise(errno);
        }
        if (n == 0) {
            break;
        }
        done += static_cast<unsigned>(n);
    }
    m_position += done;
    return done;
}

void CFile::Write(const void* buffer, unsigned count) {
    const auto* in = static_cast<const char*>(buffer);
    unsigned done = 0;
    while (done < count) {
        const ssize_t n = ::write(m_fd, in + done, count - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            raise(errno);
        }
        done += static_cast<unsigned>(n);
    }
    m_position += done;
}

std::uint64_t CFile::GetLength() const {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        raise(errno);
    }
    return static_cast<std::uint64_t>(st.st_size);
}

std::uint64_t CFile::GetPosition() const {
    return m_position;
}

void CFile::Close() {
    if (m_fd < 0) {
        return;
    }
    if (!m_tempPath.empty()) {
        if (::fsync(m_fd) != 0) {
            raise(errno);
        }
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && !m_tempPath.empty()) {
        const int osError = errno;
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
        throw CFileException(CFileException::OsErrorToCause(osError), osError, m_path);
    }
    if (!m_tempPath.empty()) {
        const std::string temp = std::move(m_tempPath);
        m_tempPath.clear();
        if (::rename(temp.c_str(), m_path.c_str()) != 0) {
            const int osError = errno;
            ::unlink(temp.c_str());
            throw CFileException(CFileException::OsErrorToCause(osError), osError, m_path);
        }
        // Best effort: make the rename itself survive a power cut.
        const int dir = ::open(folderOf(m_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
    }
}

void CFile::Abort() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_tempPath.empty()) {
        ::unlink(m_tempPath.c_str());
        m_tempPath.clear();
    }
}

void CFile::raise(int osError) const {
    throw CFileException(CFileException::OsErrorToCause(osError), osError, m_path);
}
