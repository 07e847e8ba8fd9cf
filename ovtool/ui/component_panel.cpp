#include "ovtool/ui/component_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QScopedValueRollback>

#include "common/ui/value_label.h"
#include "ovtool/ui/fields.h"
#include "ovtool/ui/vec3_editor.h"
#include "ovtool/workspace/model_workspace.h"

namespace ov::tool {

ComponentPanel::ComponentPanel(ModelWorkspace& workspace, QWidget* parent)
    : QGroupBox(tr("Component"), parent), ws_(workspace) {
    setObjectName("frameDetails");
    auto* form = new QFormLayout(this);

    name_ = new QLineEdit;
    name_->setObjectName("txtName");
    name_->setAccessibleName(tr("Name"));
    name_->setMaxLength(int(model::kMaxComponentName));
    name_->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[\\x20-\\x7E\\xA0-\\xFF]*")), name_));
    handUndoKeysToWindow(name_);
    form->addRow(tr("&Name:"), name_);
    connect(name_, &QLineEdit::editingFinished, this, [this] {
        if (filling_) return;
        if (!ws_.renameComponent(ws_.selection().component,
                                 name_->text().toLatin1().toStdString()))
            refresh();
    });

    kind_ = new QComboBox;
    kind_->setObjectName("cboKind");
    kind_->setAccessibleName(tr("Kind"));
    form->addRow(tr("&Kind:"), kind_);
    connect(kind_, &QComboBox::activated, this, [this](int index) {
        if (filling_ || index < 0) return;
        if (!ws_.setComponentKind(ws_.selection().component, kind_->itemData(index).toUInt()))
            refresh();
    });

    position_ = new Vec3Editor("txtPosition", tr("Position"));
    form->addRow(tr("Pos&ition:"), position_);
    connect(position_, &Vec3Editor::axisEdited, this, [this](int axis, float v) {
        if (!ws_.setPosition({PositionTarget::Kind::Component, ws_.selection().component, -1},
                             axis, v))
            refresh();
    });

    value212_ = valueField("txtValue212", tr("Value at 212"), [this](int k, uint32_t v) {
        return ws_.setComponentValue212(k, v);
    });
    value260_ = valueField("txtValue260", tr("Value at 260"), [this](int k, uint32_t v) {
        return ws_.setComponentValue260(k, v);
    });
    form->addRow(tr("Value at &212:"), value212_);
    form->addRow(tr("Value at 2&60:"), value260_);

    auto* switches = new QHBoxLayout;
    switch240_ = new QCheckBox(tr("S&witch at 240"));
    switch240_->setObjectName("chkSwitch240");
    switch240_->setAccessibleName(tr("Switch at 240"));
    connect(switch240_, &QCheckBox::clicked, this, [this](bool on) {
        if (!filling_ && !ws_.setComponentSwitch240(ws_.selection().component, on)) refresh();
    });
    block13_ = new QCheckBox(tr("Block&13"));
    block13_->setObjectName("chkBlock13");
    block13_->setAccessibleName(tr("Block13"));
    connect(block13_, &QCheckBox::clicked, this, [this](bool on) {
        if (!filling_ && !ws_.setBlock13(ws_.selection().component, on)) refresh();
    });
    // Its text names what it shows.
    block14_ = new desktop::ValueLabel(QString());
    block14_->setObjectName("lblBlock14");
    switches->addWidget(switch240_);
    switches->addWidget(block13_);
    switches->addWidget(block14_);
    switches->addStretch(1);
    form->addRow(switches);
    geometry_ = new desktop::ValueLabel(tr("Blocks"));
    geometry_->setObjectName("lblGeometry");
    geometry_->setWordWrap(true);
    form->addRow(geometry_);

    connect(&ws_, &ModelWorkspace::modelReset, this, &ComponentPanel::refresh);
    connect(&ws_, &ModelWorkspace::modelEdited, this, &ComponentPanel::refresh);
    connect(&ws_, &ModelWorkspace::selectionChanged, this, &ComponentPanel::refresh);
    refresh();
}

QLineEdit* ComponentPanel::valueField(const char* name, const QString& label,
                                      std::function<bool(int, uint32_t)> edit) {
    auto* field = numberField(name, label, this);
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("\\d{0,10}")), field));
    connect(field, &QLineEdit::editingFinished, this, [this, field, edit = std::move(edit)] {
        if (filling_) return;
        const auto v = parseU32(field->text());
        if (!v || !edit(ws_.selection().component, *v)) refresh();
    });
    return field;
}

void ComponentPanel::refresh() {
    const QScopedValueRollback guard(filling_, true);
    const model::Document& doc = ws_.document();
    const int k = ws_.selection().component;
    const bool shown = k >= 0;
    const auto fields = shown ? doc.componentFields(size_t(k)) : std::nullopt;
    const shp::ComponentSummary summary = shown ? doc.summary(size_t(k)) : shp::ComponentSummary{};
    const bool editable = fields && !doc.reducedComponentTable();

    name_->setText(fields ? fromBytes(fields->name) : QString());
    std::vector<std::pair<QString, uint32_t>> kinds;
    for (uint32_t v = 0; v < 4; ++v)
        kinds.emplace_back(fromBytes(shp::componentKindName(v)), v);
    fillValues(kind_, kinds, fields ? std::optional<uint32_t>(fields->kind) : std::nullopt,
               [](uint32_t v) { return shp::componentKindName(v); });
    position_->setValue(fields ? std::optional<shp::Vec3>(fields->position) : std::nullopt,
                        editable);
    value212_->setText(fields ? QString::number(fields->value212) : QString());
    value260_->setText(fields ? QString::number(fields->value260) : QString());
    switch240_->setChecked(fields && fields->switch240 != 0);
    block13_->setChecked(summary.block13.value_or(false));
    block13_->setEnabled(shown && summary.block13.has_value());
    block13_->setToolTip(shown && !summary.block13 ? tr("This component has no block13")
                                                   : QString());
    block14_->setValue(!shown            ? QString()
                      : summary.block14 ? tr("Block14: present")
                                        : tr("Block14: absent"));

    const QString reduced = fields && !editable ? tr("This ship uses a reduced version of "
                                                     "Block1: its component records are not "
                                                     "changed")
                                                : QString();
    for (QWidget* w : {static_cast<QWidget*>(name_), static_cast<QWidget*>(kind_),
                       static_cast<QWidget*>(value212_), static_cast<QWidget*>(value260_),
                       static_cast<QWidget*>(switch240_)}) {
        w->setEnabled(editable);
        w->setToolTip(reduced);
    }
    for (int i = 0; i < 3; ++i)
        position_->field(i)->setToolTip(reduced);

    if (!shown) {
        geometry_->setValue(QString());
        return;
    }
    auto count = [](const std::optional<size_t>& n) {
        return n ? QString::number(*n) : tr("missing");
    };
    geometry_->setValue(tr("Vertices: %1, faces: %2, textures: %3, boxes: %4")
                           .arg(count(summary.vertices), count(summary.faces),
                                count(summary.textures), count(summary.boxes)));
}

}  // namespace ov::tool
