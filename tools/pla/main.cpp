// quillon-pla: inspect and write play list files, and prepare announcements.
//
//   quillon-pla dump FILE    prints the list as the loader reads it, as JSON
//   quillon-pla make FILE    reads that JSON on standard input and writes FILE
//   quillon-pla clean FILE.wav [--denoise] [--maximise]
//                            removes hiss from a wave file and/or maximises its volume, in
//                            place (both when neither is given)
//
// Every kind of item is kept, whatever players this machine has. A damaged file is reported
// with its reason and exit status 1; bad usage gives status 2.

#include "platform/classlib/CException.h"
#include "tools/pla/CleanCommand.h"
#include "tools/pla/InertDevice.h"
#include "tools/pla/PlayListJson.h"

#include <iostream>
#include <iterator>
#include <string>

namespace {

int usage() {
    std::cerr << "usage: quillon-pla dump FILE.pla\n"
                 "       quillon-pla make FILE.pla < list.json\n"
                 "       quillon-pla clean FILE.wav [--denoise] [--maximise]\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "clean") {
        const int status = RunCleanCommand(argc - 2, argv + 2);
        return status == 2 ? usage() : status;
    }
    if (argc != 3) {
        return usage();
    }
    const std::string command = argv[1];
    const std::string path = argv[2];
    InertDevice device;
    const MoxItemOutputs outputs{{&device, nullptr}, {&device, nullptr}, {&device, nullptr}};

    if (command == "dump") {
        try {
            auto list = LoadPlayListFile(path, outputs);
            std::cout << PlayListToJson(*list).dump(2, ' ', false,
                                                    nlohmann::json::error_handler_t::replace)
                      << "\n";
            return 0;
        } catch (const CException& e) {
            std::cerr << "quillon-pla: " << e.GetErrorMessage() << "\n";
            return 1;
        }
    }
    if (command == "make") {
        const std::string text{std::istreambuf_iterator<char>(std::cin),
                               std::istreambuf_iterator<char>()};
        const auto json = nlohmann::json::parse(text, nullptr, false);
        if (json.is_discarded()) {
            std::cerr << "quillon-pla: standard input is not valid JSON\n";
            return 1;
        }
        std::string error;
        auto list = PlayListFromJson(json, outputs, path, error);
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
    return usage();
}
