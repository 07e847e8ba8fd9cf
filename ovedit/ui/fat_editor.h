#pragma once
// FAT_Editor: one FAT entry's name, offset and size in three text boxes. The
// dialog writes nothing itself: cmdSave hands the texts to the save function it was
// given (the archive library's saveEntry, which checks them and says why it refuses)
// and closes only when that succeeded; cmdCancel closes without writing.

#include <QDialog>
#include <functional>

class QLineEdit;
class QPushButton;

namespace ov::edit {

class FatEditor : public QDialog {
    Q_OBJECT

public:
    using SaveFunction =
        std::function<bool(const QString& name, const QString& offsetHex, const QString& sizeHex)>;

    // Fills the boxes (Form_Load): the name, and offset and size in hexadecimal.
    FatEditor(const QString& name, const QString& offsetHex, const QString& sizeHex,
              SaveFunction save, QWidget* parent = nullptr);

    QLineEdit* nameBox() const { return name_; }
    QLineEdit* offsetBox() const { return offset_; }
    QLineEdit* sizeBox() const { return size_; }

private:
    void save();

    QLineEdit* name_ = nullptr;
    QLineEdit* offset_ = nullptr;
    QLineEdit* size_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    SaveFunction saveFunction_;
};

}  // namespace ov::edit
