#include "common/ui/qt_reporter.h"

#include <QApplication>
#include <QStringDecoder>
#include <QThread>
#include <initializer_list>
#include <mutex>
#include <utility>

namespace ov::desktop {

namespace {

// A new kind of question is one line in kButtonSets; a new answer, one line here.

// Each answer's button in a box.
struct AnswerButton {
    ov::Answer answer;
    QMessageBox::StandardButton button;
};
const AnswerButton kAnswerButtons[] = {
    {ov::Answer::Ok, QMessageBox::Ok},
    {ov::Answer::Cancel, QMessageBox::Cancel},
    {ov::Answer::Yes, QMessageBox::Yes},
    {ov::Answer::No, QMessageBox::No},
    {ov::Answer::YesToAll, QMessageBox::YesToAll},
    {ov::Answer::NoToAll, QMessageBox::NoToAll},
};

// The answers each kind of question offers, in the order the box shows them.
struct ButtonSet {
    ov::Buttons buttons;
    std::initializer_list<ov::Answer> answers;
};
const ButtonSet kButtonSets[] = {
    {ov::Buttons::Ok, {ov::Answer::Ok}},
    {ov::Buttons::OkCancel, {ov::Answer::Ok, ov::Answer::Cancel}},
    {ov::Buttons::YesNo, {ov::Answer::Yes, ov::Answer::No}},
    {ov::Buttons::YesNoCancel, {ov::Answer::Yes, ov::Answer::No, ov::Answer::Cancel}},
    {ov::Buttons::YesYesToAllNoCancel,
     {ov::Answer::Yes, ov::Answer::YesToAll, ov::Answer::No, ov::Answer::Cancel}},
    {ov::Buttons::YesYesToAllNoNoToAllCancel,
     {ov::Answer::Yes, ov::Answer::YesToAll, ov::Answer::No, ov::Answer::NoToAll,
      ov::Answer::Cancel}},
};

std::initializer_list<ov::Answer> answersOf(ov::Buttons buttons) {
    for (const ButtonSet& s : kButtonSets)
        if (s.buttons == buttons) return s.answers;
    return kButtonSets[0].answers;
}

std::mutex handlerMutex;
QtReporter::Handler& handlerSlot() {
    static QtReporter::Handler handler;
    return handler;
}

QtReporter::Handler currentHandler() {
    std::lock_guard lock(handlerMutex);
    return handlerSlot();
}

}  // namespace

QString QtReporter::decodeText(std::string_view s) {
    // The libraries' texts are UTF-8, but they quote archive entry names, which are
    // bytes of one character each: a text that is not valid UTF-8 is read as Latin-1.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QString text = utf8(QByteArrayView(s.data(), qsizetype(s.size())));
    if (!utf8.hasError()) return text;
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

namespace {

QString toQString(std::string_view s) {
    return QtReporter::decodeText(s);
}

}  // namespace

QtReporter::Handler QtReporter::installHandler(Handler handler) {
    std::lock_guard lock(handlerMutex);
    return std::exchange(handlerSlot(), std::move(handler));
}

QMessageBox::StandardButtons QtReporter::standardButtons(ov::Buttons buttons) {
    QMessageBox::StandardButtons out;
    for (ov::Answer a : answersOf(buttons))
        for (const AnswerButton& ab : kAnswerButtons)
            if (ab.answer == a) out |= ab.button;
    return out;
}

ov::Answer QtReporter::answerFor(QMessageBox::StandardButton clicked, ov::Buttons offered) {
    for (const AnswerButton& ab : kAnswerButtons)
        if (ab.button == clicked)
            for (ov::Answer a : answersOf(offered))
                if (a == ab.answer) return a;
    return ov::cautiousAnswer(offered);
}

QMessageBox::Icon QtReporter::boxIcon(ov::Icon icon) {
    switch (icon) {
        case ov::Icon::None:
            return QMessageBox::NoIcon;
        case ov::Icon::Information:
            return QMessageBox::Information;
        case ov::Icon::Exclamation:
            return QMessageBox::Warning;
        case ov::Icon::Critical:
            return QMessageBox::Critical;
        case ov::Icon::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

void QtReporter::message(std::string_view title, std::string_view text, ov::Icon icon) {
    ask({toQString(title), toQString(text), icon, std::nullopt});
}

ov::Answer QtReporter::question(std::string_view title, std::string_view text, ov::Buttons buttons,
                                ov::Icon icon) {
    return ask({toQString(title), toQString(text), icon, buttons});
}

ov::Answer QtReporter::ask(ReportRequest request) {
    const ov::Answer cautious =
        request.buttons ? ov::cautiousAnswer(*request.buttons) : ov::Answer::Ok;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return cautious;  // no event loop to show anything on
    if (QThread::currentThread() == app->thread()) return askOnGuiThread(request);

    ov::Answer answer = cautious;
    QMetaObject::invokeMethod(
        app, [&] { answer = askOnGuiThread(request); }, Qt::BlockingQueuedConnection);
    return answer;
}

ov::Answer QtReporter::askOnGuiThread(const ReportRequest& request) {
    const ov::Buttons offered = request.buttons.value_or(ov::Buttons::Ok);
    if (Handler handler = currentHandler()) {
        const ov::Answer a = handler(request);
        return request.buttons ? a : ov::Answer::Ok;
    }
    QMessageBox box(boxIcon(request.icon), request.title, request.text, standardButtons(offered),
                    parent_.data());
    // Texts quote names from files: never markup, whatever they look like.
    box.setTextFormat(Qt::PlainText);
    box.setObjectName(request.isQuestion() ? "reporterQuestion" : "reporterMessage");
    box.setAccessibleName(request.title);
    box.setAccessibleDescription(request.text);
    box.exec();
    const auto clicked =
        box.clickedButton() ? box.standardButton(box.clickedButton()) : QMessageBox::NoButton;
    return answerFor(clicked, offered);
}

}  // namespace ov::desktop
