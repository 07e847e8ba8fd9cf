#include "gui/gui_test_support.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QTabBar>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QTest>
#include <QTimer>

#ifdef __linux__
#include <dlfcn.h>
#include <link.h>
#endif

#include <cstring>
#include <string>
#include <vector>

namespace {

// Qt's own file dialog everywhere, so that answerNextFileDialog finds one: a
// platform's native dialog (Windows') is no QFileDialog, and the test would wait
// for it to the end.
void useQtDialogs() {
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}
Q_CONSTRUCTOR_FUNCTION(useQtDialogs)

}  // namespace

namespace ovtest {

#ifndef __linux__
void keepGlDriversLoaded() {}
#else
void keepGlDriversLoaded() {
    std::vector<std::string> drivers;
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* out) {
            if (info->dlpi_name && std::strstr(info->dlpi_name, "_dri.so"))
                static_cast<std::vector<std::string>*>(out)->push_back(info->dlpi_name);
            return 0;
        },
        &drivers);
    // Already loaded: this only marks them never to be unloaded.
    for (const std::string& d : drivers)
        dlopen(d.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}
#endif

void answerNextFileDialog(QObject* context, std::function<void(QFileDialog*)> answer) {
    // Looked for from a timer, never from a loop of its own: a loop that began
    // before the action (a loaded machine runs the timer early) would hold the
    // action back until it gave up, and the dialog would then wait for ever.
    auto* poll = new QTimer(context);
    const QDeadlineTimer deadline(30000);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, deadline, answer = std::move(answer)] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!d && !deadline.hasExpired()) return;
        poll->stop();
        poll->deleteLater();
        if (d) answer(d);
    });
    poll->start(20);
}

}  // namespace ovtest

namespace ovtest {

namespace {

// The letter after a single '&' ("&&" is a literal ampersand), upper-cased.
QChar mnemonicOf(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&'))
            continue;
        if (text[i + 1] == QLatin1Char('&')) {
            ++i;
            continue;
        }
        return text[i + 1].toUpper();
    }
    return {};
}

using Owners = QMap<QChar, QStringList>;

void note(Owners& owners, const QString& text, const QString& what) {
    const QChar m = mnemonicOf(text);
    if (!m.isNull())
        owners[m] << QStringLiteral("\"%1\" (%2)").arg(text, what);
}

QString describe(const QWidget* w) {
    return QStringLiteral("%1 %2").arg(QString::fromLatin1(w->metaObject()->className()), w->objectName());
}

void report(const Owners& owners, const QString& where, QStringList& out) {
    for (auto it = owners.begin(); it != owners.end(); ++it)
        if (it.value().size() > 1)
            out << QStringLiteral("%1Alt+%2: %3").arg(where, QString(it.key()), it.value().join(QStringLiteral(", ")));
}

}  // namespace

QStringList mnemonicClashes(QWidget* window) {
    QStringList out;
    Owners owners;
    const auto shown = [window](const QWidget* w) { return w == window || w->isVisibleTo(window); };

    for (QMenuBar* bar : window->findChildren<QMenuBar*>()) {
        if (!shown(bar))
            continue;
        for (QAction* a : bar->actions()) {
            if (!a->isVisible())
                continue;
            note(owners, a->text(), QStringLiteral("menu"));
            if (QMenu* menu = a->menu()) {
                Owners items;
                for (QAction* item : menu->actions())
                    if (item->isVisible() && !item->isSeparator())
                        note(items, item->text(), QStringLiteral("item"));
                report(items, QStringLiteral("menu %1: ").arg(QString(a->text()).remove(QLatin1Char('&'))), out);
            }
        }
    }
    for (QTabBar* tabs : window->findChildren<QTabBar*>()) {
        if (!shown(tabs))
            continue;
        for (int i = 0; i < tabs->count(); ++i)
            if (tabs->isTabVisible(i))
                note(owners, tabs->tabText(i), QStringLiteral("tab"));
    }
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
        if (shown(b))
            note(owners, b->text(), describe(b));
    for (QGroupBox* g : window->findChildren<QGroupBox*>())
        if (shown(g))
            note(owners, g->title(), describe(g));
    for (QLabel* l : window->findChildren<QLabel*>())
        if (shown(l) && l->buddy())
            note(owners, l->text(), describe(l));
    report(owners, QString(), out);
    return out;
}

QStringList unnamedButtons(QWidget* window) {
    QStringList out;
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
        if (!a || a->text(QAccessible::Name).trimmed().isEmpty())
            out << QString::fromLatin1(b->metaObject()->className()) + ' ' + b->objectName();
    }
    return out;
}

QByteArray outputWithoutDisplay(const QString& program, const QStringList& args) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
#ifndef Q_OS_WIN
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
#endif
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

}  // namespace ovtest
