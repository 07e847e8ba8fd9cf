#pragma once
// The 3D view of the workspace's model with its zoom slider: shows the model,
// the selected component and the picked attachment and box; a click in the view
// selects a component.

#include <QWidget>

class QSlider;

namespace ov::desktop {
class ModelViewWidget;
class ValueLabel;
}

namespace ov::tool {

class ModelWorkspace;

class ViewPanel : public QWidget {
    Q_OBJECT

public:
    explicit ViewPanel(ModelWorkspace& workspace, QWidget* parent = nullptr);

    desktop::ModelViewWidget* view() const { return view_; }
    // What the view draws, for a status line: components, triangles, faulty faces.
    QString summary() const;

signals:
    void summaryChanged(const QString& text);

private:
    void showModel(bool frame);
    void showSelection();
    void syncZoomSlider(double zoom);

    ModelWorkspace& ws_;
    desktop::ModelViewWidget* view_ = nullptr;
    QSlider* zoomSlider_ = nullptr;
    desktop::ValueLabel* zoomLabel_ = nullptr;
};

}  // namespace ov::tool
