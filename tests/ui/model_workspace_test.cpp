// OVTool's model workspace without a display: every edit one undo step that puts
// back the same bytes, refusals and non-changes leaving no step, the three axes of
// a position merged, saving with the first state kept, a built model taken as new,
// and the selection.

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUndoStack>
#include <QtTest>
#include <deque>
#include <fstream>

#include "common/fileio.h"
#include "common/refpack.h"
#include "common/shp_build.h"
#include "ovtool/workspace/model_workspace.h"

using namespace ov::shp;
using ov::Bytes;
using ov::tool::ModelWorkspace;
using ov::tool::PositionTarget;
using ov::tool::Selection;
using Kind = PositionTarget::Kind;

namespace {

class Recorder final : public ov::Reporter {
public:
    void message(std::string_view title, std::string_view text, ov::Icon) override {
        said.push_back(std::string(title) + ": " + std::string(text));
    }
    ov::Answer question(std::string_view title, std::string_view text, ov::Buttons buttons,
                        ov::Icon) override {
        said.push_back(std::string(title) + ": " + std::string(text));
        return ov::cautiousAnswer(buttons);
    }
    std::vector<std::string> said;
};

ComponentSpec cube(const std::string& name, Vec3 position, float half, int i) {
    ComponentSpec c;
    c.name = name;
    c.kind = uint32_t(i % 4);
    c.position = position;
    c.value212 = uint32_t(200 + i);
    for (int v = 0; v < 8; ++v)
        c.vertices.push_back(
            {(v & 1) ? half : -half, (v & 2) ? half : -half, (v & 4) ? half : -half});
    c.faces = {{0, 1, 3, 0, {}, {}, 0}, {0, 3, 2, 0, {}, {}, 0}, {4, 5, 7, 0, {}, {}, 0}};
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
    auto b = ov::readFile(ov::pathFromText(path.toStdString()));
    return b ? *b : Bytes{};
}

}  // namespace

class ModelWorkspaceTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    Recorder reporter_;
    std::unique_ptr<ModelWorkspace> ws_;

    QString path(const char* name) const { return dir_.filePath(name); }
    Bytes bytes() const { return ws_->document().chain().write(); }
    int steps() const { return ws_->undoStack()->count(); }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        writeFile(path("plain.shp"), threeCubes().write());
        writeFile(path("other.shp"), buildModel(0, {cube("Pod", {0, 30, 0}, 5, 3)}).write());
    }
    void init() {
        reporter_.said.clear();
        ws_ = std::make_unique<ModelWorkspace>(reporter_);
    }
    void cleanup() { ws_.reset(); }

    void everyEditIsOneStepThatUndoesToTheSameBytes();
    void refusalsAndNonChangesLeaveNoStep();
    void theAxesOfOnePositionAreOneStep();
    void saveKeepsTheFirstStateAsBak();
    void aBuiltModelIsNewAndUnsaved();
    void selectionFollowsTheModel();
};

void ModelWorkspaceTest::everyEditIsOneStepThatUndoesToTheSameBytes() {
    QCOMPARE(ws_->open(path("plain.shp")), ov::model::OpenResult::Loaded);
    QSignalSpy edited(ws_.get(), &ModelWorkspace::modelEdited);
    ws_->selectComponent(1);
    std::vector<Bytes> states{bytes()};
    std::vector<Selection> selections{ws_->selection()};
    auto step = [&](bool done, const char* what) {
        QVERIFY2(done, what);
        QVERIFY2(bytes() != states.back(), what);
        QCOMPARE(steps(), int(states.size()));
        states.push_back(bytes());
        selections.push_back(ws_->selection());
        QVERIFY(ws_->modified());
    };

    step(ws_->attach(1, 3), "attach");
    QCOMPARE(ws_->selection().attachment, 2);  // Wing had two attachments
    step(ws_->setAttachmentType(1, 2, 8), "gun type");
    step(ws_->detach(1, 0), "detach");
    QCOMPARE(ws_->selection().attachment, 0);
    step(ws_->addBox(1), "add box");
    QCOMPARE(ws_->selection().box, 1);
    step(ws_->removeBox(1, 0), "remove box");
    QCOMPARE(ws_->selection().box, 0);
    step(ws_->setShipClass(1), "class");
    step(ws_->renameComponent(1, "Bridge"), "rename");
    step(ws_->setComponentKind(1, 3), "kind");
    step(ws_->setComponentValue212(1, 7), "value 212");
    step(ws_->setComponentValue260(1, 0xFFFFFFFFu), "value 260");
    step(ws_->setComponentSwitch240(1, true), "switch 240");
    step(ws_->setBlock13(1, true), "block13");
    step(ws_->merge(path("other.shp")), "merge");
    step(ws_->deleteComponent(0), "delete");
    QCOMPARE(ws_->selection(), Selection{});
    QCOMPARE(ws_->document().componentNames(),
             (std::vector<std::string>{"Bridge", "Tower", "Pod"}));
    QCOMPARE(ws_->undoStack()->undoText(), QString("Delete component Hull"));
    QVERIFY(edited.count() >= int(states.size()) - 1);

    // Back to the file's bytes and selections, then forward again.
    for (size_t i = states.size() - 1; i > 0; --i) {
        ws_->undoStack()->undo();
        QCOMPARE(bytes(), states[i - 1]);
        QCOMPARE(ws_->selection(), selections[i - 1]);
    }
    QVERIFY(!ws_->modified());
    QCOMPARE(bytes(), readFile(path("plain.shp")));
    for (size_t i = 1; i < states.size(); ++i) {
        ws_->undoStack()->redo();
        QCOMPARE(bytes(), states[i]);
        QCOMPARE(ws_->selection(), selections[i]);
    }
    QVERIFY(ws_->modified());
    QVERIFY(reporter_.said.empty());
}

void ModelWorkspaceTest::refusalsAndNonChangesLeaveNoStep() {
    // A reduced component table: shown, but no record changes.
    BlockChain chain = threeCubes();
    Block& t = chain.blocks()[*chain.componentTable()];
    Bytes cut;
    for (size_t i = 0; i < t.recordCount; ++i)
        cut.insert(cut.end(), t.record(i).begin(), t.record(i).begin() + 100);
    t.recordSize = 100;
    t.data = cut;
    writeFile(path("reduced.shp"), chain.write());
    QCOMPARE(ws_->open(path("reduced.shp")), ov::model::OpenResult::Loaded);
    const Bytes original = bytes();

    // One edit that happens, undone: it can be redone after every refusal below.
    QVERIFY(ws_->setShipClass(0));
    ws_->undoStack()->undo();
    QVERIFY(ws_->undoStack()->canRedo());

    QVERIFY(!ws_->deleteComponent(1));
    QCOMPARE(reporter_.said.size(), size_t(1));
    QCOMPARE(reporter_.said[0], std::string(ov::model::kReducedBlock1Caption) + ": " +
                                    ov::model::kReducedBlock1Text);
    QVERIFY(!ws_->renameComponent(1, "Bridge"));
    QVERIFY(!ws_->setPosition({Kind::Component, 1, -1}, 0, 3.0f));
    QCOMPARE(reporter_.said.size(), size_t(3));  // each refusal said once
    // Already so, or nothing there: nothing to say and no step.
    QVERIFY(!ws_->setShipClass(2));
    QVERIFY(!ws_->setPosition({Kind::Attachment, 0, 0}, 1, 12.0f));
    QVERIFY(!ws_->detach(0, 9));
    QVERIFY(!ws_->removeBox(5, 0));
    QVERIFY(!ws_->setBlock13(0, true));
    QCOMPARE(reporter_.said.size(), size_t(3));

    QCOMPARE(bytes(), original);
    QCOMPARE(steps(), 1);
    QVERIFY(ws_->undoStack()->canRedo());
    QVERIFY(!ws_->modified());
    ws_->undoStack()->redo();
    QCOMPARE(shipClass(ws_->document().chain()), std::optional<uint8_t>(0));
}

void ModelWorkspaceTest::theAxesOfOnePositionAreOneStep() {
    QCOMPARE(ws_->open(path("plain.shp")), ov::model::OpenResult::Loaded);
    const Bytes original = bytes();
    ws_->selectComponent(2);
    for (int axis = 0; axis < 3; ++axis)
        QVERIFY(ws_->setPosition({Kind::Component, 2, -1}, axis, float(axis + 1)));
    QCOMPARE(steps(), 1);
    QCOMPARE(ws_->undoStack()->undoText(), QString("Move component"));
    QCOMPARE(ws_->document().componentFields(2)->position.z, 3.0f);

    // Another position, or the same one after saving, is another step.
    QVERIFY(ws_->setPosition({Kind::Attachment, 2, 1}, 0, 5.0f));
    QVERIFY(ws_->setPosition({Kind::Attachment, 2, 1}, 2, 6.0f));
    QVERIFY(ws_->setPosition({Kind::BoxCentre, 2, 0}, 1, 7.0f));
    QVERIFY(ws_->setPosition({Kind::BoxHalfExtents, 2, 0}, 1, 2.0f));
    QVERIFY(ws_->setPosition({Kind::Component, 1, -1}, 0, 9.0f));
    QCOMPARE(steps(), 5);
    QFile::copy(path("plain.shp"), path("moved.shp"));
    ws_->undoStack()->setClean();
    QVERIFY(ws_->setPosition({Kind::Component, 1, -1}, 1, 9.0f));
    QCOMPARE(steps(), 6);

    const Bytes moved = bytes();
    while (ws_->undoStack()->canUndo())
        ws_->undoStack()->undo();
    QCOMPARE(bytes(), original);
    while (ws_->undoStack()->canRedo())
        ws_->undoStack()->redo();
    QCOMPARE(bytes(), moved);
    const auto box = ws_->document().boxFields(2, 0);
    QCOMPARE(box->centre.y, 7.0f);
    QCOMPARE(box->halfExtents.y, 2.0f);
}

void ModelWorkspaceTest::saveKeepsTheFirstStateAsBak() {
    const Bytes plain = readFile(path("plain.shp"));
    auto packed = ov::refpack::encode(plain);
    QVERIFY(packed);
    writeFile(path("ship.shp"), *packed);
    QCOMPARE(ws_->open(path("ship.shp")), ov::model::OpenResult::Loaded);
    QVERIFY(ws_->setShipClass(0));
    QVERIFY(ws_->save());
    QCOMPARE(readFile(path("ship.bak")), *packed);
    QCOMPARE(readFile(path("ship.shp")), bytes());
    QCOMPARE(ws_->status(), QString("Saved ship.shp; its first state is kept in ship.bak"));
    QVERIFY(!ws_->modified());
    QVERIFY(ws_->undoStack()->isClean());

    QVERIFY(ws_->setShipClass(1));
    QVERIFY(ws_->save());
    QCOMPARE(readFile(path("ship.bak")), *packed);
    QCOMPARE(ws_->status(), QString("Saved ship.shp"));
}

void ModelWorkspaceTest::aBuiltModelIsNewAndUnsaved() {
    QSignalSpy reset(ws_.get(), &ModelWorkspace::modelReset);
    QCOMPARE(ws_->openBuilt(threeCubes(), path("imported.shp")), ov::model::OpenResult::Loaded);
    QCOMPARE(reset.count(), 1);
    QVERIFY(ws_->modified());
    QVERIFY(!ws_->hasFileName());
    QCOMPARE(ws_->displayName(), QString("imported.shp"));
    QCOMPARE(ws_->suggestedPath(), path("imported.shp"));
    QCOMPARE(steps(), 0);
    // Undoing every edit leaves it unsaved still.
    QVERIFY(ws_->renameComponent(0, "Keel"));
    ws_->undoStack()->undo();
    QVERIFY(ws_->modified());
    QVERIFY(!ws_->save());
    QVERIFY(!QFile::exists(path("imported.shp")));

    QVERIFY(ws_->saveAs(path("imported.shp")));
    QVERIFY(!ws_->modified());
    QCOMPARE(ws_->filePath(), path("imported.shp"));
    QCOMPARE(readFile(path("imported.shp")), threeCubes().write());
    QVERIFY(!QFile::exists(path("imported.bak")));
    QVERIFY(reporter_.said.empty());
}

void ModelWorkspaceTest::selectionFollowsTheModel() {
    QCOMPARE(ws_->open(path("plain.shp")), ov::model::OpenResult::Loaded);
    QSignalSpy changed(ws_.get(), &ModelWorkspace::selectionChanged);
    ws_->selectComponent(2);
    ws_->selectAttachment(2);
    ws_->selectBox(0);
    QCOMPARE(ws_->selection(), (Selection{2, 2, 0}));
    QCOMPARE(changed.count(), 3);
    ws_->selectAttachment(3);  // Tower has three
    QCOMPARE(ws_->selection(), (Selection{2, -1, 0}));
    ws_->selectComponent(1);
    QCOMPARE(ws_->selection(), (Selection{1, -1, -1}));
    ws_->selectComponent(7);
    QCOMPARE(ws_->selection(), Selection{});

    // Opening another model starts with nothing selected and no history.
    ws_->selectComponent(0);
    QVERIFY(ws_->addBox(0));
    QCOMPARE(ws_->open(path("other.shp")), ov::model::OpenResult::Loaded);
    QCOMPARE(ws_->selection(), Selection{});
    QCOMPARE(steps(), 0);
    QCOMPARE(ws_->status(), QString("Opened other.shp"));
    QCOMPARE(ws_->open(path("missing.shp")), ov::model::OpenResult::Failed);
    QVERIFY(!ws_->loaded());
    QVERIFY(!ws_->attach(0, 1));
    QCOMPARE(reporter_.said.size(), size_t(1));  // "Error opening ...!"
}

QTEST_GUILESS_MAIN(ModelWorkspaceTest)
#include "model_workspace_test.moc"
