// The 3D model view, checked from what it draws: its framebuffer, read back.

#include <QFileDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <QtTest>
#include <cmath>

#include "common/shp_build.h"
#include "gui/gui_test_support.h"
#include "common/ui/model_view.h"
#include "common/ui/screenshot.h"

using namespace ov::shp;
using ov::shp::componentBounds;
using ov::desktop::ModelViewWidget;

namespace {

constexpr int kSize = 240;

// A cube of 12 triangles wound counter-clockwise seen from outside.
ComponentSpec cube(const std::string& name, Vec3 position, float half) {
    ComponentSpec c;
    c.name = name;
    c.position = position;
    for (int i = 0; i < 8; ++i)
        c.vertices.push_back(
            {(i & 1) ? half : -half, (i & 2) ? half : -half, (i & 4) ? half : -half});
    const uint32_t quads[6][4] = {{0, 4, 6, 2}, {1, 3, 7, 5}, {0, 1, 5, 4},
                                  {2, 6, 7, 3}, {0, 2, 3, 1}, {4, 5, 7, 6}};
    for (const auto& q : quads) {
        c.faces.push_back({q[0], q[1], q[2], 0, {}, {}, 0});
        c.faces.push_back({q[0], q[2], q[3], 0, {}, {}, 0});
    }
    c.textures = {"plates"};
    return c;
}

QVector3D toQt(Vec3 v) {
    return {v.x, v.y, v.z};
}

bool isBackground(QRgb p) {
    // The view's clear colour, (0.15, 0.16, 0.19).
    return std::abs(qRed(p) - 38) <= 3 && std::abs(qGreen(p) - 41) <= 3 &&
           std::abs(qBlue(p) - 48) <= 3;
}

int coveredPixels(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            n += !isBackground(image.pixel(x, y));
    return n;
}

}  // namespace

class ModelViewTest : public QObject {
    Q_OBJECT

private:
    // The view in a window of its own, shown and ready to draw.
    std::unique_ptr<QWidget> window_;
    ModelViewWidget* view_ = nullptr;

    QRgb pixelAt(const QImage& image, QPointF p) const {
        const qreal r = image.devicePixelRatio();
        return image.pixel(int(p.x() * r), int(p.y() * r));
    }
    QRgb pixelAt(QPointF p) const { return pixelAt(view_->grabFramebuffer(), p); }
    QPointF centreOf(int component) const {
        return view_->project(
            toQt(componentBounds(view_->mesh().components[size_t(component)]).centre()));
    }

private slots:
    void cleanupTestCase() { ovtest::keepGlDriversLoaded(); }
    void init();
    void cleanup();

    void drawsComponentsAtTheirPositions();
    void cullingFollowsTheSideMode_data();
    void cullingFollowsTheSideMode();
    void selectedComponentChangesColour();
    void facesOutsideTheirBlocksDrawNothing();
    void clickingSelectsTheComponentUnderThePointer();
    void zoomStaysInStepWithASlider();
    void overlaysDrawOnlyWhenSwitchedOn();
    void markedBoxAndAttachmentShowWithoutTheirOverlays();
    void framingSelectedCentresIt();
    void savesPictures();
    void saveImageProposesANameAndAddsPng();
    void drawsAgainAfterMovingToAnotherWindow();
};

void ModelViewTest::init() {
    window_ = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new ModelViewWidget(window_.get());
    view_->setFixedSize(kSize, kSize);
    layout->addWidget(view_);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QVERIFY2(view_->glProblem().isEmpty(), qPrintable(view_->glProblem()));
}

void ModelViewTest::cleanup() {
    window_.reset();
    view_ = nullptr;
}

void ModelViewTest::drawsComponentsAtTheirPositions() {
    view_->setModel(buildModel(0, {cube("Left", {-30, 0, 0}, 10), cube("Right", {30, 0, 0}, 10)}));
    const QImage image = view_->grabFramebuffer();
    QVERIFY(!isBackground(pixelAt(image, centreOf(0))));
    QVERIFY(!isBackground(pixelAt(image, centreOf(1))));
    // The gap between the two cubes, and the view's corners, stay empty.
    QVERIFY(isBackground(pixelAt(image, view_->project({0, 0, 0}))));
    QVERIFY(isBackground(pixelAt(image, {2, 2})));
    QVERIFY(isBackground(pixelAt(image, {kSize - 3, kSize - 3})));
    // Lit by the normals: the faces turned towards the light differ in shade.
    QSet<QRgb> shades;
    for (int x = 0; x < image.width(); ++x)
        if (!isBackground(image.pixel(x, image.height() / 2)))
            shades.insert(image.pixel(x, image.height() / 2));
    QVERIFY(shades.size() >= 2);
}

void ModelViewTest::cullingFollowsTheSideMode_data() {
    QTest::addColumn<uint32_t>("recordSize");
    QTest::addColumn<uint32_t>("sideMode");
    QTest::addColumn<bool>("frontToEye");
    QTest::addColumn<bool>("visible");
    QTest::newRow("80 bytes, mode 0, front") << 80u << 0u << true << true;
    QTest::newRow("80 bytes, mode 0, back") << 80u << 0u << false << false;
    QTest::newRow("80 bytes, mode 1, back") << 80u << 1u << false << false;
    QTest::newRow("80 bytes, mode 3, front") << 80u << 3u << true << false;
    QTest::newRow("80 bytes, mode 3, back") << 80u << 3u << false << true;
    QTest::newRow("84 bytes, mode 3, front") << 84u << 3u << true << true;
    QTest::newRow("84 bytes, mode 0, back") << 84u << 0u << false << true;
}

void ModelViewTest::cullingFollowsTheSideMode() {
    QFETCH(uint32_t, recordSize);
    QFETCH(uint32_t, sideMode);
    QFETCH(bool, frontToEye);
    QFETCH(bool, visible);

    ComponentSpec c;
    c.name = "Triangle";
    c.vertices = {{-10, -10, 0}, {10, -10, 0}, {0, 10, 0}};
    c.faces = {{0, 1, 2, 0, {}, {}, sideMode}};
    view_->setModel(buildModel(0, {c}));
    // Which way (0, 1, 2) winds on screen: counter-clockwise (y up) is the front.
    const QPointF a = view_->project({-10, -10, 0}), b = view_->project({10, -10, 0}),
                  cc = view_->project({0, 10, 0});
    const double area = (b.x() - a.x()) * -(cc.y() - a.y()) - -(b.y() - a.y()) * (cc.x() - a.x());
    if ((area > 0) != frontToEye) c.faces[0] = {0, 2, 1, 0, {}, {}, sideMode};

    BlockChain chain = buildModel(0, {c});
    Block& faces = chain.blocks()[*chain.nth(BlockType::Faces, 0)];
    if (recordSize != faces.recordSize) {
        faces.data.resize(recordSize, 0);
        faces.recordSize = recordSize;
    }
    view_->setModel(chain);
    const QPointF centroid = view_->project({0, -10.0f / 3.0f, 0});
    QCOMPARE(!isBackground(pixelAt(centroid)), visible);
    // Only what is drawn can be clicked.
    QCOMPARE(view_->componentAt(centroid.toPoint()), visible ? 0 : -1);
}

void ModelViewTest::selectedComponentChangesColour() {
    view_->setModel(buildModel(0, {cube("A", {-30, 0, 0}, 10), cube("B", {30, 0, 0}, 10)}));
    const QRgb a = pixelAt(centreOf(0)), b = pixelAt(centreOf(1));
    QSignalSpy changed(view_, &ModelViewWidget::selectedComponentChanged);
    view_->setSelectedComponent(1);
    QCOMPARE(changed.size(), 1);
    const QRgb a2 = pixelAt(centreOf(0)), b2 = pixelAt(centreOf(1));
    QCOMPARE(a2, a);
    QVERIFY(b2 != b);
    QVERIFY(qRed(b2) > qBlue(b2) + 60);  // the highlight is orange

    view_->setSelectedComponent(7);  // no such component: nothing selected
    QCOMPARE(view_->selectedComponent(), -1);
    QCOMPARE(pixelAt(centreOf(1)), b);
}

void ModelViewTest::facesOutsideTheirBlocksDrawNothing() {
    ComponentSpec c;
    c.name = "Broken";
    c.vertices = {{-10, -10, 0}, {10, -10, 0}, {0, 10, 0}};
    c.faces = {{0, 1, 7, 0, {}, {}, 2}, {9, 9, 9, 0, {}, {}, 2}, {0xFFFFFFFF, 0, 1, 0, {}, {}, 2}};
    ComponentSpec tooShort = cube("Short", {}, 5);
    BlockChain chain = buildModel(0, {c, tooShort});
    // The second component's vertex records are too short to hold coordinates.
    Block& verts = chain.blocks()[*chain.nth(BlockType::Vertices, 1)];
    verts.recordSize = 8;
    verts.data.resize(size_t(verts.recordCount) * 8);

    view_->setModel(chain);
    QCOMPARE(view_->mesh().skippedFaces(), size_t(3 + 12));
    QCOMPARE(coveredPixels(view_->grabFramebuffer()), 0);
    QCOMPARE(view_->componentAt({kSize / 2, kSize / 2}), -1);
}

void ModelViewTest::clickingSelectsTheComponentUnderThePointer() {
    view_->setModel(buildModel(0, {cube("A", {-30, 0, 0}, 10), cube("B", {30, 0, 0}, 10)}));
    QSignalSpy clicked(view_, &ModelViewWidget::componentClicked);
    QTest::mouseClick(view_, Qt::LeftButton, {}, centreOf(1).toPoint());
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked.at(0).at(0).toInt(), 1);
    QCOMPARE(view_->selectedComponent(), 1);

    QTest::mouseClick(view_, Qt::LeftButton, {}, centreOf(0).toPoint());
    QCOMPARE(view_->selectedComponent(), 0);
    QTest::mouseClick(view_, Qt::LeftButton, {}, QPoint(3, 3));
    QCOMPARE(clicked.size(), 3);
    QCOMPARE(clicked.at(2).at(0).toInt(), -1);
    QCOMPARE(view_->selectedComponent(), -1);

    // A drag orbits and selects nothing.
    const QPoint from = centreOf(1).toPoint();
    QTest::mousePress(view_, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(from + QPoint(40, 0)), QPointF(), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view_, &move);
    QTest::mouseRelease(view_, Qt::LeftButton, {}, from + QPoint(40, 0));
    QCOMPARE(clicked.size(), 3);
    QVERIFY((centreOf(1) - QPointF(from)).manhattanLength() > 5);
}

void ModelViewTest::zoomStaysInStepWithASlider() {
    view_->setModel(buildModel(0, {cube("A", {}, 10)}));
    QSlider slider(Qt::Horizontal);
    slider.setRange(5, 10000);  // zoom x 100
    slider.setValue(100);
    connect(&slider, &QSlider::valueChanged, view_, [this](int v) { view_->setZoom(v / 100.0); });
    connect(view_, &ModelViewWidget::zoomChanged, &slider,
            [&slider](double z) { slider.setValue(int(std::lround(z * 100))); });
    QSignalSpy zoomed(view_, &ModelViewWidget::zoomChanged);

    const int before = coveredPixels(view_->grabFramebuffer());
    QWheelEvent wheel(QPointF(kSize / 2, kSize / 2),
                      view_->mapToGlobal(QPointF(kSize / 2, kSize / 2)), QPoint(), QPoint(0, 120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view_, &wheel);
    QCOMPARE(zoomed.size(), 1);
    QCOMPARE(view_->zoom(), 1.15);
    QCOMPARE(slider.value(), 115);
    QVERIFY(coveredPixels(view_->grabFramebuffer()) > before);

    slider.setValue(250);
    QCOMPARE(view_->zoom(), 2.5);
    QCOMPARE(zoomed.size(), 2);

    view_->setZoom(1e9);
    QCOMPARE(view_->zoom(), ModelViewWidget::kMaxZoom);
    view_->setZoom(std::nan(""));
    QCOMPARE(view_->zoom(), ModelViewWidget::kMaxZoom);
    QCOMPARE(slider.value(), 10000);
}

void ModelViewTest::overlaysDrawOnlyWhenSwitchedOn() {
    // No triangles: whatever shows is an overlay.
    ComponentSpec c;
    c.name = "Empty";
    c.boxes = {{{0, 0, 0}, {10, 5, 20}}};
    ComponentSpec d;
    d.name = "Gun";
    d.position = {0, 0, 40};
    d.attachments = {makeAttachment(3, {0, 0, 0}, 2)};
    view_->setModel(buildModel(0, {c, d}));
    using A = ModelViewWidget::Action;
    for (A toggle : {A::Boxes, A::Attachments}) {
        view_->setOn(A::Boxes, toggle == A::Boxes);
        view_->setOn(A::Attachments, toggle == A::Attachments);
        QVERIFY(coveredPixels(view_->grabFramebuffer()) > 0);
    }
    view_->setOn(A::Attachments, false);
    QCOMPARE(coveredPixels(view_->grabFramebuffer()), 0);

    // Normals and wireframe change what a solid shows.
    view_->setModel(buildModel(0, {cube("A", {}, 10)}));
    const QImage solid = view_->grabFramebuffer();
    view_->setOn(A::Normals, true);
    QVERIFY(view_->grabFramebuffer() != solid);
    view_->setOn(A::Normals, false);
    view_->setOn(A::Wireframe, true);
    const int wire = coveredPixels(view_->grabFramebuffer());
    QVERIFY(wire > 0);
    QVERIFY(wire < coveredPixels(solid));
    QVERIFY(view_->action(A::Wireframe)->isChecked());
}

void ModelViewTest::markedBoxAndAttachmentShowWithoutTheirOverlays() {
    ComponentSpec c;
    c.name = "Empty";
    c.boxes = {{{-20, 0, 0}, {5, 5, 5}}, {{20, 0, 0}, {5, 5, 5}}};
    c.attachments = {makeAttachment(2, {0, 20, 0}), makeAttachment(4, {0, -20, 0})};
    view_->setModel(buildModel(0, {c}));
    using A = ModelViewWidget::Action;
    view_->setOn(A::Boxes, false);
    view_->setOn(A::Attachments, false);
    QCOMPARE(coveredPixels(view_->grabFramebuffer()), 0);

    auto whiteNear = [&](const QVector3D& p) {
        const QImage image = view_->grabFramebuffer();
        const QPointF at = view_->project(p) * image.devicePixelRatio();
        for (int dy = -12; dy <= 12; ++dy)
            for (int dx = -12; dx <= 12; ++dx) {
                const QRgb px = image.pixel(int(at.x()) + dx, int(at.y()) + dy);
                if (qRed(px) > 240 && qGreen(px) > 240 && qBlue(px) > 240) return true;
            }
        return false;
    };
    view_->setMarkedBox(0, 1);
    QVERIFY(whiteNear({25, 5, 5}));
    QVERIFY(!whiteNear({-25, 5, 5}));
    view_->setMarkedAttachment(0, 0);
    QVERIFY(whiteNear({0, 20, 0}));
    QVERIFY(!whiteNear({0, -20, 0}));
    // Marks beyond the model draw nothing.
    view_->setMarkedBox(0, 2);
    view_->setMarkedAttachment(3, 0);
    QCOMPARE(coveredPixels(view_->grabFramebuffer()), 0);
}

void ModelViewTest::framingSelectedCentresIt() {
    view_->setModel(buildModel(0, {cube("Big", {}, 100), cube("Small", {300, 0, 0}, 5)}));
    QCOMPARE(view_->zoom(), 1.0);
    view_->setSelectedComponent(1);
    view_->action(ModelViewWidget::Action::FrameSelected)->trigger();
    QVERIFY(view_->zoom() > 10.0);
    const QPointF c = centreOf(1);
    QVERIFY(std::abs(c.x() - kSize / 2.0) < 2 && std::abs(c.y() - kSize / 2.0) < 2);
    QVERIFY(!isBackground(pixelAt(c)));

    view_->frameAll();
    QCOMPARE(view_->zoom(), 1.0);
    const int all = coveredPixels(view_->grabFramebuffer());
    QVERIFY(all > 0);
}

void ModelViewTest::savesPictures() {
    view_->setModel(buildModel(0, {cube("A", {}, 10)}));
    QTemporaryDir dir;
    const QString viewPng = dir.filePath("view.png");
    QString error;
    QVERIFY2(view_->saveImage(viewPng, &error), qPrintable(error));
    const QImage saved(viewPng);
    QCOMPARE(saved.size(), view_->grabFramebuffer().size());
    QVERIFY(coveredPixels(saved) > 0);

    const QString windowPng = dir.filePath("window.png");
    QVERIFY2(ov::desktop::saveWindowImage(window_.get(), windowPng, &error), qPrintable(error));
    const QImage shot(windowPng);
    QCOMPARE(shot.size(), window_->size() * window_->devicePixelRatio());
    // The OpenGL view is part of the window's picture.
    QVERIFY(coveredPixels(shot) > 0);

    QVERIFY(!view_->saveImage(dir.filePath("missing/view.png"), &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFile::exists(dir.filePath("missing/view.png")));
}

void ModelViewTest::saveImageProposesANameAndAddsPng() {
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    view_->setModel(buildModel(0, {cube("A", {}, 10)}));
    QTemporaryDir dir;
    QCOMPARE(view_->suggestedImagePath(), QString("model.png"));
    view_->setImageFile(dir.filePath("bastion.shp"));
    QCOMPARE(view_->suggestedImagePath(), dir.filePath("bastion.png"));

    QStringList proposed;
    ovtest::answerNextFileDialog(this, [&](QFileDialog* d) {
        proposed = d->selectedFiles();
        // Typed as a person would, without the extension.
        auto* name = d->findChild<QLineEdit*>("fileNameEdit");
        QVERIFY(name);
        name->setText("picture");
        static_cast<QDialog*>(d)->accept();
    });
    view_->action(ModelViewWidget::Action::SaveImage)->trigger();
    QCOMPARE(proposed, QStringList{dir.filePath("bastion.png")});
    QVERIFY(!QFile::exists(dir.filePath("picture")));
    QVERIFY(QFile::exists(dir.filePath("picture.png")));
    QVERIFY(coveredPixels(QImage(dir.filePath("picture.png"))) > 0);

    QCOMPARE(ModelViewWidget::withPngExtension("shot"), QString("shot.png"));
    QCOMPARE(ModelViewWidget::withPngExtension("shot.PNG"), QString("shot.PNG"));
    QCOMPARE(ModelViewWidget::withPngExtension("shot.png.bak"), QString("shot.png.bak.png"));
}

void ModelViewTest::drawsAgainAfterMovingToAnotherWindow() {
    // The archive preview and the model editor move views between panes: the
    // old context goes, the buffers are built again on the new one.
    view_->setModel(buildModel(0, {cube("A", {}, 10)}));
    QVERIFY(coveredPixels(view_->grabFramebuffer()) > 0);
    QWidget other;
    auto* layout = new QVBoxLayout(&other);
    view_->setParent(&other);
    layout->addWidget(view_);
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    QVERIFY(coveredPixels(view_->grabFramebuffer()) > 0);
    view_->setParent(window_.get());
}

QTEST_MAIN(ModelViewTest)
#include "model_view_test.moc"
