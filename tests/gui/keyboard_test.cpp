// What a person using the keyboard alone meets in both programs' windows: every
// mnemonic answers one control; and the data editor fits a 1920 x 1080 screen at
// 200 % (960 x 540 logical pixels).

#include "gui/gui_test_support.h"
#include "ovedit/ui/main_window.h"
#include "ovtool/ui/editor_window.h"

#include <QAbstractButton>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUndoGroup>
#include <QUndoStack>

#include "common/shp_build.h"
#include "common/ui/undo_actions.h"

using ov::edit::MainWindow;
using ov::tool::EditorWindow;

class KeyboardTest : public QObject {
    Q_OBJECT

private slots:
    void mnemonicsAreUniqueOnEveryTab();
    void theDataEditorFitsASmallScreen();
    void mnemonicsAreUniqueInTheModelEditor();
    void stepNamesShowInTheEditMenuAsTheyAre();
    // The model views drew with OpenGL: keep Mesa's driver loaded for the leak check.
    void cleanupTestCase() { ovtest::keepGlDriversLoaded(); }
};

void KeyboardTest::mnemonicsAreUniqueOnEveryTab() {
    MainWindow window(false);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    for (const QString& key : window.tabKeys()) {
        QVERIFY(window.showTab(key));
        const QStringList clashes = ovtest::mnemonicClashes(&window);
        QVERIFY2(clashes.isEmpty(), qPrintable(key + ":\n" + clashes.join('\n')));
    }
}

void KeyboardTest::theDataEditorFitsASmallScreen() {
    MainWindow window(false);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Each tab's own need, to say which one is too large.
    QStringList needs;
    auto* tabs = window.findChild<QTabWidget*>("tabMain");
    QVERIFY(tabs);
    for (int i = 0; i < tabs->count(); ++i) {
        const QSize s = tabs->widget(i)->minimumSizeHint();
        needs << QString("%1: %2 x %3").arg(tabs->tabText(i).remove('&')).arg(s.width()).arg(s.height());
    }
    const QSize hint = window.minimumSizeHint();
    QVERIFY2(hint.width() <= 960 && hint.height() <= 540,
             qPrintable(QString("window %1 x %2; %3")
                            .arg(hint.width())
                            .arg(hint.height())
                            .arg(needs.join("; "))));
}

void KeyboardTest::mnemonicsAreUniqueInTheModelEditor() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.filePath("settings"));
    ov::shp::ComponentSpec hull;
    hull.name = "Hull";
    hull.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    hull.faces = {{0, 1, 2, 0, {}, {}, 0}};
    hull.attachments = {ov::shp::makeAttachment(3, {0, 1, 0}, 2)};
    hull.boxes = {{{0, 0, 0}, {1, 1, 1}}};
    const QString model = dir.filePath("hull.shp");
    {
        const ov::Bytes bytes = ov::shp::buildModel(0, {hull}).write();
        QFile f(model);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    }

    EditorWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.openFile(model));
    auto* components = window.findChild<QListView*>("lstComponents");
    components->setCurrentIndex(components->model()->index(0, 0));
    auto* attachments = window.findChild<QListView*>("lstAttachments");
    attachments->setCurrentIndex(attachments->model()->index(0, 0));
    auto* parts = window.findChild<QTabWidget*>("tabParts");
    QVERIFY(parts);
    // And every button, tab and labelled field of the window has one.
    auto withoutMnemonic = [&window] {
        const auto has = [](const QString& text) {
            return !QKeySequence::mnemonic(text).isEmpty();
        };
        QStringList out;
        for (QAbstractButton* b : window.findChildren<QAbstractButton*>())
            if (b->isVisibleTo(&window) && !qobject_cast<QToolButton*>(b) && !has(b->text()))
                out << b->objectName();
        for (QLabel* l : window.findChildren<QLabel*>())
            if (l->isVisibleTo(&window) && l->buddy() && !has(l->text())) out << l->text();
        for (QTabBar* t : window.findChildren<QTabBar*>())
            for (int i = 0; i < t->count(); ++i)
                if (!has(t->tabText(i))) out << t->tabText(i);
        return out;
    };
    for (int page = 0; page < parts->count(); ++page) {
        parts->setCurrentIndex(page);
        const QStringList clashes = ovtest::mnemonicClashes(&window);
        QVERIFY2(clashes.isEmpty(), qPrintable(parts->tabText(page) + ":\n" + clashes.join('\n')));
        const QStringList missing = withoutMnemonic();
        QVERIFY2(missing.isEmpty(), qPrintable("no mnemonic: " + missing.join(", ")));
    }

    // Every dialog the window opens: each file dialog, then the question about
    // unsaved changes (a real box, looked at and cancelled from a timer).
    QStringList clashes;
    auto look = [&](QWidget* dialog) {
        const QStringList found = ovtest::mnemonicClashes(dialog);
        if (!found.isEmpty()) clashes << dialog->windowTitle() + ":" << found;
    };
    QList<QAction*> opening;
    for (const char* name : {"actOpen", "actMerge", "actSaveAs", "actExport", "actImport", "actSaveImage"})
        opening << window.findChild<QAction*>(name);
    for (QAction* action : opening) {
        QVERIFY(action);
        bool seen = false;
        ovtest::answerNextFileDialog(&window, [&](QFileDialog* d) {
            look(d);
            seen = true;
            d->reject();
        });
        action->trigger();
        QTRY_VERIFY2(seen, qPrintable(action->objectName()));
    }
    window.findChild<QPushButton*>("cmdAttach")->click();
    QTimer looker;
    bool asked = false;
    connect(&looker, &QTimer::timeout, &window, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        looker.stop();
        asked = true;
        look(box);
        box->button(QMessageBox::Cancel)->click();
    });
    looker.start(20);
    QVERIFY(!window.close());
    QVERIFY(asked);
    QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join('\n')));
}

// An "&" in a step's name is shown, not taken for a second mnemonic of the Edit
// menu's Undo and Redo, whether the actions follow one stack (OVTool) or a group
// of them (OVEdit).
void KeyboardTest::stepNamesShowInTheEditMenuAsTheyAre() {
    QUndoStack stack;
    QUndoGroup group;
    group.addStack(&stack);
    group.setActiveStack(&stack);
    QAction* groupUndo = group.createUndoAction(&group, "&Undo");
    QAction* groupRedo = group.createRedoAction(&group, "&Redo");
    ov::desktop::showStepNamesAsTheyAre(&group, groupUndo, "&Undo", groupRedo, "&Redo");
    QAction* stackUndo = stack.createUndoAction(&stack, "&Undo");
    QAction* stackRedo = stack.createRedoAction(&stack, "&Redo");
    ov::desktop::showStepNamesAsTheyAre(&stack, stackUndo, "&Undo", stackRedo, "&Redo");

    stack.push(new QUndoCommand("Delete R&D.txt"));
    for (QAction* undo : {groupUndo, stackUndo}) {
        QCOMPARE(undo->text(), QString("&Undo Delete R&&D.txt"));
        QVERIFY(undo->isEnabled());
    }
    stack.undo();
    for (QAction* undo : {groupUndo, stackUndo})
        QCOMPARE(undo->text(), QString("&Undo"));
    for (QAction* redo : {groupRedo, stackRedo})
        QCOMPARE(redo->text(), QString("&Redo Delete R&&D.txt"));
}

QTEST_MAIN(KeyboardTest)
#include "keyboard_test.moc"
