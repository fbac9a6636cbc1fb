#include "ui/ProcessDialogContext.h"

#include "app/CQuillonApp.h"
#include "app/ProcessObjects.h"
#include "app/StartupShortcut.h"
#include "mixer/MixerGlobals.h"

DialogContext ProcessDialogContext(CQuillonApp& app) {
    DialogContext context;
    context.dataFolder = &g_szCurrentDir;
    context.notifyWindow = &g_hNotifyWnd;
    context.settings = &g_settings;
    context.patterns = &g_filePatterns;
    context.mci = g_mci.get();
    context.player = g_player.get();
    context.cdDevice = g_cdDevice.get();
    context.midDevice = g_midDevice.get();
    context.wavDevice = g_wavDevice.get();
    context.recorder = g_recorder.get();
    context.faders = &g_mixerFaders;
    context.saveSettings = [&app] { app.SaveSettings(); };
    context.updateStartupShortcut = [](const std::string& executablePath) {
        return UpdateStartupShortcut(executablePath);
    };
    return context;
}
