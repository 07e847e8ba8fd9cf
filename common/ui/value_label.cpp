#include "common/ui/value_label.h"

namespace ov::desktop {

ValueLabel::ValueLabel(const QString& caption, QWidget* parent) : QLabel(parent), caption_(caption) {
    setTextFormat(Qt::PlainText);
    updateName();
}

void ValueLabel::setValue(const QString& value) {
    setText(value);
    updateName();
}

void ValueLabel::setCaption(const QString& caption) {
    caption_ = caption;
    updateName();
}

void ValueLabel::updateName() {
    const QString shown = text().simplified();
    if (caption_.isEmpty())
        setAccessibleName(shown);
    else
        setAccessibleName(shown.isEmpty() ? caption_ : caption_ + QStringLiteral(": ") + shown);
}

}  // namespace ov::desktop
