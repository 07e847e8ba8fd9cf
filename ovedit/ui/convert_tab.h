#pragma once
// The 3DS conversion tab: a .3ds model (browsed for or dropped), the texture name
// and the SHP to write, converted by the 3ds2ov library; the lines the library
// prints and its result code with its meaning; then the new model opened in OVTool
// or checked with the model document's validity tests.
//
// A glTF, OBJ, FBX or other mesh the interchange library reads is converted by
// that library instead, as the job runner's work: an exported ship comes back as
// it went out, any other mesh becomes a new ship. The texture name, when given,
// names the texture of every face; left empty, the materials name them.
//
// The library runs in a helper process (ovedit/convert/converter_helper.h): this
// program started again with the helper option binds the library by file name and
// export name and makes the one call. The helper is run and read as the job
// runner's work, off this thread: the lines the library prints show as they come,
// the progress window's Cancel (or Stop) ends the helper, and every message about
// the result comes once the progress window has closed.

#include <QWidget>
#include <optional>
#include <string>

#include "common/report.h"
#include "common/ui/value_label.h"

class QLabel;
class QLineEdit;
class QListView;
class QPlainTextEdit;
class QPushButton;
class QSettings;
class QStringListModel;

namespace ov::desktop {
class JobRunner;
class QtReporter;
}

namespace ov::edit {

class ConvertTab : public QWidget {
    Q_OBJECT

public:
    explicit ConvertTab(desktop::QtReporter& reporter, QWidget* parent = nullptr);
    ~ConvertTab() override;

    // Whether the tab converts `path`: a .3ds model, or a mesh of a format the
    // interchange library reads (glTF, OBJ and the others), by its extension. A
    // build that reads only glTF takes the others too, and says so on converting.
    static bool converts(const QString& path);

    // Takes a .3ds file as the source; the destination follows it (NAME.shp beside
    // it) until the user types one of their own.
    void setSource(const QString& path);
    QString source() const;
    void setTexture(const QString& name);
    void setDestination(const QString& path);
    QString destination() const;

    // Starts a conversion (Convert); false when it could not be started.
    bool convert();
    // Ends a running conversion.
    void stop();
    bool isBusy() const;
    // Waits (running the event loop) until a running conversion ends; false on
    // time-out.
    bool waitForConversion(int timeoutMs);

    // The last conversion: its result code, or nothing when the library was not
    // called (or none ran yet).
    std::optional<int> lastResultCode() const { return lastCode_; }
    QString output() const;
    // The problems Check found, one line each.
    QStringList problems() const;

    bool checkModel();
    bool openInTool();

    // The program run as the helper (this program unless set), the converter
    // library given to it (empty: the helper looks for it), and OVTool.
    void setHelperProgram(const QString& program) { helperProgram_ = program; }
    void setConverterLibrary(const QString& file) { library_ = file; }
    QString converterLibrary() const { return library_; }
    void setToolProgram(const QString& program) { toolProgram_ = program; }

    QLabel* statusLabel() const { return lblConvertStatus_; }

    void readSettings(const QSettings& settings);
    void writeSettings(QSettings& settings) const;

signals:
    void conversionFinished(bool converted);
    void busyChanged(bool busy);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createControls();
    void refreshCommands();
    void sourceTextChanged(const QString& text);
    void destinationTextChanged(const QString& text);
    void setOwnText(QLineEdit* box, const QString& text);
    void browseSource();
    void browseDestination();
    struct Run;
    void finished(const Run& run);
    struct MeshRun;
    bool convertMesh(const QString& source, const QString& texture, const QString& destination);
    void meshFinished(const MeshRun& run);
    void endRun(bool converted, const std::string& problem, ov::Icon icon);
    void showOutput(const QString& text);
    void setStatus(const QString& text);

    desktop::QtReporter& reporter_;
    QString helperProgram_;
    QString library_;
    QString toolProgram_;
    desktop::JobRunner* runner_ = nullptr;
    QString runDestination_;
    bool destinationTyped_ = false;
    bool settingTexts_ = false;  // the tab fills its own boxes
    std::optional<int> lastCode_;
    QString converted_;  // the SHP the last good conversion wrote

    QLineEdit* txt3dsPath_ = nullptr;
    QPushButton* cmdBrowse3ds_ = nullptr;
    QLineEdit* txtTextureName_ = nullptr;
    QLineEdit* txtShpPath_ = nullptr;
    QPushButton* cmdBrowseShp_ = nullptr;
    QPushButton* cmdConvert_ = nullptr;
    QPushButton* cmdStopConvert_ = nullptr;
    QPlainTextEdit* txtConvertLog_ = nullptr;
    desktop::ValueLabel* lblConvertResult_ = nullptr;
    QPushButton* cmdOpenConverted_ = nullptr;
    QPushButton* cmdCheckConverted_ = nullptr;
    QListView* lstProblems_ = nullptr;
    QStringListModel* problems_ = nullptr;
    desktop::ValueLabel* lblConvertStatus_ = nullptr;
};

}  // namespace ov::edit
