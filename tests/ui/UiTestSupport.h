#pragma once

#include "platform/mci/MciPort.h"
#include "platform/msgbox/AfxMessageBox.h"
#include "tests/audio/RecordingMciPort.h"
#include "ui/FileDialog.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

/// Answers the program's message boxes for a test and keeps what they said. Installed while
/// it lives.
class CapturedMessageBoxes final : public MessageBoxHandler {
public:
    struct Box {
        std::string text;
        UINT type;
    };

    CapturedMessageBoxes();
    ~CapturedMessageBoxes() override;
    CapturedMessageBoxes(const CapturedMessageBoxes&) = delete;
    CapturedMessageBoxes& operator=(const CapturedMessageBoxes&) = delete;

    int Show(const std::string& text, UINT type) override;

    std::vector<Box> boxes;
    int answer = IDOK;

private:
    MessageBoxHandler* m_previous;
};

/// Answers the file dialogs with a path the test chose (nothing: cancelled) and keeps the
/// requests, while it lives.
class AnsweredFileDialog final : public FileDialogHandler {
public:
    AnsweredFileDialog() { m_previous = InstallFileDialogHandler(this); }
    ~AnsweredFileDialog() override { InstallFileDialogHandler(m_previous); }
    std::optional<QString> Run(QWidget*, const FileDialogRequest& request) override {
        requests.push_back(request);
        return answer;
    }

    std::optional<QString> answer;
    std::vector<FileDialogRequest> requests;

private:
    FileDialogHandler* m_previous = nullptr;
};

/// The recording command layer, safe to use from the player's worker while the test reads it.
class SharedRecordingMciPort final : public MciPort {
public:
    MCIERROR SendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags,
                         DWORD_PTR param) override;
    BOOL GetErrorString(MCIERROR error, char* text, UINT length) override;
    bool IsDeviceOpen(MCIDEVICEID device) override;

    /// The commands since the last take.
    std::vector<std::string> take();
    /// The next command of this kind fails with this error, once.
    void failNext(UINT message, MCIERROR error);
    /// Waits until a command that begins with prefix has been sent and returns it, taking the
    /// log up to and including it; nothing after the timeout.
    std::optional<std::string> waitFor(const std::string& prefix,
                                       std::chrono::milliseconds timeout = std::chrono::seconds(5));
    /// The device id an "open ... -> N" entry gave, or 0.
    static MCIDEVICEID openedDevice(const std::string& entry);

private:
    std::mutex m_mutex;
    std::condition_variable m_sent;
    RecordingMciPort m_port;
    std::vector<std::string> m_log;
};

/// One item of a play list file written for a test.
struct TestItem {
    int kind; ///< 101 MIDI, 102 wave, 103 CD
    std::string name;
    int loopCount = 1;
    int volume = 80;
};

/// Writes a play list file as the editor would.
void WritePlayListFile(const std::string& path, const std::vector<TestItem>& items);

/// Runs the Qt event loop until condition holds or the timeout passes; returns condition().
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));
