#pragma once
// Runs one long piece of library work (an extraction, an unpacking, a rebuild, a
// conversion) on a worker thread, with a progress window that has Cancel.
//
// The rule: no window ever sits over a question or a message of the work. While
// the work asks something or says something, the progress window is hidden and
// the work waits for the answer; the window comes back when the work goes on.
// The `done` call comes after the progress window has closed, so whatever the
// caller says then is on top too. Escape in the progress window, its Cancel and
// closing it all ask the work to stop (ov::Job::stop); a question's Escape gives
// the question's cautious answer.
//
// One job at a time per runner. The runner is the only owner of the worker: its
// destructor stops a running job and keeps answering on this thread until the
// worker has ended.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

#include "common/job.h"
#include "common/report.h"

class QDialog;
class QThread;
class QWidget;

namespace ov::desktop {

class QtReporter;

// What the progress window shows before the work's first report.
struct JobWindowText {
    QString objectName;      // "hogExtractProgress", ...
    QString accessibleName;  // "Extraction progress"
    QString title;           // the window title
    QString label;           // "Extracting...": until the work says what it is doing
    uint64_t total = 0;      // items, when known beforehand
    // How a report's status is shown in the window; the status as UTF-8 (or
    // Latin-1 when it is not valid UTF-8) when empty.
    std::function<QString(const ov::Progress&)> describe;
};

class JobRunner : public QObject {
    Q_OBJECT

public:
    // The progress window belongs to `window`; the work's questions and messages
    // go to `reporter` on this thread.
    JobRunner(QWidget* window, QtReporter& reporter, QObject* parent = nullptr);
    ~JobRunner() override;
    JobRunner(const JobRunner&) = delete;
    JobRunner& operator=(const JobRunner&) = delete;

    // The work, run on the worker; it talks to the user only through the reporter
    // it is given and looks at the job's stop token between items.
    using Work = std::function<void(const ov::Job& job, ov::Reporter& reporter)>;
    // Starts the work; false (and nothing started) while another job runs. `done`
    // runs on this thread once the work has returned and the progress window has
    // closed.
    bool start(const JobWindowText& texts, Work work, std::function<void()> done = {});

    // The same for work that returns a value, handed to `done`.
    template <class R>
    bool run(const JobWindowText& texts, std::function<R(const ov::Job&, ov::Reporter&)> work,
             std::function<void(R)> done) {
        auto result = std::make_shared<std::optional<R>>();
        return start(
            texts, [work = std::move(work), result](const ov::Job& j, ov::Reporter& r) {
                result->emplace(work(j, r));
            },
            [done = std::move(done), result] {
                if (done && *result) done(std::move(**result));
            });
    }

    bool isRunning() const { return thread_ != nullptr; }
    // Asks the running work to stop after the item it is on.
    void cancel();
    bool cancelRequested() const { return stop_.stop_requested(); }
    // Keeps this thread answering until the running work has ended (its `done`
    // included). Returns at once when nothing runs.
    void wait();

    // How long the work runs before its progress window appears (ms).
    void setShowDelay(int ms) { showDelay_ = ms; }

signals:
    void runningChanged(bool running);
    // The work's latest report, on this thread: at most one every 50 ms, and the
    // last one of a run of reports is never dropped.
    void progressed(const ov::Progress& progress);
    void finished();

private:
    class WorkReporter;
    friend class WorkReporter;

    // On this thread, for the worker: the question or message shown with the
    // progress window out of the way.
    ov::Answer askFromWork(const std::function<ov::Answer(ov::Reporter&)>& ask);
    void postProgress(const ov::Progress& progress);
    void deliverProgress();
    void showWindow();
    void workEnded();

    QPointer<QWidget> window_;
    QtReporter& reporter_;
    std::unique_ptr<WorkReporter> workReporter_;
    QThread* thread_ = nullptr;
    std::stop_source stop_;
    JobWindowText texts_;
    std::function<void()> done_;
    QPointer<QDialog> progress_;
    QTimer showTimer_;
    QTimer progressTimer_;
    int showDelay_ = 400;
    int asking_ = 0;         // questions of the work now open
    bool hiddenByAsk_ = false;

    struct Pending;
    std::shared_ptr<Pending> pending_;  // the latest report, shared with the worker
};

}  // namespace ov::desktop
