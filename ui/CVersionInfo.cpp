#include "ui/CVersionInfo.h"

#include "platform/version/VersionResource.h"

#include <cstdint>

namespace {

std::string fourNumbers(std::uint32_t ms, std::uint32_t ls) {
    return std::to_string(ms >> 16) + "," + std::to_string(ms & 0xFFFF) + "," +
           std::to_string(ls >> 16) + "," + std::to_string(ls & 0xFFFF);
}

} // namespace

CVersionInfo::CVersionInfo(const std::string& module, const std::string& languageBlock,
                           const std::string& key) {
    const auto resource = ReadVersionResource(module);
    if (!resource) {
        return;
    }
    m_strFileVersion = fourNumbers(resource->fileVersionMS, resource->fileVersionLS);
    m_strProductVersion = fourNumbers(resource->productVersionMS, resource->productVersionLS);
    if (!languageBlock.empty() || !key.empty()) {
        m_strValue = resource->QueryValue("\\StringFileInfo\\" + languageBlock + "\\" + key)
                         .value_or(std::string());
    }
}
