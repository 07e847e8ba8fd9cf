// OVEdit's ship stats and weapons tab, driven as a user drives it on a game folder
// from the sample generator: ships clicked, figures typed, buttons and popup menus
// used, and every file compared with what the ship library reads and writes.
// Message boxes are answered through the reporter's handler, never left open.

#include <QAccessible>
#include <QCheckBox>
#include <QDirIterator>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>
#include <cstring>
#include <deque>

#include "common/fileio.h"
#include "gui/gui_test_support.h"
#include "ovedit/ships/stats.h"
#include "ovedit/ships/weapons.h"
#include "ovedit/ui/main_window.h"
#include "ovedit/ui/ship_models.h"
#include "ovedit/ui/ships_tab.h"
#include "ovedit/ui/ships_workspace.h"
#include "common/ui/qt_reporter.h"

using namespace ov;
using namespace ov::edit;
using ships::ShipStats;
using ships::WeaponSort;
using desktop::ReportRequest;
using desktop::ScopedReportHandler;

Q_DECLARE_METATYPE(ov::Answer)

namespace {

// Sample ships by table position.
constexpr size_t Raptor = 0, Kestrel = 1, Wraith = 2, Bastion = 3, Lancer = 4, Corsair = 5;

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void copyTree(const QString& from, const QString& to) {
    QDirIterator it(from, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString src = it.next();
        const QString dst = QDir(to).filePath(QDir(from).relativeFilePath(src));
        QDir().mkpath(QFileInfo(dst).absolutePath());
        QFile::copy(src, dst);
    }
}

// What assistive technology reads as a control's name.
QString spokenName(QWidget* w) {
    QAccessibleInterface* a = w ? QAccessible::queryAccessibleInterface(w) : nullptr;
    return a ? a->text(QAccessible::Name) : QString();
}

QList<int> spokenSelection(QWidget* list) {
    QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(list)->tableInterface();
    return table ? table->selectedRows() : QList<int>{-1};
}

std::filesystem::path fsPath(const QString& p) {
    return ov::pathFromText(p.toStdString());
}

// Records every message and question and answers questions from a script (the
// cautious answer once it runs out).
struct Answerer {
    std::vector<ReportRequest> said;
    std::deque<Answer> answers;
    std::optional<ScopedReportHandler> scope;

    Answerer() {
        scope.emplace([this](const ReportRequest& r) {
            said.push_back(r);
            if (!r.isQuestion()) return Answer::Ok;
            if (answers.empty()) return cautiousAnswer(*r.buttons);
            const Answer a = answers.front();
            answers.pop_front();
            return a;
        });
    }
    int questions() const {
        return int(std::count_if(said.begin(), said.end(),
                                 [](const ReportRequest& r) { return r.isQuestion(); }));
    }
    QStringList texts() const {
        QStringList out;
        for (const auto& r : said)
            out << r.title + ": " + r.text;
        return out;
    }
};

}  // namespace

class ShipsTabTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir sampleDir_;
    std::unique_ptr<QTemporaryDir> work_;
    std::unique_ptr<MainWindow> window_;
    ShipsTab* tab_ = nullptr;

    QString game() const { return work_->filePath("game"); }
    QString gamePath(const QString& name) const { return QDir(game()).filePath(name); }
    QString stats() const { return gamePath("shipstats.bin"); }

    template <class T>
    T* control(const char* name) const {
        T* w = window_->findChild<T*>(name);
        if (!w) qWarning("no control %s", name);
        return w;
    }
    QDoubleSpinBox* box(const char* name) const { return control<QDoubleSpinBox>(name); }
    ShipsWorkspace& ws() const { return tab_->workspace(); }
    QTableView* shipsView() const { return control<QTableView>("lstShips"); }
    QTableView* weaponsView() const { return control<QTableView>("lstWeapons"); }
    QMenu* weaponsMenu() const { return control<QMenu>("pldWeaponPopup"); }
    WeaponListModel* weaponsModel() const { return ws().weaponsModel(); }

    void clickShip(size_t position) {
        auto* proxy = static_cast<QSortFilterProxyModel*>(shipsView()->model());
        auto* model = static_cast<ShipListModel*>(proxy->sourceModel());
        const QModelIndex at = proxy->mapFromSource(model->index(int(position), 0));
        QVERIFY(at.isValid());
        shipsView()->scrollTo(at);
        QTest::mouseClick(shipsView()->viewport(), Qt::LeftButton, {},
                          shipsView()->visualRect(at).center());
    }
    void typeFigure(const char* name, const QString& text) {
        QDoubleSpinBox* b = box(name);
        b->setFocus();
        b->selectAll();
        QTest::keyClicks(b, text);
    }
    void clickButton(const char* name) {
        auto* b = control<QPushButton>(name);
        QVERIFY(b->isEnabled());
        QTest::mouseClick(b, Qt::LeftButton);
    }
    // Selects weapon points (rows), the first by a click and the rest with Ctrl.
    void selectPoints(const std::vector<int>& rows) {
        QTableView* list = weaponsView();
        for (size_t i = 0; i < rows.size(); ++i)
            QTest::mouseClick(list->viewport(), Qt::LeftButton,
                              i ? Qt::ControlModifier : Qt::NoModifier,
                              list->visualRect(list->model()->index(rows[i], 0)).center());
    }
    // Opens the weapons list's popup menu on a row and chooses a type from a sort's menu.
    void chooseType(int row, const char* menuName, uint32_t id) {
        QTableView* list = weaponsView();
        const QPoint at = list->visualRect(list->model()->index(row, 0)).center();
        QContextMenuEvent menu(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &menu);
        QTRY_VERIFY(weaponsMenu()->isVisible());
        auto* sub = weaponsMenu()->findChild<QMenu*>(menuName);
        QVERIFY(sub);
        QVERIFY(sub->isEnabled());
        QAction* a = sub->findChild<QAction*>(QStringLiteral("%1_%2").arg(menuName).arg(id));
        QVERIFY(a);
        weaponsMenu()->hide();
        a->trigger();
    }
    ShipStats fileStats(int index) const {
        auto s = ships::readShipStats(fsPath(stats()), index);
        if (!s) qFatal("%s", s.error().describe().c_str());
        return *s;
    }
    std::vector<ships::WeaponEntry> libraryWeapons(const QString& gameFolder,
                                                   const char* model) const {
        auto m = ships::loadShipModel(fsPath(gameFolder), model);
        if (!m) qFatal("%s", m.error().describe().c_str());
        return ships::weaponEntries(m->chain);
    }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase() { ovtest::keepGlDriversLoaded(); }

    void showsTheLibrarysShipsFiguresAndWeapons();
    void applyWritesOnlyTheBlockAndUndoPutsItBack();
    void leavingAnEditedShipAsks_data();
    void leavingAnEditedShipAsks();
    void importAndDefaultsFillTheBoxesForApply();
    void gunTypeFromThePopupChangesBothModels();
    void cloakBoxTogglesTheClassByte();
    void restoreWeaponsPutsTheBackupBack();
    void openInOVToolStartsItOnTheModel();
    void tabLeavesTheListsAndArrowsMoveInside();
    void mnemonicsAreUniqueWithAShipShown();
    void screenReadersReadTheValuesRowsAndSelection();
    void fitsTheScreenAtTwiceTheScale();
    void screenshotOfTheTab();
};

void ShipsTabTest::initTestCase() {
    QProcess sample;
    sample.start(OV_OVCLI_FILE, {"sample-game", sampleDir_.filePath("game")});
    QVERIFY(sample.waitForFinished(60000));
    QCOMPARE(sample.exitCode(), 0);
}

void ShipsTabTest::init() {
    work_ = std::make_unique<QTemporaryDir>();
    QVERIFY(work_->isValid());
    copyTree(sampleDir_.filePath("game"), game());
    window_ = std::make_unique<MainWindow>(false);
    tab_ = window_->shipsTab();
    window_->setGameFolder(game());
    QVERIFY(window_->showTab("ships"));
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
}

void ShipsTabTest::cleanup() {
    if (ws().statsEdited()) ws().revertStats();
    window_.reset();
    work_.reset();
}

void ShipsTabTest::showsTheLibrarysShipsFiguresAndWeapons() {
    auto table = ships::loadShipTable(fsPath(game()), fsPath(game()));
    QVERIFY(table.ok());
    QCOMPARE(ws().ships().size(), table->size());
    QCOMPARE(ws().currentShip(), std::optional<size_t>(Raptor));

    // The filter narrows the list by name, ignoring case.
    QTest::keyClicks(control<QLineEdit>("txtShipFilter"), "RA");
    QCOMPARE(shipsView()->model()->rowCount(), 2);  // Raptor, Wraith
    QCOMPARE(control<QLabel>("lblShipCount")->text(), QString("2 of 6 ship(s)"));
    control<QLineEdit>("txtShipFilter")->clear();

    clickShip(Bastion);
    QCOMPARE(ws().currentShip(), std::optional<size_t>(Bastion));
    // Every box is labelled and named after its figure, in display order.
    const auto& fields = ships::statsFieldsInDisplayOrder();
    const ShipStats expected = fileStats((*table)[Bastion].statsIndex);
    for (size_t i = 0; i < fields.size(); ++i) {
        QDoubleSpinBox* b =
            box(qPrintable("txt" + QString(fields[i].label).remove(' ')));
        QCOMPARE(b->accessibleName(), QString(fields[i].label));
        QCOMPARE(b->value(), double(expected.field[fields[i].fileIndex]));
    }
    QCOMPARE(box("txtShieldRecharge")->value(), 40.0);  // stored after Afterburner Fuel
    QCOMPARE(ws().shownStats(), expected);
    QVERIFY(control<QLabel>("lblCapitalShip")->text().startsWith("Capital ship"));
    QVERIFY(!control<QCheckBox>("chkHasCloak")->isChecked());

    // The weapons list is the library's list of the model's points, by name.
    const auto points = libraryWeapons(game(), "bastion.shp");
    QCOMPARE(size_t(weaponsModel()->rowCount()), points.size());
    for (size_t i = 0; i < points.size(); ++i)
        QCOMPARE(weaponsModel()
                     ->data(weaponsModel()->index(int(i), WeaponListModel::Type),
                            Qt::DisplayRole)
                     .toString(),
                 QString::fromStdString(ships::weaponName(points[i])));

    clickShip(Wraith);
    QVERIFY(control<QCheckBox>("chkHasCloak")->isChecked());
    QVERIFY(control<QLabel>("lblCapitalShip")->text().startsWith("Fighter"));
    // No backup yet: nothing to restore. No shipstats.def yet: no defaults.
    QVERIFY(!control<QPushButton>("cmdRestoreWeapons")->isEnabled());
    QVERIFY(!control<QPushButton>("cmdDefaultStats")->isEnabled());
}

void ShipsTabTest::applyWritesOnlyTheBlockAndUndoPutsItBack() {
    // A figure that three decimals do not show exactly must survive being shown.
    ShipStats precise = fileStats(0);
    precise.field[1] = 0.123456789f;  // Inertia
    QVERIFY(ships::writeShipStats(fsPath(stats()), 0, precise).ok());
    clickShip(Kestrel);
    clickShip(Raptor);
    const QByteArray before = readAll(stats());
    Answerer answers;

    typeFigure("txtMaxSpeed", "512.5");
    QVERIFY(ws().statsEdited());
    QVERIFY(control<QPushButton>("cmdApplyStats")->isEnabled());
    QVERIFY(shipsView()->model()->index(0, 0).data().toString().endsWith(" *"));
    clickButton("cmdApplyStats");
    QVERIFY(answers.said.empty());

    // Exactly the four bytes of Max Speed changed, to 512.5 as a little-endian float.
    const QByteArray after = readAll(stats());
    QCOMPARE(after.size(), before.size());
    QCOMPARE(after.left(64), before.left(64));
    QCOMPARE(after.mid(64, 4), QByteArray("\x00\x20\x00\x44", 4));
    QCOMPARE(after.mid(68), before.mid(68));
    // The pristine copy was made before the change.
    QCOMPARE(readAll(gamePath("shipstats.def")), before);
    QVERIFY(!ws().statsEdited());
    QVERIFY(!shipsView()->model()->index(0, 0).data().toString().endsWith(" *"));

    // Ctrl+Z puts the previous 60 bytes back; Ctrl+Y, Ctrl+Shift+Z and Redo Apply
    // write the change again.
    shipsView()->setFocus();
    QTest::keyClick(shipsView(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(readAll(stats()), before);
    QCOMPARE(box("txtMaxSpeed")->value(), 420.0);
    QVERIFY(control<QPushButton>("cmdRedoStats")->isEnabled());
    QCOMPARE(control<QPushButton>("cmdRedoStats")->accessibleName(), QString("Redo Apply"));
    QTest::keyClick(shipsView(), Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(readAll(stats()), after);
    QCOMPARE(box("txtMaxSpeed")->value(), 512.5);
    QVERIFY(!control<QPushButton>("cmdRedoStats")->isEnabled());
    clickButton("cmdUndoStats");
    QCOMPARE(readAll(stats()), before);
    QTest::keyClick(shipsView(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(readAll(stats()), after);
    clickButton("cmdUndoStats");
    clickButton("cmdRedoStats");
    QCOMPARE(readAll(stats()), after);

    // An Apply of another ship is undone while a third ship is shown.
    clickShip(Kestrel);
    typeFigure("txtAmmo", "99");
    clickButton("cmdApplyStats");
    clickShip(Wraith);
    shipsView()->setFocus();
    QTest::keyClick(shipsView(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(ws().currentShip(), std::optional<size_t>(Kestrel));
    QCOMPARE(shipsView()->currentIndex().row(), int(Kestrel));
    QCOMPARE(readAll(stats()), after);
    clickButton("cmdUndoStats");
    QCOMPARE(readAll(stats()), before);
    QVERIFY(!tab_->undoStack()->canUndo());
    QVERIFY(!control<QPushButton>("cmdUndoStats")->isEnabled());
}

void ShipsTabTest::leavingAnEditedShipAsks_data() {
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<bool>("moved");
    QTest::newRow("Yes applies") << Answer::Yes << true << true;
    QTest::newRow("No drops the figures") << Answer::No << false << true;
    QTest::newRow("Cancel stays") << Answer::Cancel << false << false;
}

void ShipsTabTest::leavingAnEditedShipAsks() {
    QFETCH(Answer, answer);
    QFETCH(bool, applied);
    QFETCH(bool, moved);
    const ShipStats before = fileStats(0);
    Answerer answers;
    answers.answers = {answer};
    typeFigure("txtGunEnergy", "777");
    clickShip(Lancer);
    QTRY_COMPARE(answers.questions(), 1);
    QCOMPARE(answers.said[0].title, QString("OV Edit"));
    QVERIFY(answers.said[0].text.startsWith("The figures of Raptor have been changed"));
    QTRY_COMPARE(ws().currentShip(), std::optional<size_t>(moved ? Lancer : Raptor));
    QCOMPARE(fileStats(0).field[12] == 777.0f, applied);
    if (!applied) QCOMPARE(fileStats(0), before);
    QCOMPARE(ws().statsEdited(), !moved);
    if (!moved) QCOMPARE(box("txtGunEnergy")->value(), 777.0);
}

void ShipsTabTest::importAndDefaultsFillTheBoxesForApply() {
    Answerer answers;
    const ShipStats raptor = fileStats(0), corsair = fileStats(int(Corsair));
    // The Corsair's import text onto the Raptor: the boxes show it, Apply writes it.
    QVERIFY(ws().importStats(gamePath("addons/stats/corsair.txt")));
    QVERIFY(ws().statsEdited());
    QCOMPARE(ws().shownStats(), corsair);
    clickButton("cmdApplyStats");
    QCOMPARE(fileStats(0), corsair);

    // Through the button and its file dialog.
    clickShip(Kestrel);
    ovtest::answerNextFileDialog(this, [this](QFileDialog* d) {
        // Typed as a person types it: selectFile leaves a shown dialog's name box
        // alone while it has the focus, and selects nothing before the folder is listed.
        auto* name = d->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(name);
        name->setText(gamePath("addons/stats/corsair.txt"));
        static_cast<QDialog*>(d)->accept();
    });
    clickButton("cmdImportStats");
    QTRY_COMPARE(ws().shownStats(), corsair);
    ws().revertStats();
    QCOMPARE(ws().shownStats(), fileStats(1));

    // A text that is not 15 numbers is refused under the routine's title.
    QFile bad(gamePath("bad.txt"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("1,2,3\n");
    bad.close();
    QVERIFY(!ws().importStats(gamePath("bad.txt")));
    QCOMPARE(answers.said.back().title, QString("GetImportStats"));
    QVERIFY(!ws().importStats(gamePath("missing.txt")));
    QCOMPARE(answers.texts().back(), QString("GetImportStats: File not found!"));
    QVERIFY(!ws().statsEdited());

    // shipstats.def now holds the figures from before the first Apply.
    clickShip(Raptor);
    QVERIFY(control<QPushButton>("cmdDefaultStats")->isEnabled());
    clickButton("cmdDefaultStats");
    QCOMPARE(ws().shownStats(), raptor);
    clickButton("cmdApplyStats");
    QCOMPARE(fileStats(0), raptor);
}

void ShipsTabTest::gunTypeFromThePopupChangesBothModels() {
    Answerer answers;
    // The library's own change on a second copy of the game is the reference.
    QTemporaryDir reference;
    copyTree(sampleDir_.filePath("game"), reference.filePath("game"));
    const auto points = libraryWeapons(game(), "raptor.shp");
    std::vector<int> guns;
    for (size_t i = 0; i < points.size(); ++i)
        if (points[i].kind == 3) guns.push_back(int(i));
    QVERIFY(guns.size() >= 2);

    selectPoints(guns);
    chooseType(guns[0], "pldGunType", 4);
    QVERIFY2(answers.said.empty(), qPrintable(answers.texts().join('\n')));

    auto table = ships::loadShipTable(fsPath(reference.filePath("game")),
                                      fsPath(reference.filePath("game")));
    QVERIFY(table.ok());
    std::vector<size_t> chosen(guns.begin(), guns.end());
    SilentReporter silent;
    QVERIFY(ships::ChangeWeapons(reference.filePath("game").toStdString(), (*table)[Raptor],
                                 WeaponSort::Gun, 4, chosen, silent));
    for (const char* name : {"ships/raptor.shp", "ships/raptor_t.shp", "ships/raptor.bak"}) {
        QVERIFY2(QFileInfo::exists(gamePath(name)), name);
        QCOMPARE(readAll(gamePath(name)), readAll(QDir(reference.filePath("game")).filePath(name)));
    }
    // The list shows the new type and keeps the points selected.
    for (int row : guns)
        QCOMPARE(weaponsModel()
                     ->data(weaponsModel()->index(row, WeaponListModel::Type), Qt::DisplayRole)
                     .toString(),
                 QString("Proton Cannon"));
    QCOMPARE(weaponsView()->selectionModel()->selectedRows().size(), qsizetype(guns.size()));
    QVERIFY(control<QPushButton>("cmdRestoreWeapons")->isEnabled());

    // Only the menus of the selected points' sorts are offered.
    int missile = -1;
    for (size_t i = 0; i < points.size(); ++i)
        if (points[i].kind == 0) missile = int(i);
    QVERIFY(missile >= 0);
    selectPoints({missile});
    QVERIFY(weaponsMenu()->findChild<QMenu*>("pldMissileType")->isEnabled());
    QVERIFY(!weaponsMenu()->findChild<QMenu*>("pldGunType")->isEnabled());
    chooseType(missile, "pldMissileType", 9);
    QCOMPARE(libraryWeapons(game(), "raptor_t.shp")[size_t(missile)].typeId, 9u);
}

void ShipsTabTest::cloakBoxTogglesTheClassByte() {
    Answerer answers;
    auto* cloak = control<QCheckBox>("chkHasCloak");
    // The Raptor is only in the archive: its first toggle makes the loose copy (and
    // keeps the archive's bytes as its .bak).
    QVERIFY(!cloak->isChecked());
    QTest::mouseClick(cloak, Qt::LeftButton);
    QVERIFY(cloak->isChecked());
    SilentReporter silent;
    QVERIFY(ships::IsCloaked(gamePath("ships/raptor.shp").toStdString(), silent));
    QVERIFY(QFileInfo::exists(gamePath("ships/raptor.bak")));
    QTest::mouseClick(cloak, Qt::LeftButton);
    QVERIFY(!cloak->isChecked());
    QVERIFY(!ships::IsCloaked(gamePath("ships/raptor.shp").toStdString(), silent));
    QVERIFY(answers.said.empty());

    // A capital ship asks first; No changes nothing.
    clickShip(Bastion);
    QTest::mouseClick(cloak, Qt::LeftButton);
    QCOMPARE(answers.questions(), 1);
    QVERIFY(!cloak->isChecked());
    QVERIFY(!QFileInfo::exists(gamePath("ships/bastion.shp")));
    answers.answers = {Answer::Yes};
    QTest::mouseClick(cloak, Qt::LeftButton);
    QVERIFY(cloak->isChecked());
    QVERIFY(control<QLabel>("lblCapitalShip")->text().startsWith("Fighter (class 2)"));
}

void ShipsTabTest::restoreWeaponsPutsTheBackupBack() {
    Answerer answers;
    clickShip(Kestrel);  // the loose model
    const QByteArray original = readAll(gamePath("ships/kestrel.shp"));
    const auto points = libraryWeapons(game(), "kestrel.shp");
    int external = -1;
    for (size_t i = 0; i < points.size(); ++i)
        if (points[i].kind == 1) external = int(i);
    QVERIFY(external >= 0);
    selectPoints({external});
    chooseType(external, "pldExtGunType", 11);
    QCOMPARE(libraryWeapons(game(), "kestrel.shp")[size_t(external)].typeId, 11u);
    QCOMPARE(weaponsModel()
                 ->data(weaponsModel()->index(external, WeaponListModel::Type),
                        Qt::DisplayRole)
                 .toString(),
             QString("Laser Cannon Type 5"));
    QCOMPARE(readAll(gamePath("ships/kestrel.bak")), original);

    clickButton("cmdRestoreWeapons");
    QVERIFY2(answers.said.empty(), qPrintable(answers.texts().join('\n')));
    QCOMPARE(readAll(gamePath("ships/kestrel.shp")), original);
    QCOMPARE(libraryWeapons(game(), "kestrel.shp")[size_t(external)].typeId,
             points[size_t(external)].typeId);
}

void ShipsTabTest::openInOVToolStartsItOnTheModel() {
    Answerer answers;
    // A missing OVTool is said, with nothing started.
    window_->setToolProgram(work_->filePath("nowhere/OVTool"));
    QVERIFY(!ws().openInTool());
    QCOMPARE(answers.said.size(), size_t(1));
    QVERIFY(answers.said[0].text.startsWith("OVTool was not found"));

    // A stand-in that writes down the file it was started on and that file's bytes.
#ifdef Q_OS_WIN
    const QString tool = work_->filePath("OVTool.exe");
#else
    const QString tool = work_->filePath("OVTool");
#endif
    const QString record = work_->filePath("started.txt");
    QVERIFY(QFile::copy(QStringLiteral(OV_STAND_IN_FILE), tool));
    qputenv("OV_STAND_IN_RECORD", QDir::toNativeSeparators(record).toLocal8Bit());
    window_->setToolProgram(tool);
    // The Raptor is only in the archive: OVTool would save a copy anywhere else
    // where the game never looks, so the copy goes into ships\ first, once asked.
    QVERIFY(!QFileInfo::exists(gamePath("ships/raptor.shp")));
    clickButton("cmdOpenInOVTool");
    QCOMPARE(answers.questions(), 1);
    QTest::qWait(200);
    QVERIFY(!QFileInfo::exists(record));
    QVERIFY(!QFileInfo::exists(gamePath("ships/raptor.shp")));
    answers.answers = {Answer::Yes};
    clickButton("cmdOpenInOVTool");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(record), 20000);
    QCOMPARE(readAll(record).trimmed(), QDir::toNativeSeparators(gamePath("ships/raptor.shp")).toUtf8());
    auto raptor = ships::loadShipModel(fsPath(game()), "raptor.shp");
    QVERIFY(raptor.ok());
    QVERIFY(!raptor->fromArchive);
    QCOMPARE(readAll(record + ".model"), QByteArray(reinterpret_cast<const char*>(raptor->unpacked.data()),
                                                    qsizetype(raptor->unpacked.size())));
    QVERIFY(QFileInfo::exists(gamePath("ships/raptor.bak")));
    QVERIFY(control<QLabel>("lblModel")->text().contains("(in the ships folder)"));
    QFile::remove(record);

    // The Kestrel's loose model is handed over as it is.
    clickShip(Kestrel);
    clickButton("cmdOpenInOVTool");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(record), 20000);
    QCOMPARE(readAll(record).trimmed(), QDir::toNativeSeparators(gamePath("ships/kestrel.shp")).toUtf8());
    QCOMPARE(answers.said.size(), size_t(3));
}

void ShipsTabTest::tabLeavesTheListsAndArrowsMoveInside() {
    QTableView* list = shipsView();
    list->setFocus();
    QTRY_VERIFY(list->hasFocus());
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(ws().currentShip(), std::optional<size_t>(Kestrel));
    QTest::keyClick(list, Qt::Key_Tab);
    QVERIFY(!list->hasFocus());
    QCOMPARE(ws().currentShip(), std::optional<size_t>(Kestrel));
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Backtab, Qt::ShiftModifier);
    QVERIFY(!list->hasFocus());
    QCOMPARE(ws().currentShip(), std::optional<size_t>(Kestrel));

    clickShip(Bastion);
    QTableView* points = weaponsView();
    QVERIFY(points->model()->rowCount() >= 2);
    points->setFocus();
    points->setCurrentIndex(points->model()->index(0, 0));
    QTest::keyClick(points, Qt::Key_Down);
    QCOMPARE(points->currentIndex().row(), 1);
    for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
        points->setFocus();
        QTest::keyClick(points, key, key == Qt::Key_Backtab ? Qt::ShiftModifier : Qt::NoModifier);
        QVERIFY(!points->hasFocus());
        QCOMPARE(points->currentIndex().row(), 1);
        QCOMPARE(points->currentIndex().column(), 0);
    }
    QCOMPARE(ws().currentShip(), std::optional<size_t>(Bastion));
}

void ShipsTabTest::mnemonicsAreUniqueWithAShipShown() {
    QVERIFY(ws().currentShip());
    QVERIFY(ws().modelLoaded());
    const QStringList clashes = ovtest::mnemonicClashes(window_.get());
    QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join('\n')));
}

void ShipsTabTest::screenReadersReadTheValuesRowsAndSelection() {
    Answerer answers;
    // Each value label is named by what it is and what it shows.
    QCOMPARE(spokenName(control<QLabel>("lblShipCount")), QString("Ships shown: 6 of 6 ship(s)"));
    QCOMPARE(spokenName(control<QLabel>("lblShipStatus")), QString("Status: 6 ship(s)"));
    clickShip(Bastion);
    const ships::Ship& bastion = ws().ships()[Bastion];
    QCOMPARE(spokenName(control<QLabel>("lblShipName")),
             QStringLiteral("Ship shown: %1 (record %2 of shipstats.bin)")
                 .arg(QString::fromLatin1(bastion.name.c_str()))
                 .arg(bastion.statsIndex));
    QVERIFY(spokenName(control<QLabel>("lblCapitalShip")).startsWith("Ship class: Capital ship (class "));
    const QString model = spokenName(control<QLabel>("lblModel"));
    QVERIFY2(model.startsWith("Model: ") && model.contains("bastion", Qt::CaseInsensitive),
             qPrintable(model));
    typeFigure("txtMaxSpeed", "321");
    clickButton("cmdApplyStats");
    QVERIFY(!ws().status().isEmpty());
    QCOMPARE(spokenName(control<QLabel>("lblShipStatus")), "Status: " + ws().status());

    // The lists tell their rows and which are selected.
    QAccessibleInterface* ships = QAccessible::queryAccessibleInterface(shipsView());
    QVERIFY(ships && ships->tableInterface());
    QCOMPARE(ships->tableInterface()->rowCount(), 6);
    QCOMPARE(spokenSelection(shipsView()), QList<int>{int(Bastion)});
    QTest::keyClicks(control<QLineEdit>("txtShipFilter"), "RA");
    QCOMPARE(ships->tableInterface()->rowCount(), 2);
    QCOMPARE(spokenName(control<QLabel>("lblShipCount")), QString("Ships shown: 2 of 6 ship(s)"));
    control<QLineEdit>("txtShipFilter")->clear();

    QAccessibleInterface* points = QAccessible::queryAccessibleInterface(weaponsView());
    QVERIFY(points && points->tableInterface());
    QCOMPARE(points->tableInterface()->rowCount(), weaponsModel()->rowCount());
    selectPoints({0, 2});
    QCOMPARE(spokenSelection(weaponsView()), (QList<int>{0, 2}));
}

// 1920 x 1080 at 200 %: 960 x 540 logical pixels for the whole window.
void ShipsTabTest::fitsTheScreenAtTwiceTheScale() {
    const QSize least = tab_->minimumSizeHint();
    QVERIFY2(least.width() <= 960 && least.height() <= 540,
             qPrintable(QStringLiteral("%1 x %2").arg(least.width()).arg(least.height())));

    // The tab as small as it is in such a window: every control can be scrolled to.
    Answerer answers;
    desktop::QtReporter reporter;
    ShipsTab narrow(reporter);
    QVERIFY(narrow.setGameFolder(game()));
    narrow.resize(940, 420);
    narrow.show();
    QVERIFY(QTest::qWaitForWindowExposed(&narrow));
    const auto& fields = ships::statsFieldsInDisplayOrder();
    const QString thirdColumn = "txt" + QString(fields.back().label).remove(' ');
    for (const QString& name : {thirdColumn, QString("cmdUndoStats"), QString("cmdRedoStats"),
                                QString("cmdOpenInOVTool"), QString("cmdRestoreWeapons"),
                                QString("lstWeapons")}) {
        auto* w = narrow.findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        for (QWidget* up = w->parentWidget(); up && up != &narrow; up = up->parentWidget())
            if (auto* scroll = qobject_cast<QScrollArea*>(up)) scroll->ensureWidgetVisible(w, 0, 0);
        const QRect at(w->mapTo(&narrow, QPoint(0, 0)), w->size());
        QVERIFY2(narrow.rect().contains(at), qPrintable(name));
    }
}

void ShipsTabTest::screenshotOfTheTab() {
    const QString png = work_->filePath("ships.png");
    QProcess program;
    program.start(OV_OVEDIT_FILE, {"--screenshot", png, "--tab", "ships", "--game", game()});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 0);
    const QImage shot(png);
    QVERIFY(!shot.isNull());
    QVERIFY(shot.width() >= 800 && shot.height() >= 500);
}

QTEST_MAIN(ShipsTabTest)
#include "ships_tab_test.moc"
