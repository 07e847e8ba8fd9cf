#pragma once
// The preview pane beside the hog tab's list: the current entry as text, as a hex
// dump, as an image or, for ship models, in the 3D view.
//
// What to show is worked out on a worker thread (buildPreview: reading, unpacking,
// decoding the image or the model), so a large entry never holds up the list; the
// pane only puts the result on screen. While one preview is being built, a newer
// request waits and older ones are dropped, so holding an arrow key down does not
// pile up work.

#include <QFutureWatcher>
#include <QImage>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>

#include "ovedit/archive/hog.h"
#include "common/mesh.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QStackedWidget;

namespace ov::desktop {
class ModelViewWidget;
class ValueLabel;
}

namespace ov::edit {

// The hex dump shows at most this many bytes from the start of an entry.
inline constexpr size_t kPreviewHexBytes = 64 * 1024;
// Text shows at most this much.
inline constexpr size_t kPreviewTextBytes = 1024 * 1024;
// Images and models are read whole up to this size; larger ones show as hex.
inline constexpr size_t kPreviewWholeBytes = 32 * 1024 * 1024;

struct PreviewOptions {
    bool hex = false;          // a hex dump whatever the entry holds
    bool storedBytes = false;  // the bytes as stored, even when the entry is packed
};

struct PreviewContent {
    enum class Kind { Message, Text, Hex, Image, Model };
    Kind kind = Kind::Message;
    QString heading;  // the entry's name
    QString details;  // sizes, packing and what is shown
    QString text;     // Message, Text and Hex
    QImage image;
    std::optional<shp::RenderMesh> mesh;
    bool packed = false;  // the stored-bytes switch applies
};

// What the pane shows for an entry. Reads only what it shows (the first bytes for
// a hex dump, the whole entry up to kPreviewWholeBytes for images and models);
// packed entries are unpacked unless options.storedBytes. Never fails: a problem
// becomes a message or a note in `details`. Safe on any thread, on hostile data.
PreviewContent buildPreview(const archive::HogArchive& archive, const archive::HogEntry& entry,
                            PreviewOptions options);

// Lines of "OFFSET  16 hex bytes  |characters|" for the bytes given.
QString hexDump(ByteSpan bytes, uint64_t startOffset = 0);

class HogPreview : public QWidget {
    Q_OBJECT

public:
    explicit HogPreview(QWidget* parent = nullptr);
    ~HogPreview() override;

    // Previews the entry at `row` of the archive (kept alive while it is read).
    void showEntry(std::shared_ptr<const archive::HogArchive> archive, int row);
    void clear();
    // True while a preview is being built.
    bool isBusy() const;
    const PreviewContent& content() const { return shown_; }

signals:
    // A preview has been put on screen.
    void previewShown();

private:
    void dropModelView();
    struct Request {
        std::shared_ptr<const archive::HogArchive> archive;
        int row = -1;
    };
    void start(Request request);
    void finished();
    void present(PreviewContent content);
    void showMessage(const QString& text);
    desktop::ModelViewWidget* modelView();

    desktop::ValueLabel* heading_ = nullptr;
    desktop::ValueLabel* details_ = nullptr;
    QCheckBox* hex_ = nullptr;
    QCheckBox* stored_ = nullptr;
    QStackedWidget* pages_ = nullptr;
    desktop::ValueLabel* message_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QPlainTextEdit* hexText_ = nullptr;
    QWidget* image_ = nullptr;
    desktop::ModelViewWidget* model_ = nullptr;  // made when a model is shown

    QFutureWatcher<PreviewContent> watcher_;
    Request current_;
    std::optional<Request> pending_;
    PreviewContent shown_;
};

}  // namespace ov::edit
