#pragma once
// The selected component's record fields (name, kind, position, the values at 212
// and 260, the switch at 240), its block13 and what its blocks hold. Records of a
// reduced component table are shown but not editable.

#include <QGroupBox>
#include <cstdint>
#include <functional>

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace ov::desktop {
class ValueLabel;
}

namespace ov::tool {

class ModelWorkspace;
class Vec3Editor;

class ComponentPanel : public QGroupBox {
    Q_OBJECT

public:
    explicit ComponentPanel(ModelWorkspace& workspace, QWidget* parent = nullptr);

private:
    void refresh();
    QLineEdit* valueField(const char* name, const QString& label,
                          std::function<bool(int, uint32_t)> edit);

    ModelWorkspace& ws_;
    bool filling_ = false;
    QLineEdit* name_ = nullptr;
    QComboBox* kind_ = nullptr;
    Vec3Editor* position_ = nullptr;
    QLineEdit* value212_ = nullptr;
    QLineEdit* value260_ = nullptr;
    QCheckBox* switch240_ = nullptr;
    QCheckBox* block13_ = nullptr;
    desktop::ValueLabel* block14_ = nullptr;
    desktop::ValueLabel* geometry_ = nullptr;
};

}  // namespace ov::tool
