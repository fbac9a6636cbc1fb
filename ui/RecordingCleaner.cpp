#include "ui/RecordingCleaner.h"

#include "platform/classlib/CException.h"
#include "ui/CWaitCursor.h"
#include "ui/MoveFileOver.h"

#include <QProgressBar>
#include <QProgressDialog>
#include <QWidget>

#include <filesystem>

namespace {

constexpr int kProgressSteps = 1000;
constexpr int kShowProgressAfterMs = 500;

} // namespace

RecordingCleaner::RecordingCleaner(QWidget* owner, Finished finished)
    : m_owner(owner)
    , m_finished(std::move(finished)) {}

RecordingCleaner::~RecordingCleaner() {
    m_stop = true;
    if (m_worker.joinable()) {
        m_worker.join();
    }
    delete m_progress;
}

void RecordingCleaner::Start(Job job) {
    if (IsRunning()) {
        return;
    }
    m_job = std::move(job);
    m_result = CleanResult();
    m_stop = false;
    m_posted = -1;
    m_wait = std::make_unique<CWaitCursor>();

    m_progress = new QProgressDialog(m_owner);
    m_progress->setWindowTitle(m_owner->windowTitle());
    m_progress->setLabelText(m_job.doing);
    auto* bar = new QProgressBar;
    bar->setAccessibleName(m_job.doing);
    m_progress->setBar(bar);
    m_progress->setRange(0, kProgressSteps);
    m_progress->setAutoReset(false);
    m_progress->setAutoClose(false);
    // Not modal: a modal progress dialog runs the event loop inside setValue, where the end of
    // the run could delete it. The owner refuses its own commands meanwhile.
    m_progress->setWindowModality(Qt::NonModal);
    m_progress->setMinimumDuration(kShowProgressAfterMs);
    connect(m_progress, &QProgressDialog::canceled, this, [this] { m_stop = true; });
    m_progress->setValue(0);

    const unsigned run = ++m_run;
    m_worker = std::thread([this, run] { Run(run); });
}

void RecordingCleaner::Run(unsigned run) {
    bool copied = false;
    if (!m_job.copyFrom.empty()) {
        copied = CopyFileOver(m_job.copyFrom, m_job.path) == CFileException::none;
        if (!copied) {
            m_result.outcome = CleanResult::Outcome::WriteFailed;
            m_result.message = "A working copy of the recording cannot be made.";
        }
    }
    if (m_job.copyFrom.empty() || copied) {
        m_result = CleanRecording(m_job.path, m_job.steps, [this](double fraction) {
            const int step = static_cast<int>(fraction * kProgressSteps);
            if (m_posted.exchange(step) != step) {
                QMetaObject::invokeMethod(
                    this,
                    [this, step] {
                        if (m_progress) {
                            m_progress->setValue(step);
                        }
                    },
                    Qt::QueuedConnection);
            }
            return !m_stop;
        });
    }
    if (copied && m_result.outcome != CleanResult::Outcome::Done) {
        std::error_code ignored;
        std::filesystem::remove(m_job.path, ignored);
    }
    QMetaObject::invokeMethod(
        this, [this, run] { Finish(run); }, Qt::QueuedConnection);
}

void RecordingCleaner::Wait(bool stop) {
    if (stop) {
        m_stop = true;
    }
    Finish(m_run);
}

void RecordingCleaner::Finish(unsigned run) {
    if (run != m_run || !m_worker.joinable()) {
        return; // waited for already
    }
    m_worker.join();
    m_wait.reset();
    // Never called from the progress dialog's own handlers (its Cancel only raises the flag),
    // so it can go at once, before its timer could show it.
    delete m_progress;
    m_finished(m_job, m_result);
}
