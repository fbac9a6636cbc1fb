#include "app/desktop/SilentMciPort.h"

#include <cstring>

namespace {

// The platform's "device not ready" error.
constexpr MCIERROR kNoDevice = 276;
constexpr const char* kNoDeviceText = "There is no sound engine in this build of Quillon.";

} // namespace

MCIERROR SilentMciPort::SendCommand(MCIDEVICEID /*device*/, UINT /*message*/, DWORD_PTR /*flags*/,
                                    DWORD_PTR /*param*/) {
    return kNoDevice;
}

BOOL SilentMciPort::GetErrorString(MCIERROR /*error*/, char* text, UINT length) {
    if (text == nullptr || length == 0) {
        return 0;
    }
    std::strncpy(text, kNoDeviceText, length - 1);
    text[length - 1] = '\0';
    return 1;
}
