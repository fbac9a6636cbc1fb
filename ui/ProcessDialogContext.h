#pragma once

#include "ui/DialogContext.h"

class CQuillonApp;

/// The dialogs' context in the desktop program: the process-wide objects, the settings that
/// app loaded and saves, and the autostart entry. Only start-up calls this; app must outlive
/// the dialogs.
DialogContext ProcessDialogContext(CQuillonApp& app);
