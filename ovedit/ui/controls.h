#pragma once
// Controls made the way every OVEdit tab makes them: an object name for tools and
// tests, and an accessible name for screen readers.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QValidator>

namespace ov::edit {

inline QPushButton* makeButton(QWidget* parent, const char* name, const QString& text,
                               const QString& accessible = {}) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAccessibleName(accessible.isEmpty() ? QString(text).remove('&') : accessible);
    return b;
}

inline QLabel* makeLabel(QWidget* parent, const char* name, const QString& accessible) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setAccessibleName(accessible);
    l->setTextFormat(Qt::PlainText);
    return l;
}

inline QLineEdit* makeTextBox(QWidget* parent, const char* name, const QString& accessible) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    e->setAccessibleName(accessible);
    return e;
}

// A caption for a control, with its mnemonic leading to it.
inline QLabel* makeCaption(QWidget* parent, const QString& text, QWidget* buddy) {
    auto* l = new QLabel(text, parent);
    l->setBuddy(buddy);
    return l;
}

// Entry names are stored one byte per character: only Latin-1 characters, and no
// zero, can be typed.
class Latin1Validator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        for (QChar c : input)
            if (c.unicode() > 0xFF || c.unicode() == 0) return Invalid;
        return Acceptable;
    }
};

}  // namespace ov::edit
