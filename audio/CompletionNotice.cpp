#include "audio/CompletionNotice.h"

#include "model/MoxPlayListPlayer.h"
#include "platform/mci/MciPort.h"

bool ForwardCompletionNotice(MciPort& mci, MoxPlayListPlayer& player, WPARAM noticeCode,
                             LPARAM deviceId) {
    if (!mci.IsDeviceOpen(static_cast<MCIDEVICEID>(deviceId))) {
        return false;
    }
    player.OnCompletionNotice(noticeCode);
    return true;
}
