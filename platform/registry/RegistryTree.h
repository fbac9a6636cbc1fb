#pragma once

#include "platform/wintypes/WinTypes.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

/// The keys and values of one store in memory: four roots, each a tree of keys. Names match
/// without regard to case and keep the spelling they were first given.
class RegistryTree {
public:
    /// The roots in the order of the predefined handles.
    static constexpr int kRootCount = 4;
    static constexpr std::array<std::string_view, kRootCount> kRootNames{
        "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
    /// Limits the platform sets; they also bound the parser's recursion.
    static constexpr std::size_t kMaxKeyNameLength = 255;
    static constexpr std::size_t kMaxDepth = 512;
    static constexpr std::size_t kMaxValueNameLength = 16383;
    /// Present below HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE in every tree, as on the
    /// platform, and never deleted.
    static constexpr std::string_view kSoftwareKey = "SOFTWARE";

    struct Value {
        std::string name;
        DWORD type = 0;
        std::vector<std::uint8_t> data;
    };

    class Key {
    public:
        explicit Key(std::string name)
            : m_name(std::move(name)) {}
        Key(const Key&) = delete;
        Key& operator=(const Key&) = delete;

        const std::string& Name() const { return m_name; }

        Key* FindSubkey(std::string_view name);
        const Key* FindSubkey(std::string_view name) const;
        /// The subkey of that name, made when missing (created tells which).
        Key& AddSubkey(std::string_view name, bool* created = nullptr);
        bool RemoveSubkey(std::string_view name);
        bool HasSubkeys() const { return !m_subkeys.empty(); }
        /// Subkeys in case-folded name order.
        template <typename F>
        void ForEachSubkey(F&& f) const {
            for (const auto& [folded, key] : m_subkeys) {
                f(*key);
            }
        }

        const Value* FindValue(std::string_view name) const;
        /// Sets a value; an existing one keeps its place and spelling. Returns false when the
        /// value was already exactly that.
        bool SetValue(std::string_view name, DWORD type, std::vector<std::uint8_t> data);
        bool RemoveValue(std::string_view name);
        /// Values in the order they were first set.
        const std::vector<Value>& Values() const { return m_values; }

    private:
        std::string m_name;
        std::vector<Value> m_values;
        std::unordered_map<std::string, std::size_t> m_valueIndex; // folded name -> position
        std::map<std::string, std::unique_ptr<Key>> m_subkeys;     // folded name -> key
    };

    RegistryTree();

    Key& Root(int index) { return *m_roots.at(static_cast<std::size_t>(index)); }
    const Key& Root(int index) const { return *m_roots.at(static_cast<std::size_t>(index)); }

    /// The key at path below a root, or null.
    Key* Find(int root, const std::vector<std::string>& path);
    const Key* Find(int root, const std::vector<std::string>& path) const;
    /// The key at path, made (with any missing keys above it) when missing.
    Key& Create(int root, const std::vector<std::string>& path, bool* created = nullptr);

    /// True for the keys that always exist: the roots and their "SOFTWARE" keys.
    static bool IsPermanent(int root, const std::vector<std::string>& path);

    /// Root index of a root's name (any case), or -1.
    static int RootIndex(std::string_view name);

private:
    std::array<std::unique_ptr<Key>, kRootCount> m_roots;
};
