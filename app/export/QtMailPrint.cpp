#include "export/QtMailPrint.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QTextObjectInterface>
#include <QUrl>
#include <cerrno>
#include <cmath>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>

#include "common/MailHead.h"
#include "common/WaitReporter.h"
#include "db/Attachments.h"
#include "db/Backups.h"
#include "db/MailPictures.h"
#include "db/QtPictureDecoder.h"
#include "export/ExportFiles.h"
#include "export/HtmlArchive.h"
#include "platform/FileUtil.h"

namespace kamo {
namespace fs = std::filesystem;
namespace {

QString U(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// Mails laid out in one document; each such run starts on a new page. A document's layout and its
// drawing grow with all it holds, so a bounded run keeps the whole print linear in the mail count.
constexpr int kMailsPerDocument = 32;

// Where a picture of a document is kept: its mail and its place among the mail's attachments.
struct PicturePlace {
    MailKey key;
    int64_t position = 0;
};

// Draws the pictures of the documents: a picture is read from the archive and decoded at its printed
// size (scaled while read) only when its page is drawn, and let go at once, so no more than one
// picture is held decoded whatever their number. Its size in the layout is the one its HTML gives.
class PictureDrawer : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    explicit PictureDrawer(SQLite::Database& db) : db_(db) {}

    // A name for the document's HTML of the picture at `place`.
    QString Add(const PicturePlace& place) {
        places_.push_back(place);
        return QString("picture:%1").arg(places_.size() - 1);
    }
    void Clear() {
        places_.clear();
        notDrawn_ += static_cast<int64_t>(failed_.size());
        failed_.clear();
    }
    int64_t NotDrawn() const { return notDrawn_ + static_cast<int64_t>(failed_.size()); }

    QSizeF intrinsicSize(QTextDocument*, int, const QTextFormat& format) override {
        const QTextImageFormat image = format.toImageFormat();
        return {image.width(), image.height()};
    }

    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int, const QTextFormat& format) override {
        bool ok = false;
        const qsizetype n = format.toImageFormat().name().mid(8).toLongLong(&ok);
        if (!ok || n < 0 || n >= static_cast<qsizetype>(places_.size()))
            return;
        const PicturePlace& place = places_[static_cast<size_t>(n)];
        DecodedPicture picture;
        try {
            if (const auto bytes = AttachmentBytes(db_, place.key, place.position))
                picture = DecodePicture(QByteArray::fromRawData(bytes->data(), static_cast<qsizetype>(bytes->size())),
                                        static_cast<int>(std::ceil(rect.width())),
                                        static_cast<int>(std::ceil(rect.height())));
        } catch (const std::exception&) {
            // out of memory or unreadable: counted below as not drawn, and the print goes on (nothing
            // may leave through Qt's drawing)
        }
        if (!picture.Shown()) {
            failed_.insert(n); // once, were it asked twice
            return;
        }
        painter->drawImage(rect, picture.frames.front());
    }

private:
    SQLite::Database& db_;
    std::vector<PicturePlace> places_;
    std::set<qsizetype> failed_; // of the current document
    int64_t notDrawn_ = 0;       // of the documents before it
};

// The size a picture says it has (turned as it is shown), from its header alone; empty when its
// content is no picture that decodes.
QSize SourceSize(const std::string& bytes) {
    QBuffer buffer;
    buffer.setData(QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!buffer.open(QIODevice::ReadOnly) || PictureFormatOf(bytes).empty())
        return {};
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (size.isValid() && (reader.transformation() & QImageIOHandler::TransformationRotate90))
        size.transpose();
    return size;
}

// The page's geometry a mail is laid out in.
struct PageRoom {
    qreal width = 0;      // the text's width
    qreal height = 0;     // what a picture's line may take of a page
    qreal pixelScale = 1; // device pixels of one screen pixel (96 an inch)
};

// One mail as the document's HTML (Qt's rich text subset): each picture as large as on a screen,
// fitted inside the page's width and height, drawn by `drawer`; the attachments named after them.
std::string MailHtml(SQLite::Database& db, const MailRecord& mail, const PageRoom& room, PictureDrawer& drawer,
                     int64_t& unreadable, bool first) {
    std::string html = first ? "" : "<hr>";
    // The subject as the heading, the other fields of the head as a table under it.
    std::string heading, rows;
    for (const HeadField& field : MailHead(mail, HeadForm::Print)) {
        if (field.kind == HeadKind::Subject)
            heading = "<h2>" + HtmlEscaped(field.value) + "</h2>";
        else
            rows += "<tr><td><b>" + HtmlEscaped(field.label) + "</b>&nbsp;</td><td>" + HtmlEscaped(field.value) +
                    "</td></tr>";
    }
    html += heading + "<table cellspacing=\"0\" cellpadding=\"1\">" + rows + "</table>";
    html += "<p style=\"white-space: pre-wrap\">" + HtmlEscaped(mail.body) + "</p>";
    std::string names;
    const MailKey key = KeyOf(mail);
    for (const AttachmentEntry& entry : ListAttachments(db, key)) {
        if (entry.picture) {
            const auto bytes = AttachmentBytes(db, key, entry.position);
            const QSize source = bytes ? SourceSize(*bytes) : QSize();
            if (source.isEmpty()) {
                ++unreadable;
            } else {
                const PictureSize shown = ShownSize({static_cast<int>(std::lround(source.width() * room.pixelScale)),
                                                     static_cast<int>(std::lround(source.height() * room.pixelScale))},
                                                    static_cast<int>(room.width), static_cast<int>(room.height));
                html += "<p><img src=\"" + drawer.Add({key, entry.position}).toStdString() + "\" width=\"" +
                        std::to_string(shown.width) + "\" height=\"" + std::to_string(shown.height) + "\"></p>";
            }
        }
        names += (names.empty() ? "" : "、") +
                 HtmlEscaped(AttachmentFileName(entry.name, entry.contentType, static_cast<size_t>(entry.position)));
    }
    if (!names.empty())
        html += "<p><b>添付ファイル</b>&nbsp;" + names + "</p>";
    return html;
}

// The selection a run of mails at a time, each run as one document laid out on the pages.
class MailDocuments {
public:
    MailDocuments(SQLite::Database& db, const MailSelection& selection, QPagedPaintDevice& device, const QFont& font,
                  QSizeF pageSize)
        : db_(db), stream_(db, selection), reader_(db), device_(device), font_(font), pageSize_(pageSize), drawer_(db) {
    }

    // The next run's document; nothing after the last. `unreadable` counts the pictures whose size
    // cannot be read.
    std::unique_ptr<QTextDocument> Next(WaitReporter& wait, int64_t& mails, int64_t& unreadable) {
        if (rows_.empty() && more_) {
            more_ = stream_.Read(rows_, 256);
            next_ = 0;
        }
        if (next_ >= rows_.size())
            return nullptr;
        drawer_.Clear();
        auto doc = std::make_unique<QTextDocument>();
        doc->documentLayout()->setPaintDevice(&device_);
        doc->documentLayout()->registerHandler(QTextFormat::ImageObject, &drawer_);
        doc->setDefaultFont(font_);
        doc->setPageSize(pageSize_);
        const QFontMetricsF metrics(font_, &device_);
        PageRoom room;
        room.width = pageSize_.width() - 2 * doc->documentMargin();
        // A line of a picture fits on one page with its paragraph's spacing.
        room.height = pageSize_.height() - 2 * doc->documentMargin() - 3 * metrics.height();
        room.pixelScale = device_.logicalDpiX() / 96.0;
        std::string html;
        for (int n = 0; n < kMailsPerDocument && next_ < rows_.size(); ++n) {
            if (wait.CancelRequested()) {
                stopped_ = true;
                break;
            }
            if (const auto mail = reader_.Read(rows_[next_])) {
                html += MailHtml(db_, *mail, room, drawer_, unreadable, html.empty());
                ++mails;
            }
            ++next_;
            wait.Pump();
        }
        if (next_ >= rows_.size())
            rows_.clear();
        doc->setHtml(U(html));
        return doc;
    }
    bool Stopped() const { return stopped_; }
    std::optional<int64_t> Total() { return stream_.Total(); }
    int64_t NotDrawn() const { return drawer_.NotDrawn(); }

private:
    SQLite::Database& db_;
    SelectionStream stream_;
    MailRowReader reader_;
    QPagedPaintDevice& device_;
    QFont font_;
    QSizeF pageSize_;
    PictureDrawer drawer_;
    std::vector<int64_t> rows_;
    size_t next_ = 0;
    bool more_ = true;
    bool stopped_ = false;
};

} // namespace

ExportResult PrintMails(SQLite::Database& db, const MailSelection& selection, QPagedPaintDevice& device,
                        const std::string& title, WaitReporter& wait) {
    ExportResult result;
    QPainter painter;
    if (!painter.begin(&device))
        throw std::runtime_error("印刷を始められません。");
    const QRect page = device.pageLayout().paintRectPixels(device.logicalDpiX());
    const QRectF area(0, 0, page.width(), page.height());
    QFont font(QStringLiteral("IPAGothic"), 10);
    font.setStyleHint(QFont::SansSerif);
    const QFontMetricsF metrics(font, &device);
    const qreal band = metrics.height() * 2; // the title above, the page number below
    const QSizeF pageSize(area.width(), area.height() - 2 * band);

    // The pages are counted first ("n / N" at every foot), each run laid out and let go; then laid
    // out again and drawn.
    int64_t pageCount = 0;
    {
        MailDocuments counting(db, selection, device, font, pageSize);
        int64_t mails = 0, unreadable = 0;
        while (const auto doc = counting.Next(wait, mails, unreadable))
            pageCount += doc->pageCount();
        if (counting.Stopped()) {
            result.stopped = true;
            painter.end();
            return result;
        }
    }
    MailDocuments documents(db, selection, device, font, pageSize);
    ShowExportCount(wait, 0, documents.Total());
    int64_t pageNumber = 0, unreadable = 0;
    while (const auto doc = documents.Next(wait, result.written, unreadable)) {
        ShowExportCount(wait, result.written, documents.Total());
        const qreal height = doc->pageSize().height();
        for (int n = 0; n < doc->pageCount() && !result.stopped; ++n) {
            if (pageNumber > 0 && !device.newPage())
                throw std::runtime_error("次のページを始められません。");
            ++pageNumber;
            painter.save();
            painter.setFont(font);
            painter.drawText(QRectF(0, 0, area.width(), band), Qt::AlignLeft | Qt::AlignTop, U(title));
            painter.drawText(QRectF(0, area.height() - band, area.width(), band), Qt::AlignHCenter | Qt::AlignBottom,
                             QString("%1 / %2").arg(pageNumber).arg(std::max(pageCount, pageNumber)));
            painter.translate(0, band - n * height);
            doc->drawContents(&painter, QRectF(0, n * height, area.width(), height));
            painter.restore();
            result.stopped = wait.CancelRequested();
            wait.Pump();
        }
        if (result.stopped)
            break;
    }
    result.stopped = result.stopped || documents.Stopped();
    result.picturesNotDrawn = unreadable + documents.NotDrawn();
    painter.end();
    return result;
}

ExportResult WriteMailPdf(SQLite::Database& db, const MailSelection& selection, const fs::path& target,
                          WaitReporter& wait) {
    const fs::path archive = db.getFilename();
    if (IsArchiveOrCopy(target, archive))
        throw Failure(FailureCode::TargetIsArchive, {target.string()});
    std::error_code ec;
    if (fs::is_directory(target, ec))
        FailExport(FailureCode::PdfTargetIsFolder, target, EISDIR);
    WaitScope busy(wait);
    wait.ShowPhase(WaitPhase::WritingPdf);
    wait.OfferCancelAsking(
        "PDF の書き出しを中止しますか？\n中止すると PDF ファイルは作らず、ここまでに用意した分も残りません。");
    wait.Pump();
    // The PDF goes straight into the temporary of the one way (pictures and all, it may be far larger
    // than memory should hold), which is renamed into place once the document is whole; a stop or a
    // failure removes it.
    FileWriter out(target, PrivateFile(PrivateModeOf(archive)));
    if (!out.Ok())
        FailExport(out.Error() == ELOOP ? FailureCode::TargetIsLink : FailureCode::MailFileNotMade, target,
                   out.Error());
    QFile file;
    if (!file.open(out.Fd(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
        FailExport(FailureCode::MailFileNotMade, target, errno);
    ExportResult result;
    {
        QPdfWriter pdf(&file);
        pdf.setTitle(U("KamoMail " + selection.Describe()));
        pdf.setCreator(QStringLiteral("KamoMail"));
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
        pdf.setResolution(300);
        result = PrintMails(db, selection, pdf, "KamoMail " + selection.Describe(), wait);
    }
    result.target = target;
    if (result.stopped)
        return result;
    if (!file.flush() || file.error() != QFileDevice::NoError || !out.Commit())
        FailExport(out.Error() == ELOOP ? FailureCode::TargetIsLink : FailureCode::MailFileNotWritten, target,
                   out.Error() ? out.Error() : errno);
    return result;
}

ExportResult WriteMailPdfOnTerminal(SQLite::Database& db, const MailSelection& selection, const fs::path& target,
                                    WaitReporter& wait) {
    std::unique_ptr<QGuiApplication> app;
    if (!QGuiApplication::instance()) {
        static int argc = 3;
        static char name[] = "kamomail", option[] = "-platform", platform[] = "offscreen";
        static char* argv[] = {name, option, platform, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    return WriteMailPdf(db, selection, target, wait);
}

} // namespace kamo

#include "QtMailPrint.moc"
