#pragma once

#include "platform/registry/Registry.h"
#include "platform/registry/RegistryTree.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>

/// One per-user registry kept in a text file (format: RegFileFormat.h).
///
/// The file is the only state: every operation reads it afresh, so several stores on one file,
/// in one process or in several, see each other's changes at once. A change is a
/// read-modify-write under an exclusive lock on "<file>.lock" (readers take it shared), written
/// to a temporary file in the same folder, flushed and renamed over the old one, so that the
/// file is always either the old or the new whole, and no writer loses another's change.
///
/// A file that cannot be read as a registry (or is larger than the store's limit) is renamed
/// to "<file>.damaged-<local time>" with a notice on standard error, and the store starts
/// empty; nothing the user wrote is lost. A write that would make a file the store cannot read
/// back is refused with ERROR_CANTWRITE and leaves the file as it was.
class RegistryStore {
public:
    static constexpr std::uint64_t kDefaultMaxFileSize = 4u << 20;

    /// A store kept in filePath; its folder is made (mode 0700) by the first change.
    explicit RegistryStore(std::string filePath, std::uint64_t maxFileSize = kDefaultMaxFileSize);
    /// Closes every handle still open on this store: they give ERROR_INVALID_HANDLE from now.
    ~RegistryStore();
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    /// UserConfigFolder() + "/quillon/registry.reg".
    static std::string DefaultFilePath();
    /// The store at DefaultFilePath() that the predefined roots address; made on first use.
    static RegistryStore& ProcessDefault();

    const std::string& FilePath() const { return m_path; }

    /// This store's handle for one of the four predefined roots (null for anything else). It
    /// lives as long as the store; closing it does nothing, as for the predefined ones.
    HKEY Root(HKEY predefined) const;

    /// Calls reader with the stored tree; returns its result, or the error that kept the file
    /// from being read (ERROR_ACCESS_DENIED, ERROR_CANTREAD).
    LONG Read(const std::function<LONG(const RegistryTree&)>& reader) const;

    /// Calls writer with the stored tree under the exclusive lock; when it returns
    /// ERROR_SUCCESS having set changed, writes the tree back. Returns the writer's result or
    /// the error that kept the change from being stored.
    LONG Modify(const std::function<LONG(RegistryTree& tree, bool& changed)>& writer);

private:
    struct Loaded;
    Loaded load(bool mayRepair) const;
    bool setAside(const std::string& reason) const;
    LONG writeFile(const std::string& text) const;

    std::string m_path;
    std::string m_lockPath;
    std::uint64_t m_maxFileSize;
    std::array<HKEY, RegistryTree::kRootCount> m_roots{};
};
