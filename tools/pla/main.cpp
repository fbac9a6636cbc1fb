// quillon-pla: inspect and write play list files, prepare announcements, and render play lists
// for phone systems. Each command lives in a file of its own (its header says what it does);
// this file only dispatches. A file that cannot be used is reported with its reason and exit
// status 1; bad usage gives status 2.

#include "tools/pla/CleanCommand.h"
#include "tools/pla/DumpCommand.h"
#include "tools/pla/LoudnessCommand.h"
#include "tools/pla/MakeCommand.h"
#include "tools/pla/RenderCommand.h"

#include <iostream>
#include <string_view>

namespace {

int usage() {
    std::cerr << "usage: quillon-pla dump FILE.pla\n"
                 "       quillon-pla make FILE.pla < list.json\n"
                 "       quillon-pla clean FILE.wav [--denoise] [--maximise]\n"
                 "       quillon-pla render FILE.pla OUT [--format ulaw|alaw|s16]\n"
                 "                   [--rate 8000|16000|44100] [--passes N] [--data DIR]\n"
                 "       quillon-pla loudness FILE.pla [--json] [--data DIR]\n";
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return usage();
    }
    const std::string_view command = argv[1];
    int (*run)(int, char**) = command == "dump"       ? RunDumpCommand
                              : command == "make"     ? RunMakeCommand
                              : command == "clean"    ? RunCleanCommand
                              : command == "render"   ? RunRenderCommand
                              : command == "loudness" ? RunLoudnessCommand
                                                      : nullptr;
    if (run == nullptr) {
        return usage();
    }
    const int status = run(argc - 2, argv + 2);
    return status == 2 ? usage() : status;
}
