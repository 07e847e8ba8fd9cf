// OVTool's window, driven through its widgets on generated models and checked
// against the model library: lists and details, every edit with undo and redo,
// merge, save, the validity messages, the zoom, export to and import from 3D
// suites' files, and the --screenshot program.

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QStatusBar>
#include <QStringListModel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QMenuBar>
#include <QTimer>
#include <QUndoStack>
#include <QUrl>
#include <QAccessible>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>
#include <cmath>
#include <cstring>
#include <deque>
#include <fstream>

#include "common/refpack.h"
#include "common/ui/value_label.h"
#include "common/shp_build.h"
#include "gui/gui_test_support.h"
#include "ovcli/sample_models.h"
#include "ovtool/interchange/interchange.h"
#include "ovtool/model/document.h"
#include "ovtool/ui/editor_window.h"
#include "ovtool/workspace/model_workspace.h"
#include "common/ui/model_view.h"

using namespace ov::shp;
using ov::Bytes;
using ov::model::Document;
using ov::tool::EditorWindow;
using ov::tool::ModelWorkspace;
using ov::tool::Selection;
using ov::desktop::ModelViewWidget;
using ov::desktop::ReportRequest;
using ov::desktop::ScopedReportHandler;

namespace {

ComponentSpec cube(const std::string& name, Vec3 position, float half, int i) {
    ComponentSpec c;
    c.name = name;
    c.kind = uint32_t(i % 4);
    c.position = position;
    c.value212 = uint32_t(200 + i);
    c.value260 = uint32_t(7 * i);
    c.switch240 = uint32_t(i % 2);
    for (int v = 0; v < 8; ++v)
        c.vertices.push_back(
            {(v & 1) ? half : -half, (v & 2) ? half : -half, (v & 4) ? half : -half});
    const uint32_t quads[6][4] = {{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4},
                                  {2, 6, 7, 3}, {0, 2, 3, 1}, {4, 5, 7, 6}};
    for (const auto& q : quads) {
        c.faces.push_back({q[0], q[1], q[2], 0, {}, {}, 0});
        c.faces.push_back({q[0], q[2], q[3], 0, {}, {}, 0});
    }
    c.textures = {"plates"};
    for (int a = 0; a <= i % 3; ++a)
        c.attachments.push_back(makeAttachment(uint32_t((i + a) % 5), {0, half, float(a)}, 2));
    c.boxes = {{{0, 0, 0}, {half, half, half}}};
    c.block13 = i % 2 == 0;
    return c;
}

BlockChain threeCubes() {
    return buildModel(2, {cube("Hull", {-40, 0, 0}, 12, 0), cube("Wing", {0, 0, 0}, 8, 1),
                          cube("Tower", {40, 0, 0}, 10, 2)});
}

void writeFile(const QString& path, const Bytes& bytes) {
    std::ofstream(path.toStdString(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray b = f.readAll();
    return Bytes(b.begin(), b.end());
}

}  // namespace

class EditorWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::unique_ptr<EditorWindow> window_;
    std::vector<ReportRequest> said_;
    std::deque<ov::Answer> answers_;
    std::unique_ptr<ScopedReportHandler> handler_;

    template <class T>
    T* find(const char* name) const {
        T* w = window_->findChild<T*>(name);
        if (!w) qFatal("no widget %s", name);
        return w;
    }
    QString path(const char* name) const { return dir_.filePath(name); }
    ModelWorkspace* ws() const { return find<ModelWorkspace>("workspace"); }
    ModelViewWidget* view() const { return window_->findChild<ModelViewWidget*>(); }
    QUndoStack* undoStack() const { return ws()->undoStack(); }
    int selectedComponent() const { return ws()->selection().component; }
    // Opens a model as the user does; nothing is asked while the model is unchanged.
    bool load(const QString& file) { return window_->openFile(file); }
    QStringList recentFiles() const { return QSettings().value("recentModels").toStringList(); }
    QStringList list(const char* name) const {
        return qobject_cast<QStringListModel*>(find<QListView>(name)->model())->stringList();
    }
    void clickRow(const char* name, int row) {
        auto* v = find<QListView>(name);
        const QRect r = v->visualRect(v->model()->index(row, 0));
        QTest::mouseClick(v->viewport(), Qt::LeftButton, {}, r.center());
    }
    void click(const char* name) { QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton); }
    void choose(const char* combo, int index) {
        auto* box = find<QComboBox>(combo);
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
    void type(const char* field, const QString& text) {
        auto* e = find<QLineEdit>(field);
        e->setFocus();
        e->selectAll();
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key_Return);
    }
    Bytes bytes() const { return ws()->document().chain().write(); }
    QStringList titles() const {
        QStringList t;
        for (const ReportRequest& r : said_)
            t << r.title + ": " + r.text;
        return t;
    }
    // Answers the file dialog that the next action opens with `file`, and keeps
    // the filters it offered.
    void answerFileDialog(const QString& file, QStringList* filters) {
        ovtest::answerNextFileDialog(this, [file, filters](QFileDialog* d) {
            *filters = d->nameFilters();
            d->selectFile(file);
            // selectFile leaves the name field as it is while the field has the
            // focus, which it may have already once the dialog shows.
            if (auto* name = d->findChild<QLineEdit*>("fileNameEdit")) name->setText(file);
            static_cast<QDialog*>(d)->accept();
        });
    }

private slots:
    void initTestCase();
    void cleanupTestCase() { ovtest::keepGlDriversLoaded(); }
    void init();
    void cleanup();

    void showsWhatTheLibraryReads_data();
    void showsWhatTheLibraryReads();
    void everyEditUndoesAndRedoesToTheSameBytes();
    void refusedEditsChangeNothing();
    void mergeThroughTheDialogAndUndo();
    void savesTheBytesTheLibrarySaves();
    void validityShowsOncePerComponentPerOpenedModel();
    void unsavedChangesAreAskedAbout();
    void zoomSliderAndWheelMoveTogether();
    void viewAndListSelectTogether();
    void droppedAndRecentModelsOpen();
    void toolBarKeepsItsPlacesWhateverTheStep();
    void exportAndImportBringTheShipBackByteForByte_data();
    void exportAndImportBringTheShipBackByteForByte();
    void exportRefusesItsOwnModelAndOtherFiles();
    void foreignMeshBecomesACleanNewShip();
    void refusedImportKeepsTheOpenModel();
    void screenshotProgramPicturesTheWindow();
    void valuesAreReadWithTheirCaptions();
    void listsReportRowsAndSelectionAndLetTabLeave();
    void tabReachesEveryControlAndComesBack();
    void undoKeysInAFieldUndoTheModel();
    void saveAsHasItsKey();
    void fitsAHalfHdScreenWithEveryEditorReachable();
};

void EditorWindowTest::initTestCase() {
    QVERIFY(dir_.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.filePath("settings"));
    QApplication::setOrganizationName("OrvaneTest");
    QApplication::setApplicationName("OVToolTest");
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);

    const BlockChain model = threeCubes();
    writeFile(path("plain.shp"), model.write());
    auto packed = ov::refpack::encode(model.write());
    QVERIFY(packed);
    writeFile(path("packed.shp"), *packed);
    writeFile(
        path("other.shp"),
        buildModel(0, {cube("Pod", {0, 30, 0}, 5, 3), cube("Fin", {0, -30, 0}, 4, 4)}).write());
}

void EditorWindowTest::init() {
    said_.clear();
    answers_.clear();
    handler_ = std::make_unique<ScopedReportHandler>([this](const ReportRequest& r) {
        said_.push_back(r);
        if (answers_.empty() || !r.buttons) return ov::Answer::Ok;
        const ov::Answer a = answers_.front();
        answers_.pop_front();
        return a;
    });
    window_ = std::make_unique<EditorWindow>();
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
}

void EditorWindowTest::cleanup() {
    window_.reset();
    handler_.reset();
}

void EditorWindowTest::showsWhatTheLibraryReads_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("packed");
    QTest::newRow("plain") << "plain.shp" << false;
    QTest::newRow("packed") << "packed.shp" << true;
}

void EditorWindowTest::showsWhatTheLibraryReads() {
    QFETCH(QString, file);
    QFETCH(bool, packed);
    QVERIFY(load(path(qPrintable(file))));
    ov::SilentReporter quiet;
    Document lib(quiet);
    QCOMPARE(lib.open(path(qPrintable(file)).toStdString()), ov::model::OpenResult::Loaded);

    QCOMPARE(said_.size(), size_t(packed ? 1 : 0));
    if (packed) QCOMPARE(said_[0].title, QString(ov::model::kCompressedCaption));
    QCOMPARE(window_->windowTitle(), file + "[*] - OVTool");
    QVERIFY(!window_->isWindowModified());
    QCOMPARE(find<QComboBox>("cboShipClass")->currentText(), QString("Fighter + Cloak"));

    QStringList names;
    for (const std::string& n : lib.componentNames())
        names << QString::fromStdString(n);
    QCOMPARE(list("lstComponents"), names);
    for (int k = 0; k < names.size(); ++k) {
        clickRow("lstComponents", k);
        QCOMPARE(selectedComponent(), k);
        const ComponentSummary s = lib.summary(size_t(k));
        QCOMPARE(find<QLineEdit>("txtName")->text(), QString::fromStdString(s.name));
        QCOMPARE(find<QComboBox>("cboKind")->currentText(),
                 QString::fromStdString(componentKindName(s.kind)));
        const float xyz[3] = {s.position.x, s.position.y, s.position.z};
        const char* axes[3] = {"txtPositionX", "txtPositionY", "txtPositionZ"};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(find<QLineEdit>(axes[i])->text().toFloat(), xyz[i]);
        QCOMPARE(find<QLineEdit>("txtValue212")->text(), QString::number(s.value212));
        QCOMPARE(find<QLineEdit>("txtValue260")->text(), QString::number(s.value260));
        QCOMPARE(find<QCheckBox>("chkSwitch240")->isChecked(), s.switch240 != 0);
        QCOMPARE(find<QCheckBox>("chkBlock13")->isChecked(), *s.block13);
        QCOMPARE(find<QLabel>("lblBlock14")->text(), QString("Block14: absent"));
        QStringList attachments;
        const auto libraryAttachments = lib.attachmentNames(size_t(k));
        for (const std::string& n : *libraryAttachments)
            attachments << QString::fromStdString(n);
        QCOMPARE(list("lstAttachments"), attachments);
    }
    // The kinds to attach, as the editor names them.
    auto* kinds = find<QComboBox>("cboAttachKind");
    QCOMPARE(kinds->count(), 5);
    QCOMPARE(kinds->itemText(0), QString("Missile Mounting Point"));
    QCOMPARE(kinds->itemText(4), QString("Blinking Light"));
}

void EditorWindowTest::everyEditUndoesAndRedoesToTheSameBytes() {
    QVERIFY(load(path("packed.shp")));
    said_.clear();
    std::vector<Bytes> states{bytes()};
    auto step = [&](const char* what) {
        QVERIFY2(bytes() != states.back(), what);
        states.push_back(bytes());
        QVERIFY(window_->isWindowModified());
    };

    clickRow("lstComponents", 1);
    choose("cboAttachKind", 3);
    click("cmdAttach");
    step("attach");
    QCOMPARE(list("lstAttachments").last(), QString("Gun: Proton Cannon"));
    QCOMPARE(ws()->selection().attachment, list("lstAttachments").size() - 1);
    choose("cboAttachmentType", 8);
    step("gun type");
    QCOMPARE(list("lstAttachments").last(), QString("Gun: Collapser Gun"));
    type("txtAttachmentY", "-3.25");
    step("attachment position");

    clickRow("lstAttachments", 0);
    const QString removed = list("lstAttachments")[0];
    const int before = int(list("lstAttachments").size());
    click("cmdDetach");
    step("detach");
    QCOMPARE(int(list("lstAttachments").size()), before - 1);

    find<QTabWidget>("tabParts")->setCurrentWidget(find<QWidget>("frameBoxes"));
    click("cmdAddBox");
    step("add box");
    QCOMPARE(ws()->selection().box, 1);
    type("txtBoxCentreZ", "30");
    step("move box");
    type("txtBoxHalfX", "2.5");
    step("resize box");
    QCOMPARE(list("lstBoxes")[1], QString("Box 2 at (0, 0, 30), half (2.5, 8, 8)"));
    clickRow("lstBoxes", 0);
    click("cmdRemoveBox");
    step("remove box");
    QCOMPARE(list("lstBoxes").size(), 1);

    choose("cboShipClass", 1);
    step("class");
    QCOMPARE(ov::shp::shipClass(ws()->document().chain()), uint8_t(1));

    type("txtName", "Bridge");
    step("rename");
    QCOMPARE(list("lstComponents")[1], QString("Bridge"));
    type("txtPositionZ", "12.5");
    step("move");
    type("txtValue260", "4294967295");
    step("value 260");
    QTest::mouseClick(find<QCheckBox>("chkSwitch240"), Qt::LeftButton);
    step("switch 240");
    clickRow("lstComponents", 2);
    QTest::mouseClick(find<QCheckBox>("chkBlock13"), Qt::LeftButton);
    step("block13");

    clickRow("lstComponents", 0);
    click("cmdDeleteComponent");
    step("delete");
    QCOMPARE(list("lstComponents"), QStringList({"Bridge", "Tower"}));
    QCOMPARE(selectedComponent(), -1);

    // A field left as it was is no edit.
    clickRow("lstComponents", 0);
    type("txtPositionX", find<QLineEdit>("txtPositionX")->text());
    QCOMPARE(undoStack()->count(), int(states.size()) - 1);
    QVERIFY2(said_.empty(), qPrintable(titles().join('\n')));

    QUndoStack* undo = undoStack();
    for (size_t i = states.size() - 1; i > 0; --i) {
        undo->undo();
        QCOMPARE(bytes(), states[i - 1]);
    }
    QVERIFY(!window_->isWindowModified());
    QVERIFY(!ws()->document().modified());
    QCOMPARE(list("lstComponents"), QStringList({"Hull", "Wing", "Tower"}));
    for (size_t i = 1; i < states.size(); ++i) {
        undo->redo();
        QCOMPARE(bytes(), states[i]);
    }
    QVERIFY(window_->isWindowModified());
    QCOMPARE(list("lstComponents"), QStringList({"Bridge", "Tower"}));
}

void EditorWindowTest::refusedEditsChangeNothing() {
    // A reduced component table: shown, but no component is deleted or changed.
    BlockChain chain = threeCubes();
    Block& t = chain.blocks()[*chain.componentTable()];
    Bytes cut;
    for (size_t i = 0; i < t.recordCount; ++i)
        cut.insert(cut.end(), t.record(i).begin(), t.record(i).begin() + 100);
    t.recordSize = 100;
    t.data = cut;
    writeFile(path("reduced.shp"), chain.write());
    QVERIFY(load(path("reduced.shp")));
    const Bytes original = bytes();
    clickRow("lstComponents", 1);
    QVERIFY(!find<QLineEdit>("txtName")->isEnabled());
    click("cmdDeleteComponent");
    QCOMPARE(titles(), QStringList({QString(ov::model::kReducedBlock1Caption) + ": " +
                                    ov::model::kReducedBlock1Text}));
    QCOMPARE(bytes(), original);
    QCOMPARE(undoStack()->count(), 0);
    QVERIFY(!window_->isWindowModified());
}

void EditorWindowTest::mergeThroughTheDialogAndUndo() {
    QVERIFY(load(path("plain.shp")));
    const Bytes original = bytes();
    QStringList filters;
    answerFileDialog(path("other.shp"), &filters);
    click("cmdMerge");
    QCOMPARE(filters, QStringList({"Orvane SHP (*.shp)", "All Files (*.*)"}));
    QCOMPARE(list("lstComponents"), QStringList({"Hull", "Wing", "Tower", "Pod", "Fin"}));
    // The merged components keep their own blocks.
    clickRow("lstComponents", 4);
    QCOMPARE(find<QLineEdit>("txtValue212")->text(), QString("204"));
    QCOMPARE(view()->mesh().components.size(), size_t(5));

    undoStack()->undo();
    QCOMPARE(bytes(), original);
    QCOMPARE(list("lstComponents"), QStringList({"Hull", "Wing", "Tower"}));
    QVERIFY(!ws()->merge(path("missing.shp")));
    QCOMPARE(bytes(), original);
    QCOMPARE(said_.size(), size_t(1));  // "Error opening ...!"
}

void EditorWindowTest::savesTheBytesTheLibrarySaves() {
    // Open packed, edit, save: the file holds what the library itself writes
    // after the same edits.
    QFile::copy(path("packed.shp"), path("saved.shp"));
    QVERIFY(load(path("saved.shp")));
    clickRow("lstComponents", 2);
    choose("cboAttachKind", 2);
    click("cmdAttach");
    QVERIFY(window_->isWindowModified());
    click("cmdSave");
    QVERIFY(!window_->isWindowModified());
    QVERIFY(undoStack()->isClean());
    // The model as it was before the first save is kept beside it, once.
    QCOMPARE(readFile(path("saved.bak")), readFile(path("packed.shp")));
    QCOMPARE(find<QStatusBar>("statusBar")->currentMessage(),
             QString("Saved saved.shp; its first state is kept in saved.bak"));
    choose("cboShipClass", 0);
    click("cmdSave");
    QCOMPARE(readFile(path("saved.bak")), readFile(path("packed.shp")));
    undoStack()->undo();
    click("cmdSave");

    ov::SilentReporter quiet;
    Document lib(quiet);
    QCOMPARE(lib.open(path("packed.shp").toStdString()), ov::model::OpenResult::Loaded);
    QVERIFY(lib.attach(2, 2));
    QVERIFY(lib.saveAs(path("library.shp").toStdString()));
    QCOMPARE(readFile(path("saved.shp")), readFile(path("library.shp")));

    // Undo after saving is a change again; Save As writes elsewhere.
    undoStack()->undo();
    QVERIFY(window_->isWindowModified());
    QVERIFY(ws()->saveAs(path("saved-as.shp")));
    QCOMPARE(readFile(path("saved-as.shp")), readFile(path("plain.shp")));
    QCOMPARE(window_->windowTitle(), QString("saved-as.shp[*] - OVTool"));
}

void EditorWindowTest::validityShowsOncePerComponentPerOpenedModel() {
    // Wing's box block and Tower's vertex block are gone.
    BlockChain chain = threeCubes();
    auto& blocks = chain.blocks();
    blocks.erase(blocks.begin() + ptrdiff_t(*chain.nth(BlockType::Vertices, 2)));
    blocks.erase(blocks.begin() + ptrdiff_t(*chain.nth(BlockType::Boxes, 1)));
    writeFile(path("faulty.shp"), chain.write());

    // Counting pairs Wing with Tower's box block, so Tower is the one without.
    const QStringList expected{
        QString(kMissingBoxesCaption) + ": " + kMissingBoxesText,
        QString(kEmptyGeometryCaption) + ": " + kEmptyGeometryText,
    };
    QVERIFY(load(path("faulty.shp")));
    QCOMPARE(titles(), expected);
    // Repaints and edits of the same model say nothing again.
    for (int i = 0; i < 3; ++i) {
        view()->update();
        view()->grabFramebuffer();
    }
    clickRow("lstComponents", 0);
    click("cmdAttach");
    undoStack()->undo();
    QCOMPARE(titles(), expected);

    answers_ = {ov::Answer::No};
    said_.clear();
    QVERIFY(window_->openFile(path("faulty.shp")));
    QCOMPARE(titles(), expected);
}

void EditorWindowTest::unsavedChangesAreAskedAbout() {
    QVERIFY(load(path("plain.shp")));
    clickRow("lstComponents", 0);
    click("cmdAttach");
    const Bytes edited = bytes();

    answers_ = {ov::Answer::Cancel};
    QVERIFY(!window_->openFile(path("other.shp")));
    QCOMPARE(said_.size(), size_t(1));
    QVERIFY(said_[0].isQuestion());
    QCOMPARE(bytes(), edited);

    answers_ = {ov::Answer::Cancel};
    QVERIFY(!window_->close());
    QVERIFY(window_->isVisible());

    // Yes saves, then the other model opens.
    QFile::copy(path("plain.shp"), path("asked.shp"));
    answers_ = {ov::Answer::No};
    QVERIFY(load(path("asked.shp")));
    clickRow("lstComponents", 0);
    click("cmdAttach");
    answers_ = {ov::Answer::Yes};
    QVERIFY(window_->openFile(path("other.shp")));
    QCOMPARE(readFile(path("asked.shp")), edited);
    QCOMPARE(list("lstComponents"), QStringList({"Pod", "Fin"}));
    QVERIFY(!window_->isWindowModified());
    QCOMPARE(undoStack()->count(), 0);
}

void EditorWindowTest::zoomSliderAndWheelMoveTogether() {
    QVERIFY(load(path("plain.shp")));
    auto* slider = find<QSlider>("sldZoom");
    ModelViewWidget* view = this->view();
    QCOMPARE(slider->value(), 0);
    const QPointF centre(view->width() / 2.0, view->height() / 2.0);
    QWheelEvent wheel(centre, view->mapToGlobal(centre), QPoint(), QPoint(0, 240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    QCOMPARE(view->zoom(), 1.15 * 1.15);
    QCOMPARE(slider->value(), int(std::lround(100 * std::log2(1.15 * 1.15))));
    QCOMPARE(find<QLabel>("lblZoom")->text(), QString("132%"));

    slider->setValue(100);
    QCOMPARE(view->zoom(), 2.0);
    slider->setValue(slider->minimum());
    QVERIFY(std::abs(view->zoom() - ModelViewWidget::kMinZoom) < 1e-3);
    view->frameAll();
    QCOMPARE(slider->value(), 0);
}

void EditorWindowTest::viewAndListSelectTogether() {
    QVERIFY(load(path("plain.shp")));
    ModelViewWidget* view = this->view();
    view->setOn(ModelViewWidget::Action::Attachments, false);  // markers keep their colour
    auto centre = [&](int k) { return view->project(QVector3D(float(k - 1) * 40.0f, 0, 0)); };
    auto pixel = [&](int k) {
        const QImage image = view->grabFramebuffer();
        const QPointF p = centre(k) * image.devicePixelRatio();
        return image.pixel(p.toPoint());
    };
    const QRgb plain = pixel(2);
    clickRow("lstComponents", 2);
    QCOMPARE(view->selectedComponent(), 2);
    QVERIFY(pixel(2) != plain);

    QTest::mouseClick(view, Qt::LeftButton, {}, centre(0).toPoint());
    QCOMPARE(selectedComponent(), 0);
    QCOMPARE(find<QListView>("lstComponents")->currentIndex().row(), 0);
    QCOMPARE(find<QLineEdit>("txtName")->text(), QString("Hull"));
    QCOMPARE(pixel(2), plain);
}

void EditorWindowTest::droppedAndRecentModelsOpen() {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path("other.shp"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &drop);
    QTRY_COMPARE(list("lstComponents"), QStringList({"Pod", "Fin"}));

    QVERIFY(load(path("plain.shp")));
    QCOMPARE(recentFiles().mid(0, 2), QStringList({path("plain.shp"), path("other.shp")}));
    QVERIFY(!load(path("missing.shp")));
    QVERIFY(list("lstComponents").isEmpty());
    QCOMPARE(window_->windowTitle(), QString("OVTool"));
    QCOMPARE(recentFiles().first(), path("plain.shp"));
}

void EditorWindowTest::toolBarKeepsItsPlacesWhateverTheStep() {
    QVERIFY(load(path("plain.shp")));
    auto* tools = find<QToolBar>("viewToolBar");
    auto places = [&] {
        QList<QRect> r;
        for (QAction* a : tools->actions())
            if (QWidget* w = tools->widgetForAction(a)) r << w->geometry();
        return r;
    };
    const QList<QRect> before = places();
    QVERIFY(before.size() >= 9);

    // The longest attached object's name makes the longest step.
    uint32_t longest = 0;
    for (uint32_t i = 0; attachedObjectName(i); ++i)
        if (std::strlen(attachedObjectName(i)) > std::strlen(attachedObjectName(longest)))
            longest = i;
    clickRow("lstComponents", 0);
    choose("cboAttachKind", 1);
    click("cmdAttach");
    choose("cboAttachmentType", int(longest));
    click("cmdDetach");
    const QString step = QString("Remove Obj: ") + attachedObjectName(longest);
    QCOMPARE(undoStack()->undoText(), step);
    QCOMPARE(find<QAction>("actUndo")->text(), "&Undo " + step);
    QTest::qWait(50);
    QCOMPARE(places(), before);
    QCOMPARE(find<QAction>("actToolUndo")->text(), QString("Undo"));
    QCOMPARE(find<QAction>("actToolUndo")->toolTip(), "Undo " + step);

    // The buttons act on the steps; Ctrl+Z, Ctrl+Shift+Z and Ctrl+Y too.
    const Bytes detached = bytes();
    QTest::mouseClick(tools->widgetForAction(find<QAction>("actToolUndo")), Qt::LeftButton);
    QVERIFY(bytes() != detached);
    QCOMPARE(places(), before);
    QTest::mouseClick(tools->widgetForAction(find<QAction>("actToolRedo")), Qt::LeftButton);
    QCOMPARE(bytes(), detached);
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    auto* list = find<QListView>("lstComponents");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(bytes() != detached);
    QTest::keyClick(list, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(bytes(), detached);
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(bytes(), detached);
}

void EditorWindowTest::screenshotProgramPicturesTheWindow() {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The program's own leak check would need the test's driver suppressions.
    env.insert("ASAN_OPTIONS", env.value("ASAN_OPTIONS") + ":detect_leaks=0");
    env.insert("XDG_CONFIG_HOME", path("config"));
    program.setProcessEnvironment(env);
    program.start(OV_OVTOOL_FILE, {"--screenshot", path("shot.png"), path("packed.shp")});
    QVERIFY(program.waitForFinished(120000));
    QCOMPARE(program.exitCode(), 0);
    // The packed model's message went to standard error instead of a box.
    QVERIFY(program.readAllStandardError().contains(ov::model::kCompressedCaption));
    const QImage shot(path("shot.png"));
    QVERIFY(!shot.isNull());
    QVERIFY(shot.width() > 600 && shot.height() > 400);

    program.start(OV_OVTOOL_FILE, {"--screenshot", path("none.png"), "a.shp", "b.shp"});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 2);

    // Help and the version need no display.
    QVERIFY(ovtest::outputWithoutDisplay(OV_OVTOOL_FILE, {"--version"}).startsWith("OVTool "));
    QVERIFY(ovtest::outputWithoutDisplay(OV_OVTOOL_FILE, {"--help"}).contains("The model component editor"));
}

namespace {

QAction* fileMenuAction(QMainWindow* window, const char* name) {
    auto* a = window->findChild<QAction*>(name);
    if (!a) qFatal("no action %s", name);
    const QList<QAction*> menus = window->menuBar()->actions();
    if (menus.isEmpty() || !menus.first()->menu()->actions().contains(a))
        qFatal("%s is not in the File menu", name);
    return a;
}

}  // namespace

void EditorWindowTest::exportAndImportBringTheShipBackByteForByte_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("written");
    QTest::newRow("gltf") << "fighter.gltf" << QStringList{"fighter.gltf", "fighter.bin"};
    QTest::newRow("glb") << "fighter.glb" << QStringList{"fighter.glb"};
}

void EditorWindowTest::exportAndImportBringTheShipBackByteForByte() {
    QFETCH(QString, file);
    QFETCH(QStringList, written);
    QTemporaryDir out;
    const Bytes original = ovcli::sampleFighter().write();
    writeFile(out.filePath("fighter.shp"), original);
    QVERIFY(load(out.filePath("fighter.shp")));

    QAction* exportAction = fileMenuAction(window_.get(), "actExport");
    QCOMPARE(exportAction->text(), QString("&Export…"));
    QStringList filters;
    answerFileDialog(out.filePath(qPrintable(file)), &filters);
    exportAction->trigger();
    QCOMPARE(filters, EditorWindow::exportFilters());
    QVERIFY2(said_.empty(), qPrintable(titles().join('\n')));
    for (const QString& f : written)
        QVERIFY2(QFile::exists(out.filePath(f)), qPrintable(f));
    QCOMPARE(find<QStatusBar>("statusBar")->currentMessage(),
             QString("Exported ") + written.join(" and "));
    QVERIFY(!window_->isWindowModified());

    QAction* importAction = fileMenuAction(window_.get(), "actImport");
    QCOMPARE(importAction->text(), QString("&Import…"));
    answerFileDialog(out.filePath(qPrintable(file)), &filters);
    importAction->trigger();
    QVERIFY(filters.first().contains("*.gltf *.glb"));
    QVERIFY2(said_.empty(), qPrintable(titles().join('\n')));
    // A new model, never saved, named after the file it came from.
    QVERIFY(!ws()->hasFileName());
    QVERIFY(window_->isWindowModified());
    QCOMPARE(window_->windowTitle(), QString("fighter.shp[*] - OVTool"));
    QVERIFY(find<QStatusBar>("statusBar")->currentMessage().startsWith("Imported " + file));
    QCOMPARE(bytes(), original);

    answerFileDialog(out.filePath("back.shp"), &filters);
    fileMenuAction(window_.get(), "actSaveAs")->trigger();
    QCOMPARE(readFile(out.filePath("back.shp")), original);
    QVERIFY(!window_->isWindowModified());
    QCOMPARE(window_->windowTitle(), QString("back.shp[*] - OVTool"));
    // The first model is untouched: Save As went where it was told.
    QCOMPARE(readFile(out.filePath("fighter.shp")), original);

    // Dropped on the window, as from a file manager after the 3D suite, the export
    // comes in as Import takes it: a new model, the ship byte for byte.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(out.filePath(file))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &drop);
    QTRY_VERIFY(!ws()->hasFileName());
    QVERIFY2(said_.empty(), qPrintable(titles().join('\n')));
    QCOMPARE(window_->windowTitle(), QString("fighter.shp[*] - OVTool"));
    QCOMPARE(bytes(), original);
    QVERIFY(!recentFiles().contains(out.filePath(file)));
}

void EditorWindowTest::exportRefusesItsOwnModelAndOtherFiles() {
    // A model whose file is named as an export's .bin would be written over by
    // that export.
    QTemporaryDir out;
    const Bytes original = ovcli::sampleFighter().write();
    writeFile(out.filePath("ship.bin"), original);
    QVERIFY(load(out.filePath("ship.bin")));
    QStringList filters;
    answerFileDialog(out.filePath("ship.gltf"), &filters);
    fileMenuAction(window_.get(), "actExport")->trigger();
    QCOMPARE(said_.size(), size_t(1));
    QCOMPARE(said_[0].title, QString(ov::model::kSaveErrorCaption));
    QVERIFY2(said_[0].text.contains("model's own file"), qPrintable(said_[0].text));
    QCOMPARE(readFile(out.filePath("ship.bin")), original);
    QVERIFY(!QFile::exists(out.filePath("ship.gltf")));

    // Nor is a folder replaced, and the .gltf beside it is not written alone.
    said_.clear();
    QVERIFY(QDir(out.path()).mkdir("folder.bin"));
    answerFileDialog(out.filePath("folder.gltf"), &filters);
    fileMenuAction(window_.get(), "actExport")->trigger();
    QCOMPARE(said_.size(), size_t(1));
    QVERIFY2(said_[0].text.contains("not a regular file"), qPrintable(said_[0].text));
    QVERIFY(QFileInfo(out.filePath("folder.bin")).isDir());
    QVERIFY(!QFile::exists(out.filePath("folder.gltf")));
    QCOMPARE(QDir(out.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"ship.bin"});

    // A file of the same name as the .bin the export writes beside it is only
    // replaced when the player says so (the file dialog asked about the .gltf).
    said_.clear();
    const Bytes theirs{'m', 'i', 'n', 'e'};
    writeFile(out.filePath("kept.bin"), theirs);
    answers_ = {ov::Answer::No};
    answerFileDialog(out.filePath("kept.gltf"), &filters);
    fileMenuAction(window_.get(), "actExport")->trigger();
    QCOMPARE(said_.size(), size_t(1));
    QVERIFY(said_[0].isQuestion());
    QVERIFY2(said_[0].text.contains("kept.bin"), qPrintable(said_[0].text));
    QCOMPARE(readFile(out.filePath("kept.bin")), theirs);
    QVERIFY(!QFile::exists(out.filePath("kept.gltf")));
    said_.clear();
    answers_ = {ov::Answer::Yes};
    answerFileDialog(out.filePath("kept.gltf"), &filters);
    fileMenuAction(window_.get(), "actExport")->trigger();
    QCOMPARE(said_.size(), size_t(1));
    QVERIFY(QFile::exists(out.filePath("kept.gltf")));
    QVERIFY(readFile(out.filePath("kept.bin")) != theirs);

    // Export needs a model.
    window_ = std::make_unique<EditorWindow>();
    QVERIFY(!fileMenuAction(window_.get(), "actExport")->isEnabled());
    QVERIFY(fileMenuAction(window_.get(), "actImport")->isEnabled());
}

void EditorWindowTest::foreignMeshBecomesACleanNewShip() {
    // A crate of six quads from some other program, with a material.
    QTemporaryDir out;
    {
        std::ofstream obj(out.filePath("crate.obj").toStdString());
        obj << "mtllib crate.mtl\n";
        for (int v = 0; v < 8; ++v)
            obj << "v " << ((v & 1) ? 3 : -3) << ' ' << ((v & 2) ? 2 : -2) << ' '
                << ((v & 4) ? 5 : -5) << '\n';
        obj << "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nusemtl wood\n"
               "f 1/1 3/2 4/3 2/4\nf 5/1 6/2 8/3 7/4\nf 1/1 2/2 6/3 5/4\n"
               "f 3/1 7/2 8/3 4/4\nf 1/1 5/2 7/3 3/4\nf 2/1 4/2 8/3 6/4\n";
        std::ofstream(out.filePath("crate.mtl").toStdString()) << "newmtl wood\nKd 0.6 0.4 0.2\n";
    }
    QVERIFY(load(path("plain.shp")));
    QStringList filters;
    answerFileDialog(out.filePath("crate.obj"), &filters);
    if (!ov::interchange::haveAssimp()) {
        // The dialog offers only what the build reads (the crate is then refused).
        fileMenuAction(window_.get(), "actImport")->trigger();
        QVERIFY2(filters.first().contains("*.glb") && !filters.first().contains("*.obj"),
                 qPrintable(filters.first()));
        QSKIP("this build has no assimp, so it reads no OBJ");
    }
    fileMenuAction(window_.get(), "actImport")->trigger();
    QVERIFY2(filters.first().contains("*.obj") && filters.first().contains("*.fbx"),
             qPrintable(filters.first()));
    QVERIFY(ws()->loaded());
    QVERIFY(!ws()->hasFileName());
    QVERIFY(window_->isWindowModified());
    QCOMPARE(window_->windowTitle(), QString("crate.shp[*] - OVTool"));
    // No validity message came up, and the checks find nothing either.
    for (const ReportRequest& r : said_)
        QCOMPARE(r.icon, ov::Icon::Information);
    const auto problems = checkModel(ws()->document().chain());
    QVERIFY2(problems.empty(), problems.empty() ? "" : problems.front().text.c_str());
    QVERIFY(!list("lstComponents").isEmpty());
    QVERIFY(ws()->document().summary(0).faces.value_or(0) >= 12);

    // Save asks where, starting beside the mesh.
    answerFileDialog(out.filePath("crate.shp"), &filters);
    fileMenuAction(window_.get(), "actSave")->trigger();
    QCOMPARE(ws()->filePath(), out.filePath("crate.shp"));
    QCOMPARE(readFile(out.filePath("crate.shp")), bytes());
    QVERIFY(!window_->isWindowModified());
}

void EditorWindowTest::refusedImportKeepsTheOpenModel() {
    QTemporaryDir out;
    std::ofstream(out.filePath("broken.gltf").toStdString()) << "{\"asset\": {\"version\": ";
    QVERIFY(load(path("plain.shp")));
    const Bytes before = bytes();
    QStringList filters;
    answerFileDialog(out.filePath("broken.gltf"), &filters);
    fileMenuAction(window_.get(), "actImport")->trigger();
    QCOMPARE(said_.size(), size_t(1));
    QCOMPARE(said_[0].title, QString(ov::model::kOpenErrorCaption));
    QVERIFY(said_[0].text.startsWith("Error opening " + out.filePath("broken.gltf")));
    QCOMPARE(bytes(), before);
    QCOMPARE(ws()->filePath(), path("plain.shp"));
    QVERIFY(!window_->isWindowModified());
}

namespace {

QString accessibleName(QObject* o) {
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(o);
    return a ? a->text(QAccessible::Name) : QString();
}

}  // namespace

void EditorWindowTest::valuesAreReadWithTheirCaptions() {
    QVERIFY(load(path("packed.shp")));
    clickRow("lstComponents", 0);
    const QString summary = find<QLabel>("lblSummary")->text();
    QVERIFY(summary.startsWith("3 components, 36 triangles"));
    QCOMPARE(accessibleName(find<QLabel>("lblSummary")), "Model: " + summary);
    QCOMPARE(accessibleName(find<QLabel>("lblZoom")), QString("Zoom: 100%"));
    find<QSlider>("sldZoom")->setValue(100);
    QCOMPARE(accessibleName(find<QLabel>("lblZoom")), QString("Zoom: 200%"));
    QCOMPARE(find<QSlider>("sldZoom")->accessibleDescription(), QString("200%"));
    QCOMPARE(accessibleName(find<QLabel>("lblGeometry")),
             QString("Blocks: Vertices: 8, faces: 12, textures: 1, boxes: 1"));
    QCOMPARE(accessibleName(find<QLabel>("lblBlock14")), QString("Block14: absent"));

    // A status line of the work, read where it shows.
    QTemporaryDir out;
    QStringList filters;
    answerFileDialog(out.filePath("ship.glb"), &filters);
    find<QAction>("actExport")->trigger();
    QCOMPARE(find<QStatusBar>("statusBar")->currentMessage(), QString("Exported ship.glb"));
    QCOMPARE(accessibleName(find<QStatusBar>("statusBar")), QString("Status: Exported ship.glb"));

    // Every button has a name to be read by, also those that show only at times
    // (the toolbar's button for the tools a narrow window has no room for).
    const QStringList unnamed = ovtest::unnamedButtons(window_.get());
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
}

void EditorWindowTest::listsReportRowsAndSelectionAndLetTabLeave() {
    QVERIFY(load(path("plain.shp")));
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    clickRow("lstComponents", 2);  // Tower: three attachments
    struct Case {
        const char* list;
        int page;  // of the parts' tabs, or -1
    };
    for (const Case& c : {Case{"lstComponents", -1}, Case{"lstAttachments", 0},
                          Case{"lstBoxes", 1}}) {
        if (c.page >= 0) find<QTabWidget>("tabParts")->setCurrentIndex(c.page);
        if (QString(c.list) == "lstBoxes") click("cmdAddBox");
        auto* view = find<QListView>(c.list);
        const int rows = view->model()->rowCount();
        QVERIFY2(rows >= 2, c.list);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Home);
        QTest::keyClick(view, Qt::Key_Down);
        QCOMPARE(view->currentIndex().row(), 1);

        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(view);
        QVERIFY2(a && a->tableInterface(), c.list);
        QCOMPARE(a->tableInterface()->rowCount(), rows);
        QCOMPARE(a->tableInterface()->selectedRows(), QList<int>{1});
        const Selection s = ws()->selection();
        QCOMPARE(QString(c.list) == "lstComponents" ? s.component
                 : QString(c.list) == "lstBoxes"    ? s.box
                                                    : s.attachment,
                 1);

        QTest::keyClick(view, Qt::Key_Tab);
        QVERIFY2(!view->hasFocus(), c.list);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
        QVERIFY2(view->hasFocus(), c.list);
        if (QString(c.list) == "lstComponents") clickRow("lstComponents", 2);
    }
}

void EditorWindowTest::tabReachesEveryControlAndComesBack() {
    QVERIFY(load(path("plain.shp")));
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    clickRow("lstComponents", 1);
    clickRow("lstAttachments", 0);
    auto* start = find<QPushButton>("cmdOpen");
    start->setFocus();
    QSet<QWidget*> reached{start};
    QWidget* at = start;
    for (int i = 0; i < 200; ++i) {
        QTest::keyClick(at, Qt::Key_Tab);
        at = QApplication::focusWidget();
        QVERIFY(at);
        if (at == start) break;
        reached << at;
    }
    QCOMPARE(at, start);
    for (QWidget* w : window_->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window_.get()) || !w->isEnabled() || !(w->focusPolicy() & Qt::TabFocus) ||
            w->focusProxy())
            continue;
        QVERIFY2(reached.contains(w), qPrintable(w->objectName() + " " + w->metaObject()->className()));
    }
}

void EditorWindowTest::undoKeysInAFieldUndoTheModel() {
    QVERIFY(load(path("plain.shp")));
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    const Bytes original = bytes();
    clickRow("lstComponents", 0);
    type("txtPositionZ", "12.5");
    const Bytes moved = bytes();
    QVERIFY(moved != original);

    // A value typed and not yet taken: Ctrl+Z in its field takes it back, and
    // the next Ctrl+Z the step before.
    auto* value = find<QLineEdit>("txtValue212");
    value->setFocus();
    value->selectAll();
    QTest::keyClicks(value, "77");
    QTest::keyClick(value, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(bytes(), moved);
    QCOMPARE(value->text(), QString("200"));
    QVERIFY(value->hasFocus());
    QTest::keyClick(value, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(bytes(), original);
    QCOMPARE(find<QLineEdit>("txtPositionZ")->text(), QString("0"));
    QVERIFY(!window_->isWindowModified());
    // Redo, by both keys, from a field too.
    QTest::keyClick(value, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(bytes(), moved);
    QTest::keyClick(value, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(value->text(), QString("77"));

    // The name field is a model value as well.
    auto* name = find<QLineEdit>("txtName");
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, "Bridge");
    QTest::keyClick(name, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(name->text(), QString("Hull"));
    QTest::keyClick(name, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(list("lstComponents")[0], QString("Bridge"));
}

void EditorWindowTest::saveAsHasItsKey() {
    QVERIFY(load(path("plain.shp")));
    QCOMPARE(find<QAction>("actSaveAs")->shortcut(),
             QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QStringList filters;
    answerFileDialog(path("keyed.shp"), &filters);
    QTest::keyClick(find<QListView>("lstComponents"), Qt::Key_S,
                    Qt::ControlModifier | Qt::ShiftModifier);
    QTRY_COMPARE(readFile(path("keyed.shp")), readFile(path("plain.shp")));
    QCOMPARE(ws()->filePath(), path("keyed.shp"));
}

void EditorWindowTest::fitsAHalfHdScreenWithEveryEditorReachable() {
    // 1920 x 1080 at 200 %.
    const QSize screen(960, 540);
    QVERIFY(load(path("plain.shp")));
    clickRow("lstComponents", 0);
    for (int page : {0, 1}) {
        find<QTabWidget>("tabParts")->setCurrentIndex(page);
        const QSize hint = window_->minimumSizeHint();
        QVERIFY2(hint.width() <= screen.width() && hint.height() <= screen.height(),
                 qPrintable(QString("%1 x %2").arg(hint.width()).arg(hint.height())));
    }
    window_->resize(screen);
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QTRY_COMPARE(window_->size(), screen);
    auto* scroll = find<QScrollArea>("scrollLeft");
    // The box editor, at the panel's foot, is reached by its keys and comes into view.
    find<QListView>("lstComponents")->setFocus();
    QTest::keyClick(window_.get(), Qt::Key_B, Qt::AltModifier);
    QCOMPARE(find<QTabWidget>("tabParts")->currentIndex(), 1);
    // The keyboard went along to the page's list.
    QTRY_VERIFY(find<QListView>("lstBoxes")->hasFocus());
    QTest::keyClick(find<QListView>("lstBoxes"), Qt::Key_Down);
    QCOMPARE(ws()->selection().box, 0);
    auto* half = find<QLineEdit>("txtBoxHalfX");
    auto place = [&] { return QRect(half->mapTo(scroll->viewport(), QPoint(0, 0)), half->size()); };
    scroll->verticalScrollBar()->setValue(0);
    QVERIFY(!scroll->viewport()->rect().contains(place()));
    QTest::keyClick(window_.get(), Qt::Key_H, Qt::AltModifier);
    QTRY_VERIFY(half->hasFocus());
    const QRect shown = place();
    QVERIFY2(scroll->viewport()->rect().contains(shown),
             qPrintable(QString("field at %1,%2 in a view of %3 x %4")
                            .arg(shown.x()).arg(shown.y())
                            .arg(scroll->viewport()->width()).arg(scroll->viewport()->height())));
}

QTEST_MAIN(EditorWindowTest)
#include "editor_window_test.moc"
