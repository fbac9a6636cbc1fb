#include "tools/pla/MakeCommand.h"

#include "platform/classlib/CException.h"
#include "tools/pla/InertDevice.h"
#include "tools/pla/PlayListJson.h"

#include <iostream>
#include <iterator>
#include <string>

int RunMakeCommand(int count, char** args) {
    if (count != 1) {
        return 2;
    }
    const std::string path = args[0];
    const std::string text{std::istreambuf_iterator<char>(std::cin),
                           std::istreambuf_iterator<char>()};
    const auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded()) {
        std::cerr << "quillon-pla: standard input is not valid JSON\n";
        return 1;
    }
    InertDevice device;
    std::string error;
    auto list = PlayListFromJson(json, {{&device, nullptr}, {&device, nullptr}, {&device, nullptr}},
                                 path, error);
    if (list == nullptr) {
        std::cerr << "quillon-pla: " << error << "\n";
        return 1;
    }
    try {
        SavePlayListFile(*list, path);
        return 0;
    } catch (const CException& e) {
        std::cerr << "quillon-pla: " << e.GetErrorMessage() << "\n";
        return 1;
    }
}
