// Frame time of the 3D model view, and pictures of it.
//
//   view_frames [--frames N] [--size WxH] [--samples N] [--screenshot FILE]
//               [--select K] [--wireframe] [--normals] [MODEL]
//
// Without MODEL it draws a generated model at the converter's limits: 5,000
// vertices and 5,000 faces (a torus whose faces alternate between two copies of
// its vertices, as converted meshes keep repeated vertices), with stored normals.
// Each frame is an update of the view, drawn and shown by the event loop, followed
// by glFinish, so the time includes the driver's work and the window's composition. Run it on the
// display to measure (for Mesa's software renderer: xvfb-run -a -s "-screen 0
// 1280x1024x24" view_frames).
//
// With --screenshot it writes the window as PNG and exits instead.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <vector>

#include "common/report.h"
#include "common/shp_build.h"
#include "ovtool/model/document.h"
#include "common/ui/model_view.h"
#include "common/ui/screenshot.h"

namespace {

using namespace ov::shp;

BlockChain torusModel() {
    constexpr int kRings = 50, kSides = 50;  // 2,500 positions, 5,000 triangles
    constexpr float kPi = 3.14159265358979f;
    ComponentSpec c;
    c.name = "Torus";
    std::vector<Vec3> normals;
    for (int copy = 0; copy < 2; ++copy)
        for (int r = 0; r < kRings; ++r)
            for (int s = 0; s < kSides; ++s) {
                const float u = 2 * kPi * float(r) / kRings, v = 2 * kPi * float(s) / kSides;
                const Vec3 n{std::cos(u) * std::cos(v), std::sin(v), std::sin(u) * std::cos(v)};
                c.vertices.push_back(
                    {std::cos(u) * 300 + n.x * 100, n.y * 100, std::sin(u) * 300 + n.z * 100});
                normals.push_back(n);
            }
    auto at = [](int r, int s, int copy) {
        return uint32_t(copy * kRings * kSides + (r % kRings) * kSides + (s % kSides));
    };
    for (int r = 0; r < kRings; ++r)
        for (int s = 0; s < kSides; ++s) {
            const int copy = (r + s) % 2;
            c.faces.push_back({at(r, s, copy), at(r, s + 1, copy), at(r + 1, s + 1, copy)});
            c.faces.push_back({at(r, s, copy), at(r + 1, s + 1, copy), at(r + 1, s, copy)});
        }
    c.textures = {"torus"};
    c.boxes = {{{0, 0, 0}, {400, 100, 400}}};
    c.attachments = {makeAttachment(2, {0, 0, -400}), makeAttachment(3, {400, 0, 0}, 4)};
    BlockChain chain = buildModel(0, {c});
    Block& verts = chain.blocks()[*chain.nth(BlockType::Vertices, 0)];
    for (size_t i = 0; i < normals.size(); ++i)
        RecordView(verts.record(i)).setVec3(12, normals[i]);
    return chain;
}

int usage() {
    std::fprintf(stderr,
                 "usage: view_frames [--frames N] [--size WxH] [--samples N] [--screenshot FILE]\n"
                 "                   [--select K] [--wireframe] [--normals] [MODEL]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    int frames = 200, width = 800, height = 600, select = -1;
    QString screenshot, modelPath;
    bool wireframe = false, normals = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--frames" && hasValue) {
            frames = std::max(1, args[++i].toInt());
        } else if (a == "--size" && hasValue) {
            const QStringList wh = args[++i].split('x');
            if (wh.size() != 2) return usage();
            width = std::max(64, wh[0].toInt());
            height = std::max(64, wh[1].toInt());
        } else if (a == "--screenshot" && hasValue) {
            screenshot = args[++i];
        } else if (a == "--select" && hasValue) {
            select = args[++i].toInt();
        } else if (a == "--samples" && hasValue) {
            ov::desktop::ModelViewWidget::setSampleCount(args[++i].toInt());
        } else if (a == "--wireframe") {
            wireframe = true;
        } else if (a == "--normals") {
            normals = true;
        } else if (!a.startsWith("--") && modelPath.isEmpty()) {
            modelPath = a;
        } else {
            return usage();
        }
    }

    BlockChain chain;
    if (modelPath.isEmpty()) {
        chain = torusModel();
    } else {
        ov::SilentReporter quiet;
        auto loaded = ov::model::loadModel(modelPath.toStdString(), quiet);
        if (!loaded) {
            std::fprintf(stderr, "%s: not a model this toolkit can read\n", qPrintable(modelPath));
            return 1;
        }
        chain = std::move(loaded->chain);
    }

    QWidget window;
    window.setWindowTitle(modelPath.isEmpty() ? QStringLiteral("5,000 faces") : modelPath);
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* view = new ov::desktop::ModelViewWidget(&window);
    layout->addWidget(view);
    window.resize(width, height);
    view->setModel(chain);
    view->setSelectedComponent(select);
    view->setOn(ov::desktop::ModelViewWidget::Action::Wireframe, wireframe);
    view->setOn(ov::desktop::ModelViewWidget::Action::Normals, normals);

    if (!screenshot.isEmpty()) {
        ov::desktop::screenshotAndQuit(&window, screenshot);
        return QApplication::exec();
    }

    window.show();
    QElapsedTimer wait;
    wait.start();
    auto exposed = [&] { return window.windowHandle() && window.windowHandle()->isExposed(); };
    while ((!exposed() || !view->isValid()) && wait.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!view->glProblem().isEmpty() || !view->isValid()) {
        std::fprintf(stderr, "no OpenGL view: %s\n", qPrintable(view->glProblem()));
        return 1;
    }

    // A frame: ask for a repaint, let the event loop draw and show it, then wait
    // for the driver to finish. A frame that is not shown within seconds ends the run.
    bool late = false;
    auto frame = [&] {
        QElapsedTimer t;
        t.start();
        QEventLoop loop;
        QObject::connect(view, &QOpenGLWidget::frameSwapped, &loop, &QEventLoop::quit);
        QTimer::singleShot(5000, &loop, [&] {
            late = true;
            loop.quit();
        });
        view->update();
        loop.exec();
        view->makeCurrent();
        view->context()->functions()->glFinish();
        view->doneCurrent();
        return double(t.nsecsElapsed()) / 1e6;
    };
    for (int i = 0; i < 10; ++i)
        frame();  // the first frames upload the mesh and compile the shaders
    std::vector<double> ms;
    for (int i = 0; i < frames && !late; ++i)
        ms.push_back(frame());
    if (late) {
        std::fprintf(stderr, "a frame was not shown within 5 s\n");
        return 1;
    }
    std::sort(ms.begin(), ms.end());
    const double mean = std::accumulate(ms.begin(), ms.end(), 0.0) / double(ms.size());
    const auto* gl = view->context();
    view->makeCurrent();
    const char* renderer = reinterpret_cast<const char*>(gl->functions()->glGetString(GL_RENDERER));
    std::printf("renderer: %s\n", renderer ? renderer : "?");
    view->doneCurrent();
    std::printf(
        "model: %zu components, %zu triangles; view %dx%d at device pixel ratio %.2f, %d "
        "samples\n",
        view->mesh().components.size(), view->mesh().triangleCount(), view->width(), view->height(),
        view->devicePixelRatioF(), ov::desktop::ModelViewWidget::sampleCount());
    std::printf("frames: %d; mean %.2f ms, median %.2f ms, 95th percentile %.2f ms\n", frames, mean,
                ms[ms.size() / 2], ms[std::min(ms.size() - 1, ms.size() * 95 / 100)]);
    return 0;
}
