#include "common/ui/model_view.h"

#include <QAction>
#include <QBuffer>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLFunctions_3_3_Core>
#include <QOpenGLShaderProgram>
#include <QOpenGLVersionFunctionsFactory>
#include <QSurfaceFormat>
#include <QVBoxLayout>
#include <QVector4D>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "ovtool/model/document.h"
#include "common/fileio.h"
#include "common/ui/paths.h"
#include "common/ui/qt_reporter.h"

namespace ov::desktop {

namespace {

using shp::ComponentMesh;
using shp::Culling;
using shp::MeshTriangle;

constexpr float kFieldOfView = 40.0f;  // vertical, degrees
constexpr float kPi = 3.14159265358979f;

const QVector3D kBackground(0.15f, 0.16f, 0.19f);
const QVector3D kSurface(0.72f, 0.75f, 0.80f);
const QVector3D kHighlight(1.0f, 0.55f, 0.12f);
const QVector3D kEdge(0.85f, 0.88f, 0.92f);
const QVector3D kBoxColour(0.30f, 0.95f, 0.45f);
const QVector3D kMarkedColour(1.0f, 1.0f, 1.0f);
const QVector3D kVertexNormalColour(0.35f, 0.85f, 1.0f);
const QVector3D kFaceNormalColour(0.95f, 0.85f, 0.30f);

// Marker colours by attachment kind: missile mount, gun object, engine flame, gun,
// blinking light; anything else grey. None is the highlight's orange or the white
// of a marked attachment.
QVector3D kindColour(uint32_t kind) {
    static const QVector3D colours[] = {
        {0.25f, 0.95f, 0.95f}, {0.95f, 0.35f, 0.95f}, {0.30f, 0.65f, 1.0f},
        {1.0f, 0.25f, 0.25f}, {1.0f, 0.95f, 0.30f},
    };
    return kind < std::size(colours) ? colours[kind] : QVector3D(0.7f, 0.7f, 0.7f);
}

QVector3D toQt(shp::Vec3 v) {
    return {v.x, v.y, v.z};
}

const char* kMeshVertexShader = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in float component;
uniform mat4 mvp;
uniform mat4 view;
out vec3 viewNormal;
flat out float componentIndex;
void main() {
    gl_Position = mvp * vec4(position, 1.0);
    viewNormal = mat3(view) * normal;
    componentIndex = component;
}
)";

// A back face that shows (two-sided, or front-culled) is lit from its own side.
const char* kMeshFragmentShader = R"(#version 330 core
in vec3 viewNormal;
flat in float componentIndex;
uniform float selected;
uniform vec3 surface;
uniform vec3 highlight;
uniform vec3 edge;
uniform bool wire;
out vec4 colour;
void main() {
    bool isSelected = componentIndex == selected;
    if (wire) {
        colour = vec4(isSelected ? highlight : edge, 1.0);
        return;
    }
    vec3 base = isSelected ? highlight : surface;
    // A key light from above and a fill light from the eye.
    float light = 0.75;
    float len = length(viewNormal);
    if (len > 1e-6) {
        vec3 n = viewNormal / len;
        if (!gl_FrontFacing) n = -n;
        float key = max(dot(n, normalize(vec3(-0.35, 0.85, 0.45))), 0.0);
        float fill = max(n.z, 0.0);
        light = 0.22 + 0.5 * key + 0.35 * fill;
    }
    colour = vec4(base * light, 1.0);
}
)";

const char* kLineVertexShader = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 colour;
uniform mat4 mvp;
out vec3 lineColour;
void main() {
    gl_Position = mvp * vec4(position, 1.0);
    lineColour = colour;
}
)";

const char* kLineFragmentShader = R"(#version 330 core
in vec3 lineColour;
uniform float alpha;
out vec4 colour;
void main() {
    colour = vec4(lineColour, alpha);
}
)";

struct Range {
    GLint first = 0;
    GLsizei count = 0;
};

void pushVec(std::vector<float>& out, const QVector3D& v) {
    out.insert(out.end(), {v.x(), v.y(), v.z()});
}

void pushLine(std::vector<float>& out, const QVector3D& a, const QVector3D& b,
              const QVector3D& colour) {
    pushVec(out, a);
    pushVec(out, colour);
    pushVec(out, b);
    pushVec(out, colour);
}

// Möller-Trumbore: the distance along the ray to the triangle, or nothing.
std::optional<float> hitTriangle(const QVector3D& origin, const QVector3D& dir, const QVector3D& a,
                                 const QVector3D& b, const QVector3D& c) {
    const QVector3D e1 = b - a, e2 = c - a;
    const QVector3D p = QVector3D::crossProduct(dir, e2);
    const float det = QVector3D::dotProduct(e1, p);
    if (std::fabs(det) < 1e-12f) return std::nullopt;
    const float inv = 1.0f / det;
    const QVector3D s = origin - a;
    const float u = QVector3D::dotProduct(s, p) * inv;
    if (u < 0.0f || u > 1.0f) return std::nullopt;
    const QVector3D q = QVector3D::crossProduct(s, e1);
    const float v = QVector3D::dotProduct(dir, q) * inv;
    if (v < 0.0f || u + v > 1.0f) return std::nullopt;
    const float t = QVector3D::dotProduct(e2, q) * inv;
    if (t <= 0.0f) return std::nullopt;
    return t;
}

}  // namespace

namespace {

int chosenSamples = -1;

// Software rasterisers (Mesa's llvmpipe and softpipe) take about twice as long
// per frame with 4x multisampling; graphics hardware hardly notices it.
bool softwareRenderer() {
    static const bool software = [] {
        QOffscreenSurface surface;
        surface.create();
        QOpenGLContext context;
        if (!context.create() || !context.makeCurrent(&surface)) return false;
        const auto* name =
            reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
        const QByteArray renderer = QByteArray(name ? name : "").toLower();
        context.doneCurrent();
        return renderer.contains("llvmpipe") || renderer.contains("softpipe") ||
               renderer.contains("software") || renderer.contains("swrast");
    }();
    return software;
}

}  // namespace

void ModelViewWidget::setSampleCount(int samples) {
    chosenSamples = samples;
}

int ModelViewWidget::sampleCount() {
    if (chosenSamples >= 0) return chosenSamples;
    return softwareRenderer() ? 0 : 4;
}

struct ModelViewWidget::Gl {
    QOpenGLFunctions_3_3_Core* f = nullptr;
    QOpenGLShaderProgram meshProgram;
    QOpenGLShaderProgram lineProgram;
    GLuint meshVao = 0, meshVbo = 0;
    GLuint lineVao = 0, lineVbo = 0;
    // Triangles by the side they hide: back, front, none.
    std::array<Range, 3> triangles;
    Range boxes, attachments, normals;
    Range marked;  // the marked box and attachment
};

ModelViewWidget::ModelViewWidget(QWidget* parent) : QOpenGLWidget(parent) {
    QSurfaceFormat format;
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    format.setSamples(sampleCount());
    setFormat(format);

    setObjectName("modelView");
    setAccessibleName(tr("3D model view"));
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(160, 120);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    createActions();
}

ModelViewWidget::~ModelViewWidget() {
    // The base class destroys the context after this object is gone: it must not
    // call back into it.
    disconnect(contextGone_);
    if (gl_) {
        makeCurrent();
        releaseGl();
        doneCurrent();
    }
}

void ModelViewWidget::createActions() {
    struct ActionDef {
        const char* name;
        const char* text;
        const char* shortcut;
        bool checkable;
        bool on;
    };
    const ActionDef defs[kActionCount] = {
        {"actWireframe", "&Wireframe", "W", true, false},
        {"actBoxes", "Collision &boxes", "B", true, false},
        {"actAttachments", "&Attachments", "A", true, true},
        {"actNormals", "&Normals", "N", true, false},
        {"actFrameAll", "&Frame all", "Home", false, false},
        {"actFrameSelected", "Frame &selected", "F", false, false},
        {"actSaveImage", "Save ima&ge", "", false, false},
    };
    for (int i = 0; i < kActionCount; ++i) {
        const ActionDef& s = defs[i];
        auto* a = new QAction(tr(s.text), this);
        a->setObjectName(s.name);
        a->setCheckable(s.checkable);
        a->setChecked(s.on);
        if (*s.shortcut) {
            a->setShortcut(QKeySequence(s.shortcut));
            a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        }
        if (s.checkable) connect(a, &QAction::toggled, this, [this] { update(); });
        actions_[size_t(i)] = a;
        addAction(a);
    }
    connect(action(Action::FrameAll), &QAction::triggered, this, &ModelViewWidget::frameAll);
    connect(action(Action::FrameSelected), &QAction::triggered, this,
            &ModelViewWidget::frameSelected);
    connect(action(Action::SaveImage), &QAction::triggered, this,
            &ModelViewWidget::saveImageInteractively);
}

bool ModelViewWidget::isOn(Action toggle) const {
    return action(toggle)->isChecked();
}

void ModelViewWidget::setOn(Action toggle, bool on) {
    action(toggle)->setChecked(on);
}

// ---- model and camera ---------------------------------------------------------

void ModelViewWidget::setModel(const shp::BlockChain& chain, bool frame) {
    setMesh(shp::buildRenderMesh(chain), frame);
}

void ModelViewWidget::setMesh(shp::RenderMesh mesh, bool frameIt) {
    mesh_ = std::move(mesh);
    const shp::Bounds b = shp::meshBounds(mesh_);
    modelCentre_ = toQt(b.centre());
    modelRadius_ = b.empty() ? 1.0f : std::max(shp::reach(mesh_, b.centre()), 1e-3f);
    meshDirty_ = true;
    if (selected_ >= int(mesh_.components.size())) setSelectedComponent(-1);
    if (frameIt) {
        yaw_ = 35.0f;
        pitch_ = 20.0f;
        frameAll();
    }
    update();
}

void ModelViewWidget::clearModel() {
    setMesh({}, true);
}

void ModelViewWidget::setMarkedAttachment(int component, int index) {
    if (markedAttachment_ == std::pair(component, index)) return;
    markedAttachment_ = {component, index};
    linesDirty_ = true;
    update();
}

void ModelViewWidget::setMarkedBox(int component, int index) {
    if (markedBox_ == std::pair(component, index)) return;
    markedBox_ = {component, index};
    linesDirty_ = true;
    update();
}

void ModelViewWidget::setSelectedComponent(int component) {
    if (component < 0 || component >= int(mesh_.components.size())) component = -1;
    if (component == selected_) return;
    selected_ = component;
    update();
    emit selectedComponentChanged(selected_);
}

void ModelViewWidget::setZoom(double zoom) {
    if (!std::isfinite(zoom)) return;
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (qFuzzyCompare(zoom, zoom_)) return;
    zoom_ = zoom;
    update();
    emit zoomChanged(zoom_);
}

void ModelViewWidget::frame(const shp::Bounds& b, float radius) {
    if (b.empty()) {
        target_ = modelCentre_;
        setZoom(1.0);
    } else {
        target_ = toQt(b.centre());
        setZoom(double(modelRadius_) / double(std::max(radius, modelRadius_ * 1e-3f)));
    }
    update();
}

void ModelViewWidget::frameAll() {
    const shp::Bounds b = shp::meshBounds(mesh_);
    frame(b, modelRadius_);
}

void ModelViewWidget::frameSelected() {
    if (selected_ < 0) {
        frameAll();
        return;
    }
    const ComponentMesh& c = mesh_.components[size_t(selected_)];
    const shp::Bounds b = shp::componentBounds(c);
    frame(b, shp::reach(c, b.centre()));
}

float ModelViewWidget::distance() const {
    const float half = kFieldOfView * 0.5f * kPi / 180.0f;
    // At zoom 1 the sphere that holds the model just fits the height of the view.
    return modelRadius_ / std::sin(half) / float(zoom_);
}

QMatrix4x4 ModelViewWidget::viewMatrix() const {
    QMatrix4x4 v;
    v.translate(0, 0, -distance());
    v.rotate(pitch_, 1, 0, 0);
    v.rotate(-yaw_, 0, 1, 0);
    v.translate(-target_);
    return v;
}

QMatrix4x4 ModelViewWidget::projectionMatrix() const {
    const float d = distance();
    const float reach = modelRadius_ * 3.0f + (target_ - modelCentre_).length();
    QMatrix4x4 p;
    p.perspective(kFieldOfView, float(std::max(width(), 1)) / float(std::max(height(), 1)),
                  d * 0.01f, d + reach);
    return p;
}

QPointF ModelViewWidget::project(const QVector3D& p) const {
    const QVector4D c = projectionMatrix() * viewMatrix() * QVector4D(p, 1.0f);
    if (c.w() <= 0.0f) return {-1, -1};
    return {(c.x() / c.w() + 1.0) * 0.5 * width(), (1.0 - c.y() / c.w()) * 0.5 * height()};
}

int ModelViewWidget::componentAt(const QPoint& pos) const {
    const QMatrix4x4 inverse = (projectionMatrix() * viewMatrix()).inverted();
    const float x = 2.0f * (float(pos.x()) + 0.5f) / float(std::max(width(), 1)) - 1.0f;
    const float y = 1.0f - 2.0f * (float(pos.y()) + 0.5f) / float(std::max(height(), 1));
    const QVector4D n = inverse * QVector4D(x, y, -1, 1);
    const QVector4D f = inverse * QVector4D(x, y, 1, 1);
    const QVector3D origin = n.toVector3DAffine();
    const QVector3D dir = (f.toVector3DAffine() - origin).normalized();

    const bool culled = !isOn(Action::Wireframe);
    float best = std::numeric_limits<float>::max();
    int hit = -1;
    for (size_t k = 0; k < mesh_.components.size(); ++k) {
        const ComponentMesh& c = mesh_.components[k];
        const QVector3D at = toQt(c.position);
        for (const MeshTriangle& t : c.triangles) {
            const QVector3D a = at + toQt(c.positions[t.corners[0]]);
            const QVector3D b = at + toQt(c.positions[t.corners[1]]);
            const QVector3D cc = at + toQt(c.positions[t.corners[2]]);
            if (culled && t.culling != Culling::None) {
                const bool facing =
                    QVector3D::dotProduct(QVector3D::crossProduct(b - a, cc - a), dir) < 0.0f;
                if (facing == (t.culling == Culling::Front)) continue;
            }
            if (auto d = hitTriangle(origin, dir, a, b, cc); d && *d < best) {
                best = *d;
                hit = int(k);
            }
        }
    }
    return hit;
}

// ---- mouse ----------------------------------------------------------------------

void ModelViewWidget::mousePressEvent(QMouseEvent* e) {
    pressPos_ = lastPos_ = e->position().toPoint();
    dragging_ = false;
    e->accept();
}

void ModelViewWidget::mouseMoveEvent(QMouseEvent* e) {
    const QPoint pos = e->position().toPoint();
    const QPoint delta = pos - lastPos_;
    lastPos_ = pos;
    if ((pos - pressPos_).manhattanLength() > 3) dragging_ = true;
    if (!dragging_) return;

    const bool pan = (e->buttons() & Qt::MiddleButton) ||
                     ((e->buttons() & Qt::LeftButton) && (e->modifiers() & Qt::ShiftModifier));
    if (pan) {
        const float perPixel = 2.0f * distance() * std::tan(kFieldOfView * 0.5f * kPi / 180.0f) /
                               float(std::max(height(), 1));
        const QMatrix4x4 toWorld = viewMatrix().inverted();
        const QVector3D right = toWorld.mapVector({1, 0, 0});
        const QVector3D up = toWorld.mapVector({0, 1, 0});
        target_ -= right * (float(delta.x()) * perPixel);
        target_ += up * (float(delta.y()) * perPixel);
        update();
    } else if (e->buttons() & Qt::LeftButton) {
        yaw_ = std::fmod(yaw_ - float(delta.x()) * 0.5f, 360.0f);
        pitch_ = std::clamp(pitch_ + float(delta.y()) * 0.5f, -89.0f, 89.0f);
        update();
    }
    e->accept();
}

void ModelViewWidget::mouseReleaseEvent(QMouseEvent* e) {
    if (!dragging_ && e->button() == Qt::LeftButton) {
        const int k = componentAt(e->position().toPoint());
        setSelectedComponent(k);
        emit componentClicked(k);
    }
    dragging_ = false;
    e->accept();
}

void ModelViewWidget::wheelEvent(QWheelEvent* e) {
    const double steps = e->angleDelta().y() / 120.0;
    if (steps != 0.0) setZoom(zoom_ * std::pow(1.15, steps));
    e->accept();
}

// ---- image ------------------------------------------------------------------------

bool ModelViewWidget::saveImage(const QString& path, QString* error) {
    const QImage image = grabFramebuffer();
    if (image.isNull()) {
        if (error) *error = tr("The view has no picture to save");
        return false;
    }
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG")) {
        if (error) *error = tr("The picture could not be made into a PNG image");
        return false;
    }
    const auto* data = reinterpret_cast<const uint8_t*>(png.constData());
    if (auto written = ov::writeFileAtomic(toPath(path), ov::ByteSpan(data, size_t(png.size())));
        !written) {
        if (error) *error = QString::fromStdString(written.error().describe());
        return false;
    }
    return true;
}

void ModelViewWidget::setImageFile(const QString& suggested) {
    imageFile_ = suggested;
}

QString ModelViewWidget::suggestedImagePath() const {
    const QFileInfo model(imageFile_.isEmpty() ? tr("model") : imageFile_);
    const QString name = model.completeBaseName() + ".png";
    return imageFile_.isEmpty() || model.path() == "." ? name : model.dir().filePath(name);
}

QString ModelViewWidget::withPngExtension(const QString& path) {
    if (path.isEmpty() || path.endsWith(".png", Qt::CaseInsensitive)) return path;
    return path + ".png";
}

void ModelViewWidget::saveImageInteractively() {
    QFileDialog dialog(this, tr("Save image"), suggestedImagePath(), tr("PNG image (*.png)"));
    dialog.setObjectName("dlgSaveImage");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("png");
    dialog.selectFile(suggestedImagePath());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString path = withPngExtension(dialog.selectedFiles().first());
    QString why;
    if (!saveImage(path, &why)) {
        QtReporter reporter(this);
        reporter.message(model::kSaveErrorCaption,
                         model::saveErrorText(toPath(path)) + "\n\n" + why.toStdString(),
                         ov::Icon::Critical);
    }
}

// ---- OpenGL -----------------------------------------------------------------------

void ModelViewWidget::initializeGL() {
    releaseGl();
    glProblem_.clear();
    auto gl = std::make_unique<Gl>();
    gl->f = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_3_3_Core>(context());
    if (!gl->f) {
        const QSurfaceFormat got = context()->format();
        glProblem_ = tr("The 3D view needs OpenGL 3.3 (core profile); this display offers %1.%2")
                         .arg(got.majorVersion())
                         .arg(got.minorVersion());
    } else {
        auto build = [&](QOpenGLShaderProgram& p, const char* vs, const char* fs) {
            return p.addShaderFromSourceCode(QOpenGLShader::Vertex, vs) &&
                   p.addShaderFromSourceCode(QOpenGLShader::Fragment, fs) && p.link();
        };
        if (!build(gl->meshProgram, kMeshVertexShader, kMeshFragmentShader))
            glProblem_ = tr("The 3D view's shaders do not build: %1").arg(gl->meshProgram.log());
        else if (!build(gl->lineProgram, kLineVertexShader, kLineFragmentShader))
            glProblem_ = tr("The 3D view's shaders do not build: %1").arg(gl->lineProgram.log());
    }
    if (!glProblem_.isEmpty()) {
        auto* label = findChild<QLabel*>("lblViewProblem");
        if (!label) {
            label = new QLabel(this);
            label->setObjectName("lblViewProblem");
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignCenter);
            auto* layout = new QVBoxLayout(this);
            layout->addWidget(label);
        }
        label->setText(glProblem_);
        label->setAccessibleName(glProblem_);
        label->show();
        return;
    }

    QOpenGLFunctions_3_3_Core* f = gl->f;
    f->glGenVertexArrays(1, &gl->meshVao);
    f->glGenBuffers(1, &gl->meshVbo);
    f->glGenVertexArrays(1, &gl->lineVao);
    f->glGenBuffers(1, &gl->lineVbo);

    f->glBindVertexArray(gl->meshVao);
    f->glBindBuffer(GL_ARRAY_BUFFER, gl->meshVbo);
    const GLsizei meshStride = 7 * sizeof(float);
    f->glEnableVertexAttribArray(0);
    f->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, meshStride, nullptr);
    f->glEnableVertexAttribArray(1);
    f->glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, meshStride,
                             reinterpret_cast<const void*>(3 * sizeof(float)));
    f->glEnableVertexAttribArray(2);
    f->glVertexAttribPointer(2, 1, GL_FLOAT, GL_FALSE, meshStride,
                             reinterpret_cast<const void*>(6 * sizeof(float)));

    f->glBindVertexArray(gl->lineVao);
    f->glBindBuffer(GL_ARRAY_BUFFER, gl->lineVbo);
    const GLsizei lineStride = 6 * sizeof(float);
    f->glEnableVertexAttribArray(0);
    f->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, lineStride, nullptr);
    f->glEnableVertexAttribArray(1);
    f->glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, lineStride,
                             reinterpret_cast<const void*>(3 * sizeof(float)));
    f->glBindVertexArray(0);

    gl_ = std::move(gl);
    meshDirty_ = true;
    // The context goes when the widget moves to another window; initializeGL runs
    // again on the new one.
    disconnect(contextGone_);
    QOpenGLContext* made = context();
    contextGone_ = connect(made, &QOpenGLContext::aboutToBeDestroyed, this, [this, made] {
        // Only the objects of the context that goes: a newer one keeps its own.
        if (context() != made) return;
        makeCurrent();
        releaseGl();
        doneCurrent();
    });
}

void ModelViewWidget::releaseGl() {
    if (!gl_) return;
    QOpenGLFunctions_3_3_Core* f = gl_->f;
    f->glDeleteVertexArrays(1, &gl_->meshVao);
    f->glDeleteBuffers(1, &gl_->meshVbo);
    f->glDeleteVertexArrays(1, &gl_->lineVao);
    f->glDeleteBuffers(1, &gl_->lineVbo);
    gl_.reset();
    meshDirty_ = true;
}

void ModelViewWidget::upload() {
    QOpenGLFunctions_3_3_Core* f = gl_->f;

    // Corners grouped by the side their triangle hides, so that each group is one
    // draw call with its own culling.
    std::array<std::vector<float>, 3> groups;
    for (size_t k = 0; k < mesh_.components.size(); ++k) {
        const ComponentMesh& c = mesh_.components[k];
        const QVector3D at = toQt(c.position);
        for (const MeshTriangle& t : c.triangles) {
            std::vector<float>& out = groups[size_t(t.culling)];
            for (int i = 0; i < 3; ++i) {
                pushVec(out, at + toQt(c.positions[t.corners[size_t(i)]]));
                pushVec(out, toQt(shp::shadingNormal(c, t, i)));
                out.push_back(float(k));
            }
        }
    }
    std::vector<float> corners;
    GLint first = 0;
    for (size_t g = 0; g < groups.size(); ++g) {
        const GLsizei count = GLsizei(groups[g].size() / 7);
        gl_->triangles[g] = {first, count};
        first += count;
        corners.insert(corners.end(), groups[g].begin(), groups[g].end());
    }
    f->glBindBuffer(GL_ARRAY_BUFFER, gl_->meshVbo);
    f->glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(corners.size() * sizeof(float)),
                    corners.empty() ? nullptr : corners.data(), GL_STATIC_DRAW);
    meshDirty_ = false;
    uploadLines();
}

void ModelViewWidget::uploadLines() {
    QOpenGLFunctions_3_3_Core* f = gl_->f;
    std::vector<float> lines;
    auto vertexCount = [&] { return GLint(lines.size() / 6); };

    auto pushBox = [&](const ComponentMesh& c, const shp::MeshBox& b, const QVector3D& colour) {
        const auto p = shp::boxCorners(c, b);
        for (size_t i = 0; i < 8; ++i)
            for (size_t bit : {1u, 2u, 4u})
                if (!(i & bit)) pushLine(lines, toQt(p[i]), toQt(p[i | bit]), colour);
    };
    gl_->boxes.first = vertexCount();
    for (const ComponentMesh& c : mesh_.components)
        for (const shp::MeshBox& b : c.boxes)
            pushBox(c, b, kBoxColour);
    gl_->boxes.count = vertexCount() - gl_->boxes.first;

    // Attachments: an octahedron along the object's own axes, in the kind's
    // colour, and the axes themselves (x red, y green, z blue) reaching beyond it.
    auto pushAttachment = [&](const ComponentMesh& c, const shp::MeshAttachment& a, bool marked) {
        const float marker = modelRadius_ * (marked ? 0.08f : 0.045f);
        const QVector3D at = toQt(c.position) + toQt(a.position);
        std::array<QVector3D, 3> axes;
        for (size_t r = 0; r < 3; ++r) {
            axes[r] = QVector3D(a.axes[3 * r], a.axes[3 * r + 1], a.axes[3 * r + 2]);
            if (!std::isfinite(axes[r].lengthSquared()) || axes[r].lengthSquared() < 1e-12f)
                axes[r] = QVector3D(r == 0, r == 1, r == 2);
            axes[r].normalize();
        }
        const QVector3D colour = marked ? kMarkedColour : kindColour(a.kind);
        for (size_t i = 0; i < 3; ++i)
            for (size_t j = i + 1; j < 3; ++j)
                for (float si : {-1.0f, 1.0f})
                    for (float sj : {-1.0f, 1.0f})
                        pushLine(lines, at + axes[i] * (si * marker), at + axes[j] * (sj * marker),
                                 colour);
        const QVector3D axisColours[3] = {{1, 0.3f, 0.3f}, {0.3f, 1, 0.3f}, {0.4f, 0.5f, 1}};
        for (size_t r = 0; r < 3; ++r)
            pushLine(lines, at, at + axes[r] * (marker * 2.2f), axisColours[r]);
    };
    gl_->attachments.first = vertexCount();
    for (const ComponentMesh& c : mesh_.components)
        for (const shp::MeshAttachment& a : c.attachments)
            pushAttachment(c, a, false);
    gl_->attachments.count = vertexCount() - gl_->attachments.first;

    gl_->marked.first = vertexCount();
    auto marked = [&](std::pair<int, int> m, auto member) -> const ComponentMesh* {
        if (m.first < 0 || size_t(m.first) >= mesh_.components.size() || m.second < 0)
            return nullptr;
        const ComponentMesh& c = mesh_.components[size_t(m.first)];
        return size_t(m.second) < (c.*member).size() ? &c : nullptr;
    };
    if (const ComponentMesh* c = marked(markedBox_, &ComponentMesh::boxes))
        pushBox(*c, c->boxes[size_t(markedBox_.second)], kMarkedColour);
    if (const ComponentMesh* c = marked(markedAttachment_, &ComponentMesh::attachments))
        pushAttachment(*c, c->attachments[size_t(markedAttachment_.second)], true);
    gl_->marked.count = vertexCount() - gl_->marked.first;

    // Stored vertex normals from their vertex; a triangle without them shows its
    // own normal from its centre.
    const float reach = modelRadius_ * 0.05f;
    gl_->normals.first = vertexCount();
    for (const ComponentMesh& c : mesh_.components) {
        const QVector3D at = toQt(c.position);
        std::vector<bool> drawn(c.positions.size(), false);
        for (const MeshTriangle& t : c.triangles) {
            bool stored = false;
            for (uint32_t v : t.corners) {
                const QVector3D n = toQt(c.normals[v]);
                if (n.isNull()) continue;
                stored = true;
                if (drawn[v]) continue;
                drawn[v] = true;
                const QVector3D p = at + toQt(c.positions[v]);
                pushLine(lines, p, p + n * reach, kVertexNormalColour);
            }
            if (!stored && !toQt(t.normal).isNull()) {
                const QVector3D centre =
                    at + (toQt(c.positions[t.corners[0]]) + toQt(c.positions[t.corners[1]]) +
                          toQt(c.positions[t.corners[2]])) /
                             3.0f;
                pushLine(lines, centre, centre + toQt(t.normal) * reach, kFaceNormalColour);
            }
        }
    }
    gl_->normals.count = vertexCount() - gl_->normals.first;

    f->glBindBuffer(GL_ARRAY_BUFFER, gl_->lineVbo);
    f->glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(lines.size() * sizeof(float)),
                    lines.empty() ? nullptr : lines.data(), GL_STATIC_DRAW);
    f->glBindBuffer(GL_ARRAY_BUFFER, 0);
    linesDirty_ = false;
}

void ModelViewWidget::resizeGL(int, int) {}

void ModelViewWidget::paintGL() {
    // Objects of a context that went away while a new one came (the widget hidden,
    // moved or its window recreated) are made again on the one now current, rather
    // than leaving the view black.
    if (!gl_ && glProblem_.isEmpty()) initializeGL();
    if (!gl_) return;
    QOpenGLFunctions_3_3_Core* f = gl_->f;
    if (meshDirty_)
        upload();
    else if (linesDirty_)
        uploadLines();

    f->glClearColor(kBackground.x(), kBackground.y(), kBackground.z(), 1.0f);
    f->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    f->glEnable(GL_DEPTH_TEST);
    f->glDepthFunc(GL_LEQUAL);
    f->glFrontFace(GL_CCW);

    const QMatrix4x4 view = viewMatrix();
    const QMatrix4x4 mvp = projectionMatrix() * view;

    gl_->meshProgram.bind();
    gl_->meshProgram.setUniformValue("mvp", mvp);
    gl_->meshProgram.setUniformValue("view", view);
    gl_->meshProgram.setUniformValue("selected", float(selected_));
    gl_->meshProgram.setUniformValue("surface", kSurface);
    gl_->meshProgram.setUniformValue("highlight", kHighlight);
    gl_->meshProgram.setUniformValue("edge", kEdge);
    const bool wire = isOn(Action::Wireframe);
    gl_->meshProgram.setUniformValue("wire", wire);
    f->glBindVertexArray(gl_->meshVao);
    if (wire) {
        // Every edge, whichever side faces the eye.
        f->glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        for (const Range& r : gl_->triangles)
            if (r.count) f->glDrawArrays(GL_TRIANGLES, r.first, r.count);
        f->glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    } else {
        const GLenum hidden[3] = {GL_BACK, GL_FRONT, 0};
        for (size_t g = 0; g < 3; ++g) {
            const Range& r = gl_->triangles[g];
            if (!r.count) continue;
            if (hidden[g]) {
                f->glEnable(GL_CULL_FACE);
                f->glCullFace(hidden[g]);
            } else {
                f->glDisable(GL_CULL_FACE);
            }
            f->glDrawArrays(GL_TRIANGLES, r.first, r.count);
        }
        f->glDisable(GL_CULL_FACE);
    }

    // Overlays: faint where the hull hides them, full where they are in front.
    gl_->lineProgram.bind();
    gl_->lineProgram.setUniformValue("mvp", mvp);
    f->glBindVertexArray(gl_->lineVao);
    f->glEnable(GL_BLEND);
    f->glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    const std::pair<Action, Range> overlays[] = {{Action::Boxes, gl_->boxes},
                                                 {Action::Attachments, gl_->attachments},
                                                 {Action::Normals, gl_->normals}};
    for (const auto& [toggle, r] : overlays) {
        if (!isOn(toggle) || !r.count) continue;
        f->glDisable(GL_DEPTH_TEST);
        gl_->lineProgram.setUniformValue("alpha", 0.3f);
        f->glDrawArrays(GL_LINES, r.first, r.count);
        f->glEnable(GL_DEPTH_TEST);
        gl_->lineProgram.setUniformValue("alpha", 1.0f);
        f->glDrawArrays(GL_LINES, r.first, r.count);
    }
    // What an editor picked shows through the hull.
    if (gl_->marked.count) {
        f->glDisable(GL_DEPTH_TEST);
        gl_->lineProgram.setUniformValue("alpha", 1.0f);
        f->glDrawArrays(GL_LINES, gl_->marked.first, gl_->marked.count);
        f->glEnable(GL_DEPTH_TEST);
    }
    f->glDisable(GL_BLEND);
    f->glBindVertexArray(0);
    gl_->lineProgram.release();
}

}  // namespace ov::desktop
