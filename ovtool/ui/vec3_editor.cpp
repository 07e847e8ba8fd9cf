#include "ovtool/ui/vec3_editor.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <bit>

#include "ovtool/ui/fields.h"

namespace ov::tool {

namespace {

float axisOf(const shp::Vec3& v, int axis) {
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

}  // namespace

Vec3Editor::Vec3Editor(const QString& objectPrefix, const QString& label, QWidget* parent)
    : QWidget(parent) {
    setObjectName(objectPrefix);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    const char* axes[3] = {"X", "Y", "Z"};
    for (int i = 0; i < 3; ++i) {
        const QString name = objectPrefix + QLatin1String(axes[i]);
        fields_[i] = numberField(qPrintable(name), label + ' ' + QString(axes[i]).toLower(), this);
        row->addWidget(fields_[i]);
        connect(fields_[i], &QLineEdit::editingFinished, this, [this, i] { finished(i); });
    }
    // Its label's mnemonic lands on x (a label gives focus only to a widget that takes it).
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(fields_[0]);
    setValue(std::nullopt);
}

void Vec3Editor::setValue(std::optional<shp::Vec3> value, bool editable) {
    const QScopedValueRollback guard(filling_, true);
    value_ = value;
    for (int i = 0; i < 3; ++i) {
        fields_[i]->setText(value ? floatText(axisOf(*value, i)) : QString());
        fields_[i]->setEnabled(value && editable);
    }
}

void Vec3Editor::finished(int axis) {
    if (filling_ || !value_) return;
    const auto v = parseFloat(fields_[axis]->text());
    if (!v) {
        setValue(value_, fields_[axis]->isEnabled());
        return;
    }
    // A field left as shown is no edit.
    if (std::bit_cast<uint32_t>(*v) == std::bit_cast<uint32_t>(axisOf(*value_, axis))) return;
    emit axisEdited(axis, *v);
}

}  // namespace ov::tool
