#pragma once

#include "model/MoxItemOutputs.h"
#include "model/MoxPlayList.h"

#include <nlohmann/json.hpp>

#include <memory>
#include <string>

/// The JSON form of a play list, fields in file order:
///   {"kind": 100, "name": "...", "loopCount": 1, "reservedA": 0, "title": "...",
///    "count": N, "items": [{"kind": 102, "name": "...", "title": "...", "loopCount": 2,
///    "reservedA": 0, "reservedB": 1, "volume": 50}, ...]}
/// "count" is the number of records the file announces; "items" the ones the loader kept.
nlohmann::ordered_json PlayListToJson(MoxPlayList& list);

/// Builds a list from the JSON form; on a missing or ill-typed field returns null and says
/// why in error. Name and title default to the path and file name the list will be saved to.
std::unique_ptr<MoxPlayList> PlayListFromJson(const nlohmann::json& json,
                                              const MoxItemOutputs& outputs,
                                              const std::string& savePath, std::string& error);

/// Loads a play list file as the program does. Raises CFileException or CArchiveException.
std::unique_ptr<MoxPlayList> LoadPlayListFile(const std::string& path,
                                              const MoxItemOutputs& outputs);

/// Saves a play list file as the editor does (Name and Title as the list holds them).
/// Raises CFileException; the previous file survives a failure.
void SavePlayListFile(MoxPlayList& list, const std::string& path);
