#pragma once
// The 3D view of a ship model, shared by the model editor and the data editor's
// archive preview. OpenGL 3.3 core profile with shaders.
//
// It draws every component's triangles at the component's position, lit by the
// stored normals and culled as each face's side mode says; the selected
// component in a highlight colour; and, when switched on, the collision boxes as
// wireframes, the attachments as markers coloured by kind with their axes, and the
// normals; and an attachment and a box that an editor marks, in white through the
// hull. The geometry comes from ov::shp::buildRenderMesh and is uploaded once
// per model change (the lines alone again when a mark changes); a repaint only
// sets uniforms and draws.
//
// Mouse: left drag orbits around the model, middle drag (or Shift + left drag)
// pans, the wheel zooms, a click selects the component under the pointer. The
// context menu holds the view's actions.

#include <QMatrix4x4>
#include <QOpenGLWidget>
#include <QPoint>
#include <QString>
#include <QVector3D>
#include <array>
#include <memory>
#include <utility>

#include "common/shp.h"
#include "common/mesh.h"

class QAction;

namespace ov::desktop {

class ModelViewWidget : public QOpenGLWidget {
    Q_OBJECT
    Q_PROPERTY(double zoom READ zoom WRITE setZoom NOTIFY zoomChanged)
    Q_PROPERTY(int selectedComponent READ selectedComponent WRITE setSelectedComponent NOTIFY
                   selectedComponentChanged)

public:
    // Zoom 1 shows the whole model; larger values come closer.
    static constexpr double kMinZoom = 0.05;
    static constexpr double kMaxZoom = 100.0;

    enum class Action {
        Wireframe,
        Boxes,
        Attachments,
        Normals,
        FrameAll,
        FrameSelected,
        SaveImage
    };
    static constexpr int kActionCount = 7;

    // Multisampling of views created from now on: 4x on graphics hardware, none
    // under a software renderer, unless set here (-1 restores the choice).
    static void setSampleCount(int samples);
    static int sampleCount();

    explicit ModelViewWidget(QWidget* parent = nullptr);
    ~ModelViewWidget() override;

    // Shows a model: builds its mesh now, uploads it at the next paint. The chain
    // is not kept. Keeps the selection when the model still has that component,
    // and the camera unless frame is set.
    void setModel(const shp::BlockChain& chain, bool frame = true);
    void setMesh(shp::RenderMesh mesh, bool frame = true);
    void clearModel();
    const shp::RenderMesh& mesh() const { return mesh_; }

    int selectedComponent() const { return selected_; }

    // One attachment and one box picked in an editor (component and record index;
    // -1 for none): drawn brighter and larger, whether their overlay is on or not.
    void setMarkedAttachment(int component, int index);
    void setMarkedBox(int component, int index);
    double zoom() const { return zoom_; }

    // The view's actions, for menus and tool bars: four check boxes (wireframe,
    // boxes, attachments, normals) and three commands.
    QAction* action(Action which) const { return actions_[size_t(which)]; }
    bool isOn(Action toggle) const;
    void setOn(Action toggle, bool on);

    // The component whose drawn triangle lies under a point of the widget, the
    // nearest one where several do; -1 for none.
    int componentAt(const QPoint& pos) const;
    // Where a ship-space point lands in the widget (device-independent pixels).
    QPointF project(const QVector3D& p) const;

    // Writes the view's picture as PNG through a temporary file. On failure returns
    // false and says why in *error.
    bool saveImage(const QString& path, QString* error = nullptr);
    // The file the picture is of (a model's path or name): "Save image" proposes
    // its name with ".png" beside it, or "model.png" without one.
    void setImageFile(const QString& suggested);
    QString suggestedImagePath() const;
    // A chosen name without ".png" gets it.
    static QString withPngExtension(const QString& path);

    // Empty while OpenGL 3.3 works; otherwise why the view cannot draw.
    QString glProblem() const { return glProblem_; }

public slots:
    void setSelectedComponent(int component);
    void setZoom(double zoom);
    void frameAll();
    void frameSelected();

signals:
    void zoomChanged(double zoom);
    void selectedComponentChanged(int component);
    // The user clicked the view: the component hit, or -1 on empty space.
    void componentClicked(int component);

protected:
    void initializeGL() override;
    void resizeGL(int w, int h) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    struct Gl;

    void createActions();
    void saveImageInteractively();
    // Centres the camera on b and zooms so that a sphere of `radius` fits.
    void frame(const shp::Bounds& b, float radius);
    QMatrix4x4 viewMatrix() const;
    QMatrix4x4 projectionMatrix() const;
    float distance() const;
    void releaseGl();
    void upload();
    void uploadLines();

    shp::RenderMesh mesh_;
    float modelRadius_ = 1.0f;
    QVector3D modelCentre_;
    bool meshDirty_ = true;
    bool linesDirty_ = true;
    std::pair<int, int> markedAttachment_{-1, -1};
    std::pair<int, int> markedBox_{-1, -1};

    int selected_ = -1;
    double zoom_ = 1.0;
    float yaw_ = 35.0f;    // degrees about the vertical axis
    float pitch_ = 20.0f;  // degrees above the horizon
    QVector3D target_;

    QPoint pressPos_;
    QPoint lastPos_;
    bool dragging_ = false;

    std::array<QAction*, kActionCount> actions_{};
    std::unique_ptr<Gl> gl_;
    QMetaObject::Connection contextGone_;
    QString glProblem_;
    QString imageFile_;
};

}  // namespace ov::desktop
