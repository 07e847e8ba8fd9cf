#pragma once
// Three number fields for one position (x, y, z) in a row. Each field is named
// prefix + "X", "Y" or "Z" and read aloud as "<label> x" and so on. A finished
// edit that reads as a float is announced by axis; any other text is put back.

#include <QWidget>
#include <optional>

#include "common/shp.h"

class QLineEdit;

namespace ov::tool {

class Vec3Editor : public QWidget {
    Q_OBJECT

public:
    Vec3Editor(const QString& objectPrefix, const QString& label, QWidget* parent = nullptr);

    // Shows a value, or empty fields without one. The fields are editable when
    // there is a value and `editable` holds.
    void setValue(std::optional<shp::Vec3> value, bool editable = true);
    QLineEdit* field(int axis) const { return fields_[axis]; }

signals:
    void axisEdited(int axis, float value);

private:
    void finished(int axis);

    QLineEdit* fields_[3] = {};
    std::optional<shp::Vec3> value_;
    bool filling_ = false;
};

}  // namespace ov::tool
