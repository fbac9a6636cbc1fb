#include "tools/pla/PlayListJson.h"

#include "model/MoxCD.h"
#include "model/MoxMid.h"
#include "model/MoxWav.h"
#include "platform/classlib/CArchive.h"
#include "platform/classlib/CFile.h"

#include <limits>

namespace {

bool readNumber(const nlohmann::json& json, const char* key, std::int64_t min, std::int64_t max,
                std::int64_t& out, const std::string& where, std::string& error) {
    const auto it = json.find(key);
    if (it == json.end() || !it->is_number_integer()) {
        error = where + ": \"" + key + "\" must be a whole number";
        return false;
    }
    const auto value = it->get<std::int64_t>();
    if (value < min || value > max) {
        error = where + ": \"" + key + "\" is out of range (" + std::to_string(min) + " to " +
                std::to_string(max) + ")";
        return false;
    }
    out = value;
    return true;
}

bool readText(const nlohmann::json& json, const char* key, std::string& out,
              const std::string& where, std::string& error) {
    const auto it = json.find(key);
    if (it == json.end()) {
        return true; // optional: the caller has its default in out
    }
    if (!it->is_string()) {
        error = where + ": \"" + key + "\" must be a text";
        return false;
    }
    out = it->get<std::string>();
    return true;
}

constexpr std::int64_t kDwordMax = std::numeric_limits<DWORD>::max();

} // namespace

nlohmann::ordered_json PlayListToJson(MoxPlayList& list) {
    nlohmann::ordered_json json;
    json["kind"] = list.GetKind();
    json["name"] = list.GetName();
    json["loopCount"] = list.GetLoopCount();
    json["reservedA"] = list.GetReservedA();
    json["title"] = list.GetTitle();
    json["count"] = list.GetCachedCount();
    auto items = nlohmann::ordered_json::array();
    const DWORD count = list.GetCount();
    for (DWORD i = 0; i < count; ++i) {
        const MoxAudioItem* item = list.ItemAt(i);
        nlohmann::ordered_json entry;
        entry["kind"] = item->GetKind();
        entry["name"] = item->GetName();
        entry["title"] = item->GetTitle();
        entry["loopCount"] = item->GetLoopCount();
        entry["reservedA"] = item->GetReservedA();
        entry["reservedB"] = item->GetReservedB();
        entry["volume"] = item->GetVolume();
        items.push_back(std::move(entry));
    }
    json["items"] = std::move(items);
    return json;
}

std::unique_ptr<MoxPlayList> PlayListFromJson(const nlohmann::json& json,
                                              const MoxItemOutputs& outputs,
                                              const std::string& savePath, std::string& error) {
    if (!json.is_object()) {
        error = "the play list must be a JSON object";
        return nullptr;
    }
    auto list = std::make_unique<MoxPlayList>(outputs);
    std::int64_t kind = kindPlayList;
    if (json.contains("kind") &&
        (!readNumber(json, "kind", kindPlayList, kindPlayList, kind, "play list", error))) {
        return nullptr;
    }
    std::int64_t loopCount = 1;
    std::int64_t reservedA = 0;
    if ((json.contains("loopCount") &&
         !readNumber(json, "loopCount", 0, kDwordMax, loopCount, "play list", error)) ||
        (json.contains("reservedA") &&
         !readNumber(json, "reservedA", 0, kDwordMax, reservedA, "play list", error))) {
        return nullptr;
    }
    std::string name = savePath;
    std::string title = savePath.substr(savePath.rfind('/') + 1);
    if (!readText(json, "name", name, "play list", error) ||
        !readText(json, "title", title, "play list", error)) {
        return nullptr;
    }
    list->SetName(name);
    list->SetTitle(title);
    list->SetLoopCount(static_cast<DWORD>(loopCount));
    list->SetReservedA(static_cast<DWORD>(reservedA));

    const auto items = json.find("items");
    if (items == json.end()) {
        return list;
    }
    if (!items->is_array()) {
        error = "\"items\" must be a list";
        return nullptr;
    }
    std::size_t index = 0;
    for (const auto& entry : *items) {
        const std::string where = "item " + std::to_string(index++);
        if (!entry.is_object()) {
            error = where + ": must be a JSON object";
            return nullptr;
        }
        std::int64_t itemKind = 0;
        std::int64_t itemLoops = 1;
        std::int64_t itemReservedA = 0;
        std::int64_t reservedB = 1;
        std::int64_t volume = 0;
        if (!readNumber(entry, "kind", kindMidi, kindCD, itemKind, where, error) ||
            (entry.contains("loopCount") &&
             !readNumber(entry, "loopCount", 0, kDwordMax, itemLoops, where, error)) ||
            (entry.contains("reservedA") &&
             !readNumber(entry, "reservedA", 0, kDwordMax, itemReservedA, where, error)) ||
            (entry.contains("reservedB") &&
             !readNumber(entry, "reservedB", 0, kDwordMax, reservedB, where, error)) ||
            (entry.contains("volume") &&
             !readNumber(entry, "volume", 0, kDwordMax, volume, where, error))) {
            return nullptr;
        }
        std::string itemName;
        if (!readText(entry, "name", itemName, where, error)) {
            return nullptr;
        }
        if (itemName.empty()) {
            error = where + ": \"name\" is missing";
            return nullptr;
        }
        std::string itemTitle = itemName;
        if (!readText(entry, "title", itemTitle, where, error)) {
            return nullptr;
        }
        std::unique_ptr<MoxAudioItem> item;
        if (itemKind == kindMidi) {
            item = std::make_unique<MoxMid>(outputs.midi, itemName);
        } else if (itemKind == kindWave) {
            item = std::make_unique<MoxWav>(outputs.wave, itemName);
        } else {
            item = std::make_unique<MoxCD>(outputs.cd, itemName);
        }
        item->SetLoopCount(static_cast<DWORD>(itemLoops));
        item->SetReservedA(static_cast<DWORD>(itemReservedA));
        item->SetTitle(itemTitle);
        item->SetReservedB(static_cast<DWORD>(reservedB));
        item->SetVolume(static_cast<DWORD>(volume));
        list->Add(std::move(item));
    }
    return list;
}

std::unique_ptr<MoxPlayList> LoadPlayListFile(const std::string& path,
                                              const MoxItemOutputs& outputs) {
    CFile file(path, CFile::modeRead);
    CArchive ar(&file, CArchive::load);
    auto list = std::make_unique<MoxPlayList>(outputs);
    list->Serialize(ar);
    return list;
}

void SavePlayListFile(MoxPlayList& list, const std::string& path) {
    CFile file(path, CFile::modeCreate | CFile::modeWrite);
    CArchive ar(&file, CArchive::store);
    list.Serialize(ar);
    ar.Close();
    file.Close();
}
