#pragma once
// What the panels share to show and read a model's values: record bytes as text,
// floats that read back bit for bit, and combo boxes of named values.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QComboBox;
class QLineEdit;
class QWidget;

namespace ov::tool {

// Names are bytes in the file; Latin-1 shows each byte as one character and
// turns it back into the same byte.
QString fromBytes(const std::string& s);

// The shortest text that reads back as the same float, so that a field left as
// shown changes nothing.
QString floatText(float v);
std::optional<float> parseFloat(const QString& text);
std::optional<uint32_t> parseU32(const QString& text);

// "[Value = %d]": a value that none of a list's names stands for.
std::string valueText(uint32_t v);

// Fills a combo box with (name, value) items and picks `value`, adding it as
// other(value) when it is none of them; nothing picked without a value.
void fillValues(QComboBox* box, const std::vector<std::pair<QString, uint32_t>>& items,
                std::optional<uint32_t> value, const std::function<std::string(uint32_t)>& other);

// A field whose text becomes a model edit when editing finishes. The undo and redo
// keys (Ctrl+Z, Ctrl+Shift+Z, Ctrl+Y) are not the field's own: they finish the
// edit in progress, then reach the window, whose Undo and Redo act on the model.
QLineEdit* numberField(const char* name, const QString& accessible, QWidget* parent);
void handUndoKeysToWindow(QLineEdit* field);

}  // namespace ov::tool
