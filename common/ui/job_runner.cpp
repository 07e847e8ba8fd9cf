#include "common/ui/job_runner.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <climits>
#include <mutex>
#include <string>

#include "common/ui/qt_reporter.h"
#include "common/ui/value_label.h"

namespace ov::desktop {

namespace {

constexpr int kProgressInterval = 50;  // ms between two updates of the window
// After a question, the window comes back with the work's next report, or after
// this long when the work goes on without reporting.
constexpr int kReshowAfterAnswer = 1000;

int clampInt(uint64_t n) {
    return int(std::min<uint64_t>(n, INT_MAX));
}

// The progress window: what the work is doing, how far it is, and Cancel. It never
// shows itself: the runner decides when it is in view.
class JobProgressWindow final : public QDialog {
public:
    JobProgressWindow(const JobWindowText& texts, QWidget* parent) : QDialog(parent) {
        setObjectName(texts.objectName);
        setAccessibleName(texts.accessibleName);
        setWindowTitle(texts.title);
        setWindowModality(Qt::WindowModal);
        label_ = new ValueLabel("Progress status", this);
        label_->setValue(texts.label);
        label_->setObjectName("lblJobStatus");
        label_->setMinimumWidth(label_->fontMetrics().horizontalAdvance(QString(56, 'x')));
        bar_ = new QProgressBar(this);
        bar_->setObjectName("barJobProgress");
        bar_->setAccessibleName("Progress");
        bar_->setRange(0, clampInt(texts.total));
        bar_->setValue(0);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
        cancel_ = buttons->button(QDialogButtonBox::Cancel);
        cancel_->setObjectName("cmdCancelJob");
        cancel_->setAccessibleName("Cancel");
        // Cancel, Escape and the window's close button all end in reject().
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(label_);
        layout->addWidget(bar_);
        layout->addWidget(buttons);
    }

    void report(const ov::Progress& p, const QString& text) {
        if (p.total > 0) {
            const int before = bar_->value();
            bar_->setRange(0, clampInt(p.total));
            bar_->setValue(clampInt(std::min(p.done, p.total)));
            // The bar does not tell assistive technology when it moves.
            if (bar_->value() != before) {
                QAccessibleValueChangeEvent moved(bar_, bar_->value());
                QAccessible::updateAccessibility(&moved);
            }
        }
        if (!text.isEmpty()) label_->setValue(text);
    }

    void stopping() {
        label_->setValue("Stopping after the current item...");
        cancel_->setEnabled(false);
    }

    // Rejecting asks the work to stop; the window stays until the work has ended.
    void reject() override { emit rejected(); }

private:
    ValueLabel* label_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

JobProgressWindow* windowOf(QDialog* d) {
    return static_cast<JobProgressWindow*>(d);
}

}  // namespace

// The latest report of the work, handed from the worker to this thread.
struct JobRunner::Pending {
    std::mutex mutex;
    std::optional<ov::Progress> latest;
    bool posted = false;  // a delivery is on its way
};

// The Reporter the work talks to: every call is carried to the runner's thread and
// waits there for the answer.
class JobRunner::WorkReporter final : public ov::Reporter {
public:
    explicit WorkReporter(JobRunner& runner) : runner_(runner) {}

    void message(std::string_view title, std::string_view text, ov::Icon icon) override {
        const std::string t(title), x(text);
        call(ov::Answer::Ok, [&](ov::Reporter& r) {
            r.message(t, x, icon);
            return ov::Answer::Ok;
        });
    }

    ov::Answer question(std::string_view title, std::string_view text, ov::Buttons buttons,
                        ov::Icon icon) override {
        const std::string t(title), x(text);
        return call(ov::cautiousAnswer(buttons),
                    [&](ov::Reporter& r) { return r.question(t, x, buttons, icon); });
    }

private:
    ov::Answer call(ov::Answer fallback, const std::function<ov::Answer(ov::Reporter&)>& ask) {
        if (QThread::currentThread() == runner_.thread()) return runner_.askFromWork(ask);
        ov::Answer answer = fallback;
        QMetaObject::invokeMethod(
            &runner_, [&] { answer = runner_.askFromWork(ask); }, Qt::BlockingQueuedConnection);
        return answer;
    }

    JobRunner& runner_;
};

JobRunner::JobRunner(QWidget* window, QtReporter& reporter, QObject* parent)
    : QObject(parent),
      window_(window),
      reporter_(reporter),
      workReporter_(std::make_unique<WorkReporter>(*this)),
      pending_(std::make_shared<Pending>()) {
    showTimer_.setSingleShot(true);
    connect(&showTimer_, &QTimer::timeout, this, &JobRunner::showWindow);
    progressTimer_.setSingleShot(true);
    progressTimer_.setInterval(kProgressInterval);
    connect(&progressTimer_, &QTimer::timeout, this, &JobRunner::deliverProgress);
}

JobRunner::~JobRunner() {
    if (!thread_) return;
    // The work may be waiting for an answer on this thread: it is asked to stop and
    // this thread keeps answering until it has.
    done_ = {};
    cancel();
    wait();
}

bool JobRunner::start(const JobWindowText& texts, Work work, std::function<void()> done) {
    if (thread_ || !work) return false;
    texts_ = texts;
    done_ = std::move(done);
    stop_ = std::stop_source();
    {
        std::lock_guard lock(pending_->mutex);
        pending_->latest.reset();
        pending_->posted = false;
    }
    hiddenByAsk_ = false;
    asking_ = 0;

    // A window of the top-level window, as the questions are, not of a widget in it.
    auto* progress = new JobProgressWindow(texts_, window_ ? window_->window() : nullptr);
    progress_ = progress;
    connect(progress, &QDialog::rejected, this, &JobRunner::cancel);

    ov::Job job;
    job.stop = stop_.get_token();
    job.progress = [this](const ov::Progress& p) { postProgress(p); };
    thread_ = QThread::create(
        [this, work = std::move(work), job = std::move(job)] { work(job, *workReporter_); });
    connect(thread_, &QThread::finished, this, &JobRunner::workEnded, Qt::QueuedConnection);
    emit runningChanged(true);
    thread_->start();
    showTimer_.start(showDelay_);
    return true;
}

void JobRunner::cancel() {
    if (!thread_ || stop_.stop_requested()) return;
    stop_.request_stop();
    if (progress_) windowOf(progress_)->stopping();
}

void JobRunner::wait() {
    if (!thread_) return;
    QEventLoop loop;
    connect(this, &JobRunner::finished, &loop, &QEventLoop::quit);
    while (thread_)
        loop.exec();
}

// Called on the worker.
void JobRunner::postProgress(const ov::Progress& p) {
    bool post = false;
    {
        std::lock_guard lock(pending_->mutex);
        // A last report without a status does not wipe out what the work was doing,
        // when that was never shown.
        std::string status = p.status.empty() && pending_->latest ? pending_->latest->status
                                                                   : std::string();
        pending_->latest = p;
        if (!status.empty()) pending_->latest->status = std::move(status);
        post = !std::exchange(pending_->posted, true);
    }
    if (post) QMetaObject::invokeMethod(this, &JobRunner::deliverProgress, Qt::QueuedConnection);
}

void JobRunner::deliverProgress() {
    // Within the interval the timer delivers what is latest when it runs out.
    if (progressTimer_.isActive()) return;
    std::optional<ov::Progress> p;
    {
        std::lock_guard lock(pending_->mutex);
        p = std::exchange(pending_->latest, std::nullopt);
        pending_->posted = false;
    }
    if (!p || !thread_) return;
    progressTimer_.start();
    if (progress_ && !stop_.stop_requested()) {
        QString text;
        if (texts_.describe) text = texts_.describe(*p);
        else if (!p->status.empty()) text = QtReporter::decodeText(p->status);
        windowOf(progress_)->report(*p, text);
    }
    // The work went on after a question: its window comes back.
    if (hiddenByAsk_ && asking_ == 0) showWindow();
    emit progressed(*p);
}

void JobRunner::showWindow() {
    if (!progress_ || !thread_ || asking_ > 0) return;
    hiddenByAsk_ = false;
    showTimer_.stop();
    progress_->show();
    progress_->raise();
    progress_->activateWindow();
}

ov::Answer JobRunner::askFromWork(const std::function<ov::Answer(ov::Reporter&)>& ask) {
    ++asking_;
    // The window is put out of the way, or kept from coming up, while the user
    // reads and answers; a window-modal progress window would also block the box.
    if (progress_ && (progress_->isVisible() || showTimer_.isActive())) hiddenByAsk_ = true;
    showTimer_.stop();
    if (progress_) progress_->hide();
    const ov::Answer answer = ask(reporter_);
    --asking_;
    // Reports from before the question say nothing about whether the work goes on.
    {
        std::lock_guard lock(pending_->mutex);
        pending_->latest.reset();
    }
    if (hiddenByAsk_ && asking_ == 0 && thread_) showTimer_.start(kReshowAfterAnswer);
    return answer;
}

void JobRunner::workEnded() {
    if (!thread_) return;
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    showTimer_.stop();
    progressTimer_.stop();
    std::optional<ov::Progress> last;
    {
        std::lock_guard lock(pending_->mutex);
        last = std::exchange(pending_->latest, std::nullopt);
        pending_->posted = false;
    }
    if (progress_) {
        progress_->hide();
        // Found by no one any more; deleted once the event that ended the work is over.
        progress_->setObjectName(QString());
        progress_->deleteLater();
        progress_.clear();
    }
    hiddenByAsk_ = false;
    if (last) emit progressed(*last);
    auto done = std::exchange(done_, {});
    emit runningChanged(false);
    if (done) done();
    emit finished();
}

}  // namespace ov::desktop
