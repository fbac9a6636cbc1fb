#include "tools/pla/CleanCommand.h"

#include "dsp/CleanRecording.h"

#include <iostream>
#include <string>

int RunCleanCommand(int count, char** args) {
    CleanSteps steps;
    std::string path;
    for (int i = 0; i < count; ++i) {
        const std::string word = args[i];
        if (word == "--denoise") {
            steps.removeHiss = true;
        } else if (word == "--maximise" || word == "--maximize") {
            steps.maximise = true;
        } else if (path.empty() && !word.starts_with("--")) {
            path = word;
        } else {
            return 2;
        }
    }
    if (path.empty()) {
        return 2;
    }
    if (!steps.removeHiss && !steps.maximise) {
        steps = {true, true};
    }
    const CleanResult result = CleanRecording(path, steps);
    if (!result.Succeeded()) {
        std::cerr << "quillon-pla: " << path << ": " << result.message << "\n";
        return 1;
    }
    std::cout << path << ": " << result.message << "\n";
    return 0;
}
