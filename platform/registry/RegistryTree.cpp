#include "platform/registry/RegistryTree.h"

#include "platform/files/FindPathNoCase.h"

namespace {

constexpr int kCurrentUser = 1;
constexpr int kLocalMachine = 2;

bool hasSoftwareKey(int root) {
    return root == kCurrentUser || root == kLocalMachine;
}

} // namespace

RegistryTree::Key* RegistryTree::Key::FindSubkey(std::string_view name) {
    const auto it = m_subkeys.find(FoldCase(name));
    return it == m_subkeys.end() ? nullptr : it->second.get();
}

const RegistryTree::Key* RegistryTree::Key::FindSubkey(std::string_view name) const {
    const auto it = m_subkeys.find(FoldCase(name));
    return it == m_subkeys.end() ? nullptr : it->second.get();
}

RegistryTree::Key& RegistryTree::Key::AddSubkey(std::string_view name, bool* created) {
    auto [it, inserted] = m_subkeys.try_emplace(FoldCase(name));
    if (inserted) {
        it->second = std::make_unique<Key>(std::string(name));
    }
    if (created != nullptr) {
        *created = inserted;
    }
    return *it->second;
}

bool RegistryTree::Key::RemoveSubkey(std::string_view name) {
    return m_subkeys.erase(FoldCase(name)) != 0;
}

const RegistryTree::Value* RegistryTree::Key::FindValue(std::string_view name) const {
    const auto it = m_valueIndex.find(FoldCase(name));
    return it == m_valueIndex.end() ? nullptr : &m_values[it->second];
}

bool RegistryTree::Key::SetValue(std::string_view name, DWORD type,
                                 std::vector<std::uint8_t> data) {
    const auto [it, inserted] = m_valueIndex.try_emplace(FoldCase(name), m_values.size());
    if (inserted) {
        m_values.push_back(Value{std::string(name), type, std::move(data)});
        return true;
    }
    Value& value = m_values[it->second];
    if (value.type == type && value.data == data) {
        return false;
    }
    value.type = type;
    value.data = std::move(data);
    return true;
}

bool RegistryTree::Key::RemoveValue(std::string_view name) {
    const auto it = m_valueIndex.find(FoldCase(name));
    if (it == m_valueIndex.end()) {
        return false;
    }
    const std::size_t position = it->second;
    m_valueIndex.erase(it);
    m_values.erase(m_values.begin() + static_cast<std::ptrdiff_t>(position));
    for (auto& [folded, index] : m_valueIndex) {
        if (index > position) {
            --index;
        }
    }
    return true;
}

RegistryTree::RegistryTree() {
    for (int i = 0; i < kRootCount; ++i) {
        m_roots[static_cast<std::size_t>(i)] = std::make_unique<Key>(std::string(kRootNames[i]));
        if (hasSoftwareKey(i)) {
            m_roots[static_cast<std::size_t>(i)]->AddSubkey(kSoftwareKey);
        }
    }
}

RegistryTree::Key* RegistryTree::Find(int root, const std::vector<std::string>& path) {
    Key* key = &Root(root);
    for (const std::string& name : path) {
        key = key->FindSubkey(name);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

const RegistryTree::Key* RegistryTree::Find(int root, const std::vector<std::string>& path) const {
    const Key* key = &Root(root);
    for (const std::string& name : path) {
        key = key->FindSubkey(name);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

RegistryTree::Key& RegistryTree::Create(int root, const std::vector<std::string>& path,
                                        bool* created) {
    Key* key = &Root(root);
    bool made = false;
    for (const std::string& name : path) {
        key = &key->AddSubkey(name, &made);
    }
    if (created != nullptr) {
        *created = made;
    }
    return *key;
}

bool RegistryTree::IsPermanent(int root, const std::vector<std::string>& path) {
    return path.empty() ||
           (path.size() == 1 && hasSoftwareKey(root) && EqualsNoCase(path[0], kSoftwareKey));
}

int RegistryTree::RootIndex(std::string_view name) {
    for (int i = 0; i < kRootCount; ++i) {
        if (EqualsNoCase(name, kRootNames[static_cast<std::size_t>(i)])) {
            return i;
        }
    }
    return -1;
}
