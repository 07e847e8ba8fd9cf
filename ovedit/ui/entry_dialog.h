#pragma once
// The small dialog the hog tab's edits ask through: the entry name for a dropped
// file (and whether to pack it), the file that replaces an entry (and whether to
// pack it), or an entry's new name.
//
// The dialog checks and takes nothing itself. The name is checked as it is typed
// through the check function it is given (the edit plan's own check, so the reason
// shown is the library's), and OK hands the dialog to its submit function, which
// takes the step and says why it refuses; the dialog closes only when the step was
// taken.

#include <QDialog>
#include <functional>

class QCheckBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ov::edit {

class EntryDialog : public QDialog {
    Q_OBJECT

public:
    enum class Mode { Add, Replace, Rename };
    // Returns why a name or a step is refused, or an empty text.
    using Check = std::function<QString(const QString& name)>;
    using Submit = std::function<QString(const EntryDialog& dialog)>;

    // Add: `name` is the suggested entry name, `file` the dropped file. Replace:
    // `name` is the entry's, `file` empty (or a suggestion). Rename: `name` the
    // entry's present name.
    EntryDialog(Mode mode, const QString& name, const QString& file, bool pack, Check check,
                Submit submit, QWidget* parent = nullptr);

    Mode mode() const { return mode_; }
    QString entryName() const;
    QString file() const;
    bool pack() const;

    QLineEdit* nameBox() const { return txtEntryName_; }
    QLineEdit* fileBox() const { return txtEntryFile_; }
    QCheckBox* packBox() const { return chkPackEntry_; }
    // Why the name or the step is refused; hidden while nothing is.
    QLabel* problemLabel() const { return lblEntryProblem_; }
    QPushButton* okButton() const { return cmdEntryOk_; }

private:
    void checkName();
    void browse();
    void submit();
    void showProblem(const QString& text);

    Mode mode_;
    QString originalName_;
    QString file_;  // the dropped file (Add)
    Check check_;
    Submit submit_;
    QLineEdit* txtEntryName_ = nullptr;
    QLineEdit* txtEntryFile_ = nullptr;
    QPushButton* cmdBrowseEntryFile_ = nullptr;
    QCheckBox* chkPackEntry_ = nullptr;
    QLabel* lblEntryProblem_ = nullptr;
    QPushButton* cmdEntryOk_ = nullptr;
    QPushButton* cmdEntryCancel_ = nullptr;
};

}  // namespace ov::edit
