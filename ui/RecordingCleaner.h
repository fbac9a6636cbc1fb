#pragma once

#include "dsp/CleanRecording.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class CWaitCursor;
class QProgressDialog;
class QWidget;

/// Runs CleanRecording() for a dialog on a worker thread, one run at a time, while the
/// interface stays live: the wait cursor shows while it runs, and a progress dialog whose
/// Cancel stops the run appears when it takes longer than half a second. The dialog hears of
/// the end through its callback, on the interface thread, once the worker has been joined.
class RecordingCleaner final : public QObject {
public:
    struct Job {
        /// The file processed in place.
        std::string path;
        /// When set, this file is copied over path first and stays as it is; the copy is
        /// removed again unless the processing changed it.
        std::string copyFrom;
        CleanSteps steps;
        /// What the progress dialog says is going on.
        QString doing;
    };
    using Finished = std::function<void(const Job&, const CleanResult&)>;

    /// The progress dialog is a child of owner.
    RecordingCleaner(QWidget* owner, Finished finished);
    /// Stops a run and waits for its end, without calling back.
    ~RecordingCleaner() override;
    RecordingCleaner(const RecordingCleaner&) = delete;
    RecordingCleaner& operator=(const RecordingCleaner&) = delete;

    bool IsRunning() const { return m_worker.joinable(); }
    /// Starts a run; nothing when one runs already.
    void Start(Job job);
    /// Waits for the run's end (stop: asks it to stop first, through its progress callback)
    /// and calls back before it returns. Nothing when no run is going.
    void Wait(bool stop);

private:
    /// On the worker thread.
    void Run(unsigned run);
    void Finish(unsigned run);

    QWidget* m_owner;
    Finished m_finished;
    // Set before the worker starts and read by it; the result is written by it and read
    // after the join.
    Job m_job;
    CleanResult m_result;
    std::thread m_worker;
    std::atomic<bool> m_stop{false};
    /// The last fraction posted to the progress dialog, in thousandths.
    std::atomic<int> m_posted{-1};
    /// Tells a run's end notice from that of a run that was waited for already.
    unsigned m_run = 0;
    std::unique_ptr<CWaitCursor> m_wait;
    QPointer<QProgressDialog> m_progress;
};
