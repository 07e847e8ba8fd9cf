#include "gui/gui_test_support.h"

#include <QApplication>
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
    QTimer::singleShot(50, context, [answer = std::move(answer)] {
        const QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            if (auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                answer(d);
                return;
            }
            QTest::qWait(20);
        }
    });
}

}  // namespace ovtest
