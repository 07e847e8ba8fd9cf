#include "ovtool/ui/view_panel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <cmath>

#include "common/ui/model_view.h"
#include "common/ui/value_label.h"
#include "ovtool/workspace/model_workspace.h"

namespace ov::tool {

using desktop::ModelViewWidget;

namespace {

// The zoom slider moves in hundredths of a doubling, so that every step looks alike.
int sliderPosition(double zoom) {
    return int(std::lround(100.0 * std::log2(zoom)));
}
double sliderZoom(int position) {
    return std::exp2(position / 100.0);
}

}  // namespace

ViewPanel::ViewPanel(ModelWorkspace& workspace, QWidget* parent)
    : QWidget(parent), ws_(workspace) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new ModelViewWidget;
    layout->addWidget(view_, 1);
    auto* zoomRow = new QHBoxLayout;
    zoomRow->setContentsMargins(6, 0, 6, 4);
    auto* zoomCaption = new QLabel(tr("&Zoom:"));
    zoomSlider_ = new QSlider(Qt::Horizontal);
    zoomSlider_->setObjectName("sldZoom");
    zoomSlider_->setAccessibleName(tr("Zoom"));
    zoomSlider_->setRange(sliderPosition(ModelViewWidget::kMinZoom),
                          sliderPosition(ModelViewWidget::kMaxZoom));
    zoomSlider_->setPageStep(50);
    zoomCaption->setBuddy(zoomSlider_);
    zoomLabel_ = new desktop::ValueLabel(tr("Zoom"));
    zoomLabel_->setObjectName("lblZoom");
    zoomLabel_->setMinimumWidth(zoomLabel_->fontMetrics().horizontalAdvance("10000%"));
    zoomRow->addWidget(zoomCaption);
    zoomRow->addWidget(zoomSlider_, 1);
    zoomRow->addWidget(zoomLabel_);
    layout->addLayout(zoomRow);
    // Slider and view move each other through their signals; the blocker keeps the
    // slider's rounding from feeding back into the view.
    connect(zoomSlider_, &QSlider::valueChanged, this,
            [this](int position) { view_->setZoom(sliderZoom(position)); });
    connect(view_, &ModelViewWidget::zoomChanged, this, &ViewPanel::syncZoomSlider);
    connect(view_, &ModelViewWidget::componentClicked, &ws_, &ModelWorkspace::selectComponent);
    syncZoomSlider(view_->zoom());

    connect(&ws_, &ModelWorkspace::modelReset, this, [this] { showModel(true); });
    connect(&ws_, &ModelWorkspace::modelEdited, this, [this] { showModel(false); });
    connect(&ws_, &ModelWorkspace::selectionChanged, this, &ViewPanel::showSelection);
    connect(&ws_, &ModelWorkspace::fileStateChanged, this,
            [this] { view_->setImageFile(ws_.suggestedPath()); });
    showModel(true);
}

void ViewPanel::showModel(bool frame) {
    if (ws_.loaded())
        view_->setModel(ws_.document().chain(), frame);
    else
        view_->clearModel();
    view_->setImageFile(ws_.suggestedPath());
    showSelection();
    emit summaryChanged(summary());
}

void ViewPanel::showSelection() {
    const Selection s = ws_.selection();
    view_->setSelectedComponent(s.component);
    view_->setMarkedAttachment(s.component, s.attachment);
    view_->setMarkedBox(s.component, s.box);
}

QString ViewPanel::summary() const {
    if (!ws_.loaded()) return {};
    const shp::RenderMesh& mesh = view_->mesh();
    auto count = [](size_t n, const QString& one, const QString& many) {
        return QString::number(n) + ' ' + (n == 1 ? one : many);
    };
    QString text = count(ws_.document().componentCount(), tr("component"), tr("components")) +
                   ", " + count(mesh.triangleCount(), tr("triangle"), tr("triangles"));
    if (const size_t skipped = mesh.skippedFaces())
        text += ", " + count(skipped, tr("faulty face"), tr("faulty faces")) + tr(" not drawn");
    if (ws_.document().wasPacked()) text += ", " + tr("opened packed, saved unpacked");
    return text;
}

void ViewPanel::syncZoomSlider(double zoom) {
    {
        const QSignalBlocker block(zoomSlider_);
        zoomSlider_->setValue(sliderPosition(zoom));
    }
    const QString percent = QStringLiteral("%1%").arg(std::lround(zoom * 100.0));
    zoomLabel_->setValue(percent);
    // The slider's own value is a step of its scale, which means nothing read aloud.
    zoomSlider_->setAccessibleDescription(percent);
}

}  // namespace ov::tool
