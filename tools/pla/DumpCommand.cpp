#include "tools/pla/DumpCommand.h"

#include "platform/classlib/CException.h"
#include "tools/pla/InertDevice.h"
#include "tools/pla/PlayListJson.h"

#include <iostream>

int RunDumpCommand(int count, char** args) {
    if (count != 1) {
        return 2;
    }
    // Every kind of item is kept, whatever players this machine has.
    InertDevice device;
    try {
        auto list =
            LoadPlayListFile(args[0], {{&device, nullptr}, {&device, nullptr}, {&device, nullptr}});
        std::cout << PlayListToJson(*list).dump(2, ' ', false,
                                                nlohmann::json::error_handler_t::replace)
                  << "\n";
        return 0;
    } catch (const CException& e) {
        std::cerr << "quillon-pla: " << e.GetErrorMessage() << "\n";
        return 1;
    }
}
