#pragma once
// A label that shows a value: a size, a count, a summary, a status line.
//
// Assistive technology reads a label's accessible name; a label given one to say
// what it is ("Number of files") would read the same whatever it shows. A
// ValueLabel keeps its accessible name as "caption: value", so a screen reader
// reads "Number of files: 16 file(s)", and tells listeners when it changes.

#include <QLabel>
#include <QString>

namespace ov::desktop {

class ValueLabel : public QLabel {
    Q_OBJECT
public:
    explicit ValueLabel(const QString& caption, QWidget* parent = nullptr);

    // Shows `value` (plain text) and names the label "caption: value"; with an
    // empty value the name is the caption alone.
    void setValue(const QString& value);
    QString value() const { return text(); }

    QString caption() const { return caption_; }
    void setCaption(const QString& caption);

private:
    void updateName();

    QString caption_;
};

}  // namespace ov::desktop
