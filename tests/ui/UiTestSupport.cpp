#include "tests/ui/UiTestSupport.h"

#include "tools/pla/InertDevice.h"
#include "tools/pla/PlayListJson.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <stdexcept>

CapturedMessageBoxes::CapturedMessageBoxes()
    : m_previous(InstallMessageBoxHandler(this)) {}

CapturedMessageBoxes::~CapturedMessageBoxes() {
    InstallMessageBoxHandler(m_previous);
}

int CapturedMessageBoxes::Show(const std::string& text, UINT type) {
    boxes.push_back({text, type});
    return answer;
}

MCIERROR SharedRecordingMciPort::SendCommand(MCIDEVICEID device, UINT message, DWORD_PTR flags,
                                             DWORD_PTR param) {
    std::lock_guard lock(m_mutex);
    const MCIERROR result = m_port.SendCommand(device, message, flags, param);
    for (auto& entry : m_port.take()) {
        m_log.push_back(std::move(entry));
    }
    m_sent.notify_all();
    return result;
}

void SharedRecordingMciPort::failNext(UINT message, MCIERROR error) {
    std::lock_guard lock(m_mutex);
    m_port.failNext(message, error);
}

BOOL SharedRecordingMciPort::GetErrorString(MCIERROR error, char* text, UINT length) {
    std::lock_guard lock(m_mutex);
    return m_port.GetErrorString(error, text, length);
}

bool SharedRecordingMciPort::IsDeviceOpen(MCIDEVICEID device) {
    std::lock_guard lock(m_mutex);
    return m_port.IsDeviceOpen(device);
}

std::vector<std::string> SharedRecordingMciPort::take() {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    out.swap(m_log);
    return out;
}

std::optional<std::string> SharedRecordingMciPort::waitFor(const std::string& prefix,
                                                           std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (std::size_t i = 0; i < m_log.size(); ++i) {
            if (m_log[i].rfind(prefix, 0) == 0) {
                std::string found = m_log[i];
                m_log.erase(m_log.begin(), m_log.begin() + static_cast<std::ptrdiff_t>(i) + 1);
                return found;
            }
        }
        if (m_sent.wait_until(lock, deadline) == std::cv_status::timeout) {
            return std::nullopt;
        }
    }
}

MCIDEVICEID SharedRecordingMciPort::openedDevice(const std::string& entry) {
    const auto arrow = entry.rfind(" -> ");
    return arrow == std::string::npos
               ? 0
               : static_cast<MCIDEVICEID>(std::stoul(entry.substr(arrow + 4)));
}

void WritePlayListFile(const std::string& path, const std::vector<TestItem>& items) {
    nlohmann::json json = {{"loopCount", 1}, {"items", nlohmann::json::array()}};
    for (const TestItem& item : items) {
        json["items"].push_back({{"kind", item.kind},
                                 {"name", item.name},
                                 {"loopCount", item.loopCount},
                                 {"volume", item.volume}});
    }
    InertDevice device;
    const MoxItemOutputs outputs{{&device, nullptr}, {&device, nullptr}, {&device, nullptr}};
    std::string error;
    auto list = PlayListFromJson(json, outputs, path, error);
    if (list == nullptr) {
        throw std::runtime_error(error);
    }
    SavePlayListFile(*list, path);
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > timeout.count()) {
            return condition();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}
