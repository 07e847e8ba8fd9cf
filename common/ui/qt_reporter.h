#pragma once
// The desktop programs' ov::Reporter: each message and question is a QMessageBox
// with the given title, text, icon and buttons, parented to the program's window.
//
// Any thread may call it. A call from a worker thread shows the box on the GUI
// thread and waits there for the answer, so the GUI thread must never block on a
// worker that may ask something (wait on its future with an event loop instead).
//
// While a handler is installed (installHandler), every message and question goes
// to it instead of a box, still on the GUI thread: tests answer through it and no
// modal box is ever left waiting.

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

#include "common/report.h"

namespace ov::desktop {

struct ReportRequest {
    QString title;
    QString text;
    ov::Icon icon = ov::Icon::None;
    std::optional<ov::Buttons> buttons;  // empty for a message

    bool isQuestion() const { return buttons.has_value(); }
};

class QtReporter final : public ov::Reporter {
public:
    explicit QtReporter(QWidget* parent = nullptr) : parent_(parent) {}

    void message(std::string_view title, std::string_view text, ov::Icon icon) override;
    ov::Answer question(std::string_view title, std::string_view text, ov::Buttons buttons,
                        ov::Icon icon) override;

    // The handler gets a message's answer ignored; a question's answer is returned
    // to the caller. Pass an empty handler to show boxes again. Returns the handler
    // it replaces.
    using Handler = std::function<ov::Answer(const ReportRequest&)>;
    static Handler installHandler(Handler handler);

    // The box's buttons for a set of answers, and the answer for a clicked button
    // (the cautious answer of the set when the box was closed another way).
    static QMessageBox::StandardButtons standardButtons(ov::Buttons buttons);
    static ov::Answer answerFor(QMessageBox::StandardButton clicked, ov::Buttons offered);
    static QMessageBox::Icon boxIcon(ov::Icon icon);
    // A library's text as shown: UTF-8 when it is valid UTF-8, else Latin-1 (archive
    // entry names are bytes, one character each).
    static QString decodeText(std::string_view text);

private:
    ov::Answer ask(ReportRequest request);
    ov::Answer askOnGuiThread(const ReportRequest& request);

    QPointer<QWidget> parent_;
};

// Installs a handler for its lifetime and puts the previous one back after.
class ScopedReportHandler {
public:
    explicit ScopedReportHandler(QtReporter::Handler handler)
        : previous_(QtReporter::installHandler(std::move(handler))) {}
    ~ScopedReportHandler() { QtReporter::installHandler(std::move(previous_)); }
    ScopedReportHandler(const ScopedReportHandler&) = delete;
    ScopedReportHandler& operator=(const ScopedReportHandler&) = delete;

private:
    QtReporter::Handler previous_;
};

}  // namespace ov::desktop
