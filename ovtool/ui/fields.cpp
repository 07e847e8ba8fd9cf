#include "ovtool/ui/fields.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <bit>
#include <cmath>

namespace ov::tool {

QString fromBytes(const std::string& s) {
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

QString floatText(float v) {
    const QLocale c = QLocale::c();
    for (int precision = 6; precision <= 9; ++precision) {
        const QString s = c.toString(v, 'g', precision);
        bool ok = false;
        const float back = c.toFloat(s, &ok);
        if (ok && std::bit_cast<uint32_t>(back) == std::bit_cast<uint32_t>(v)) return s;
    }
    return c.toString(v, 'g', 9);
}

std::optional<float> parseFloat(const QString& text) {
    bool ok = false;
    const float v = QLocale::c().toFloat(text.trimmed(), &ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<uint32_t> parseU32(const QString& text) {
    bool ok = false;
    const qulonglong v = text.trimmed().toULongLong(&ok, 10);
    if (!ok || v > 0xFFFFFFFFull) return std::nullopt;
    return uint32_t(v);
}

std::string valueText(uint32_t v) {
    return "[Value = " + std::to_string(v) + "]";
}

void fillValues(QComboBox* box, const std::vector<std::pair<QString, uint32_t>>& items,
                std::optional<uint32_t> value, const std::function<std::string(uint32_t)>& other) {
    const QSignalBlocker block(box);
    box->clear();
    for (const auto& [name, v] : items)
        box->addItem(name, QVariant::fromValue(v));
    if (!value) {
        box->setCurrentIndex(-1);
        return;
    }
    int at = box->findData(QVariant::fromValue(*value));
    if (at < 0) {
        box->addItem(fromBytes(other(*value)), QVariant::fromValue(*value));
        at = box->count() - 1;
    }
    box->setCurrentIndex(at);
}

namespace {

bool isUndoKey(const QKeyEvent* e) {
    const QKeyCombination key = e->keyCombination();
    return e->matches(QKeySequence::Undo) || e->matches(QKeySequence::Redo) ||
           key == QKeyCombination(Qt::CTRL, Qt::Key_Y) ||
           key == QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_Z);
}

class UndoKeysFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride) return false;
        auto* field = qobject_cast<QLineEdit*>(watched);
        if (!field || !isUndoKey(static_cast<QKeyEvent*>(event))) return false;
        // A value typed and not yet taken becomes a step first, so that Undo
        // takes back what the user sees changed.
        if (field->isModified()) {
            field->setModified(false);
            emit field->editingFinished();
        }
        // Not accepted: the key goes on to the window's shortcut.
        event->ignore();
        return true;
    }
};

}  // namespace

void handUndoKeysToWindow(QLineEdit* field) {
    field->installEventFilter(new UndoKeysFilter(field));
}

QLineEdit* numberField(const char* name, const QString& accessible, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setAccessibleName(accessible);
    handUndoKeysToWindow(e);
    return e;
}

}  // namespace ov::tool
