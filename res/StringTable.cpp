#include "res/StringTable.h"

#include <array>
#include <utility>

namespace {

// Folder names and the path separator use "/" here; play lists made elsewhere name their
// files without folders, so nothing stored depends on the separator.
constexpr std::array<std::pair<unsigned, const char*>, 39> kStrings{{
    {101, "&About Quillon..."},
    {102, "Add the highlighted item(s) to the Play List"},
    {103, "Remove the highlighted item from the Play List"},
    {104, "Load a Play List from disk"},
    {105, "Save this Play List to disk"},
    {106, "Empty this Play List"},
    {107, "Audition the whole Play List"},
    {108, "Play the highlighted audio item"},
    {109, "Move the hightlighed item up the Play List"},
    {110, "Move the highlighted item down the Play List"},
    {111, "Choose your preferred Play List"},
    {112, "Play the highllighted Play List"},
    {113, "Create and edit Play Lists"},
    {114, "Record announcements"},
    {115, "Cancel without saving any changes"},
    {116, "Close this window"},
    {117, "Display Quillon options"},
    {118, "Send Quillon to the taskbar"},
    {119, "Display help"},
    {120, "Start recording from the microphone"},
    {121, "Play back recorded announcement"},
    {122, "Recording level"},
    {123, "Remove hiss from your recording"},
    {124, "Maximize the volume of your recording"},
    {125, "Save your recorded announcement"},
    {126, "Stop playing this Play List"},
    {127, "Stop playing the highlighted audio item"},
    {128, "Stop Recording"},
    {129, "Stop playing this Play List"},
    {130, "Stop playing the recorded announcement"},
    {131, "EXIT QUILLON!"},
    {132, "Quillon.desktop"},
    {136, "Wave Files/"},
    {137, "Midi Files/"},
    {138, "*.wav"},
    {139, "*.mid"},
    {140, "*.pla"},
    {141, "*.rmi"},
    {142, "/"},
}};

} // namespace

std::string LoadResourceString(unsigned id) {
    for (const auto& [number, text] : kStrings) {
        if (number == id && id != 0) {
            return text;
        }
    }
    return {};
}
