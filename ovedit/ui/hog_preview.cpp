#include "ovedit/ui/hog_preview.h"

#include <QBuffer>
#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QStringDecoder>
#include <QVBoxLayout>
#include <QtConcurrent>
#include <algorithm>
#include <cmath>

#include "common/shp_model.h"
#include "ovedit/ui/ui_text.h"
#include "common/ui/model_view.h"
#include "common/ui/value_label.h"

namespace ov::edit {

using archive::HogArchive;
using archive::HogEntry;

namespace {

std::string lowerType(std::string_view name) {
    std::string t = archive::fileType(name);
    for (char& c : t)
        if (c >= 'A' && c <= 'Z') c = char(c + 32);
    return t;
}

bool isTextType(const std::string& type) {
    static const char* const kTypes[] = {"txt",  "ini",  "cfg", "csv", "log", "xml", "htm",
                                         "html", "json", "md",  "bat", "cmd", "lst", "inf"};
    return std::any_of(std::begin(kTypes), std::end(kTypes),
                       [&](const char* t) { return type == t; });
}

// Text has no zero bytes and hardly any other control characters.
bool looksLikeText(ByteSpan bytes) {
    if (bytes.empty()) return false;
    size_t odd = 0;
    for (uint8_t b : bytes) {
        if (b == 0) return false;
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != 0x1A) ++odd;
    }
    return odd * 100 <= bytes.size();
}

QString decodeText(ByteSpan bytes) {
    const QByteArrayView view(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(view);
    if (!utf8.hasError()) return s;
    return QString::fromLatin1(view);
}

// A text view lays out a line of a million characters for minutes, whatever it
// wraps: lines longer than this are cut, with a mark saying how much was left out.
constexpr qsizetype kPreviewLineChars = 2000;

QString cutLongLines(const QString& text, qsizetype& linesCut) {
    linesCut = 0;
    QString out;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        const qsizetype next = end < 0 ? text.size() : end + 1;
        if (end < 0) end = text.size();
        if (end - start <= kPreviewLineChars) {
            out += QStringView(text).mid(start, next - start);
        } else {
            ++linesCut;
            out += QStringView(text).mid(start, kPreviewLineChars);
            out += QStringLiteral(" [... %1 more characters]").arg(end - start - kPreviewLineChars);
            if (next > end) out += QLatin1Char('\n');
        }
        start = next;
    }
    return out;
}

// Image formats recognised from the bytes even when the name does not say so.
bool isCommonImageFormat(const QByteArray& format) {
    return format == "png" || format == "jpeg" || format == "gif" || format == "bmp";
}

// The format Qt would read the bytes as: by the entry's type when Qt knows it,
// else by content among the common formats. Empty when it is no image.
QByteArray imageFormatOf(ByteSpan head, const std::string& type) {
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(head.data()), qsizetype(head.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray byContent = QImageReader::imageFormat(&buffer);
    if (!type.empty() && QImageReader::supportedImageFormats().contains(QByteArray(type.c_str())))
        return byContent.isEmpty() ? QByteArray(type.c_str()) : byContent;
    return isCommonImageFormat(byContent) ? byContent : QByteArray();
}

QString bytesText(uint64_t n) {
    return QStringLiteral("%1 bytes").arg(groupedNumber(n));
}

}  // namespace

QString hexDump(ByteSpan bytes, uint64_t startOffset) {
    static const char digits[] = "0123456789ABCDEF";
    QString out;
    out.reserve(qsizetype((bytes.size() / 16 + 1) * 78));
    for (size_t line = 0; line < bytes.size(); line += 16) {
        const uint64_t at = startOffset + line;
        for (int shift = 28; shift >= 0; shift -= 4)
            out += QLatin1Char(digits[(at >> shift) & 15]);
        out += QLatin1String("  ");
        const size_t n = std::min<size_t>(16, bytes.size() - line);
        for (size_t i = 0; i < 16; ++i) {
            if (i == 8) out += QLatin1Char(' ');
            if (i < n) {
                const uint8_t b = bytes[line + i];
                out += QLatin1Char(digits[b >> 4]);
                out += QLatin1Char(digits[b & 15]);
                out += QLatin1Char(' ');
            } else {
                out += QLatin1String("   ");
            }
        }
        out += QLatin1String(" |");
        for (size_t i = 0; i < n; ++i) {
            const uint8_t b = bytes[line + i];
            out += QLatin1Char(b >= 0x20 && b < 0x7F ? char(b) : '.');
        }
        out += QLatin1String("|\n");
    }
    return out;
}

PreviewContent buildPreview(const HogArchive& archive, const HogEntry& entry,
                            PreviewOptions options) {
    PreviewContent c;
    c.heading = fromEntryName(entry.name);
    QString details = bytesText(entry.size) + QStringLiteral(" stored");
    auto message = [&](const QString& text) {
        c.kind = PreviewContent::Kind::Message;
        c.text = text;
        c.details = details;
        return c;
    };
    auto hex = [&](ByteSpan bytes, uint64_t total, const QString& note) {
        c.kind = PreviewContent::Kind::Hex;
        c.text = hexDump(bytes.subspan(0, std::min(bytes.size(), kPreviewHexBytes)));
        if (total > kPreviewHexBytes)
            details += QStringLiteral("; the first %1 shown").arg(bytesText(kPreviewHexBytes));
        if (!note.isEmpty()) details += QStringLiteral("; ") + note;
        c.details = details;
        return c;
    };

    auto head = archive.readHead(entry, kPreviewHexBytes);
    if (!head) return message(fromUtf8(head.error().describe()));
    const archive::PackInfo info = archive::packInfoOf(*head);
    c.packed = info.packed;
    if (entry.size == 0) return message(QStringLiteral("This entry is empty."));

    // The entry's content: unpacked when packed, else as stored. `whole` says whether
    // it is all there or only its first bytes.
    Bytes content;
    bool whole = entry.size <= head->size();
    if (info.packed && options.storedBytes)
        return hex(*head, entry.size, QStringLiteral("packed, shown as stored"));
    if (info.packed) {
        Result<Bytes> raw =
            whole ? Result<Bytes>(std::move(*head)) : archive.readHead(entry, kPreviewWholeBytes);
        if (!raw) return message(fromUtf8(raw.error().describe()));
        auto plain = archive::unpackItem(*raw);
        if (!plain)
            return hex(*raw, entry.size,
                       QStringLiteral("packed, but it does not unpack (%1), shown as stored")
                           .arg(fromUtf8(plain.error().describe())));
        content = std::move(*plain);
        whole = true;
        details += QStringLiteral(", packed: %1 unpacked").arg(bytesText(content.size()));
    } else {
        content = std::move(*head);
    }
    const uint64_t contentSize = info.packed ? content.size() : entry.size;
    if (options.hex) return hex(content, contentSize, {});

    // Reads the rest of a plain entry, up to `limit` bytes.
    auto readMore = [&](size_t limit) -> bool {
        if (whole || content.size() >= limit) return true;
        auto more = archive.readHead(entry, limit);
        if (!more) return false;
        content = std::move(*more);
        whole = entry.size <= content.size();
        return true;
    };

    const std::string type = lowerType(entry.name);
    if (type == "shp") {
        if (contentSize > kPreviewWholeBytes)
            return hex(content, contentSize, QStringLiteral("too large to show as a model"));
        if (!readMore(kPreviewWholeBytes)) return hex(content, contentSize, {});
        auto model = shp::readModel(content);
        if (!model)
            return hex(content, contentSize,
                       QStringLiteral("not a model that can be shown: %1")
                           .arg(fromUtf8(model.error().describe())));
        c.kind = PreviewContent::Kind::Model;
        c.mesh = shp::buildRenderMesh(model->chain);
        details += QStringLiteral("; %1 component(s), %2 triangle(s)")
                       .arg(c.mesh->components.size())
                       .arg(c.mesh->triangleCount());
        if (c.mesh->skippedFaces() > 0)
            details += QStringLiteral(", %1 faulty face(s) not drawn").arg(c.mesh->skippedFaces());
        c.details = details;
        return c;
    }

    const QByteArray format = imageFormatOf(content, type);
    if (!format.isEmpty()) {
        if (contentSize > kPreviewWholeBytes)
            return hex(content, contentSize, QStringLiteral("too large to show as an image"));
        if (!readMore(kPreviewWholeBytes)) return hex(content, contentSize, {});
        QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(content.data()),
                                                   qsizetype(content.size()));
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, format);
        QImage image = reader.read();
        if (image.isNull())
            return hex(content, contentSize,
                       QStringLiteral("not an image Qt can read (%1)").arg(reader.errorString()));
        c.kind = PreviewContent::Kind::Image;
        c.image = std::move(image);
        details += QStringLiteral("; %1 x %2 %3 image")
                       .arg(c.image.width())
                       .arg(c.image.height())
                       .arg(QString::fromLatin1(format).toUpper());
        c.details = details;
        return c;
    }

    if (isTextType(type) || looksLikeText(content)) {
        if (!readMore(kPreviewTextBytes)) return hex(content, contentSize, {});
        const size_t shown = std::min(content.size(), kPreviewTextBytes);
        c.kind = PreviewContent::Kind::Text;
        qsizetype linesCut = 0;
        c.text = cutLongLines(decodeText(ByteSpan(content).subspan(0, shown)), linesCut);
        if (contentSize > shown)
            details += QStringLiteral("; the first %1 shown").arg(bytesText(shown));
        if (linesCut > 0)
            details += QStringLiteral("; %1 line(s) longer than %2 characters cut")
                           .arg(linesCut)
                           .arg(kPreviewLineChars);
        c.details = details;
        return c;
    }
    return hex(content, contentSize, {});
}

// ---- The pane -------------------------------------------------------------------------

namespace {

// An image drawn whole: scaled down to fit the widget, never up, centred.
class FitImage final : public QWidget {
public:
    explicit FitImage(QWidget* parent) : QWidget(parent) {}
    void setImage(QImage image) {
        image_ = std::move(image);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (image_.isNull()) return;
        QPainter p(this);
        const QSizeF room = QSizeF(size()) - QSizeF(8, 8);
        QSizeF shown = image_.size();
        if (shown.width() > room.width() || shown.height() > room.height())
            shown.scale(room, Qt::KeepAspectRatio);
        const QRectF target(QPointF((width() - shown.width()) / 2, (height() - shown.height()) / 2),
                            shown);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(target, image_);
    }

private:
    QImage image_;
};

QPlainTextEdit* readOnlyText(QWidget* parent, const QString& name, const QString& accessible,
                             bool fixedFont) {
    auto* t = new QPlainTextEdit(parent);
    t->setObjectName(name);
    t->setAccessibleName(accessible);
    t->setReadOnly(true);
    t->setTabChangesFocus(true);
    t->setLineWrapMode(fixedFont ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
    if (fixedFont) t->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    return t;
}

}  // namespace

HogPreview::HogPreview(QWidget* parent) : QWidget(parent) {
    setObjectName("hogPreview");
    setAccessibleName("Preview");

    heading_ = new desktop::ValueLabel("Previewed entry", this);
    heading_->setObjectName("lblHogPreviewName");
    // A long name is cut rather than widening the tab.
    heading_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    QFont bold = heading_->font();
    bold.setBold(true);
    heading_->setFont(bold);
    heading_->setTextInteractionFlags(Qt::TextSelectableByMouse);

    details_ = new desktop::ValueLabel("Preview details", this);
    details_->setObjectName("lblHogPreviewDetails");
    details_->setWordWrap(true);

    hex_ = new QCheckBox("Show as he&x", this);
    hex_->setObjectName("chkHogPreviewHex");
    hex_->setAccessibleName("Show as hex");
    stored_ = new QCheckBox("Stored b&ytes", this);
    stored_->setObjectName("chkHogStoredBytes");
    stored_->setAccessibleName("Stored bytes");
    stored_->setToolTip("Show a packed entry's bytes as they are stored in the archive");
    stored_->setEnabled(false);

    pages_ = new QStackedWidget(this);
    message_ = new desktop::ValueLabel("Preview message", pages_);
    message_->setObjectName("lblHogPreviewMessage");
    message_->setAlignment(Qt::AlignCenter);
    message_->setWordWrap(true);
    text_ = readOnlyText(pages_, "txtHogPreviewText", "Preview text", false);
    hexText_ = readOnlyText(pages_, "txtHogPreviewHex", "Preview hex dump", true);
    image_ = new FitImage(pages_);
    image_->setObjectName("hogPreviewImage");
    image_->setAccessibleName("Preview image");
    pages_->addWidget(message_);
    pages_->addWidget(text_);
    pages_->addWidget(hexText_);
    pages_->addWidget(image_);

    auto* switches = new QHBoxLayout;
    switches->addWidget(hex_);
    switches->addWidget(stored_);
    switches->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(heading_);
    layout->addWidget(details_);
    layout->addLayout(switches);
    layout->addWidget(pages_, 1);

    auto again = [this] {
        if (current_.archive) start(current_);
    };
    connect(hex_, &QCheckBox::toggled, this, again);
    connect(stored_, &QCheckBox::toggled, this, again);
    connect(&watcher_, &QFutureWatcher<PreviewContent>::finished, this, &HogPreview::finished);
    clear();
}

HogPreview::~HogPreview() {
    // A preview never asks the user anything, so waiting cannot deadlock.
    watcher_.waitForFinished();
}

void HogPreview::showEntry(std::shared_ptr<const HogArchive> archive, int row) {
    if (!archive || row < 0 || size_t(row) >= archive->entries().size()) {
        clear();
        return;
    }
    start({std::move(archive), row});
}

void HogPreview::start(Request request) {
    current_ = request;
    if (watcher_.isRunning()) {
        pending_ = std::move(request);
        return;
    }
    pending_.reset();
    const PreviewOptions options{hex_->isChecked(), stored_->isChecked()};
    watcher_.setFuture(QtConcurrent::run([request = std::move(request), options] {
        return buildPreview(*request.archive, request.archive->entries()[size_t(request.row)],
                            options);
    }));
}

void HogPreview::finished() {
    if (pending_) {
        Request next = std::move(*pending_);
        pending_.reset();
        start(std::move(next));
        return;
    }
    if (!current_.archive) return;  // cleared meanwhile
    present(watcher_.result());
}

bool HogPreview::isBusy() const {
    return watcher_.isRunning() || pending_.has_value();
}

void HogPreview::clear() {
    current_ = {};
    pending_.reset();
    shown_ = {};
    heading_->setValue({});
    details_->setValue({});
    stored_->setEnabled(false);
    showMessage("Select an entry to see what it holds.");
}

void HogPreview::showMessage(const QString& text) {
    message_->setValue(text);
    pages_->setCurrentWidget(message_);
    dropModelView();
}

// An OpenGL view hidden under another page and shown again stays black on screen
// (its window composes it no more), so it does not outlive its page: the next
// model gets a view of its own.
void HogPreview::dropModelView() {
    if (!model_ || pages_->currentWidget() == model_) return;
    pages_->removeWidget(model_);
    delete model_;
    model_ = nullptr;
}

desktop::ModelViewWidget* HogPreview::modelView() {
    if (!model_) {
        model_ = new desktop::ModelViewWidget(pages_);
        model_->setObjectName("hogPreviewModel");
        model_->setAccessibleName("Preview model view");
        pages_->addWidget(model_);
    }
    return model_;
}

void HogPreview::present(PreviewContent content) {
    heading_->setValue(content.heading);
    details_->setValue(content.details);
    stored_->setEnabled(content.packed);
    switch (content.kind) {
        case PreviewContent::Kind::Message:
            showMessage(content.text);
            break;
        case PreviewContent::Kind::Text:
            text_->setPlainText(content.text);
            pages_->setCurrentWidget(text_);
            break;
        case PreviewContent::Kind::Hex:
            hexText_->setPlainText(content.text);
            pages_->setCurrentWidget(hexText_);
            break;
        case PreviewContent::Kind::Image:
            static_cast<FitImage*>(image_)->setImage(content.image);
            pages_->setCurrentWidget(image_);
            break;
        case PreviewContent::Kind::Model: {
            desktop::ModelViewWidget* view = modelView();
            view->setMesh(std::move(*content.mesh));
            content.mesh.reset();
            // The view frames the model to its height; the pane is often narrower
            // than tall, so the zoom comes down until the model fits the width too.
            const double aspect = double(pages_->width()) / std::max(1, pages_->height());
            if (aspect < 1.0) {
                const double half = 20.0 * M_PI / 180.0;  // half the view's 40 degrees
                const double across = std::atan(std::tan(half) * aspect);
                view->setZoom(view->zoom() * std::sin(across) / std::sin(half));
            }
            pages_->setCurrentWidget(view);
            break;
        }
    }
    if (content.kind != PreviewContent::Kind::Model) dropModelView();
    // The big parts are on screen now; keep what tells what is shown.
    content.text.clear();
    content.image = QImage();
    shown_ = std::move(content);
    emit previewShown();
}

}  // namespace ov::edit
