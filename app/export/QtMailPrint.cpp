#include "export/QtMailPrint.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>
#include <cerrno>
#include <memory>
#include <stdexcept>

#include "common/WaitReporter.h"
#include "db/Backups.h"
#include "export/ExportFiles.h"
#include "export/HtmlArchive.h"
#include "export/MailAttachments.h"
#include "platform/FileUtil.h"

namespace kamo {
namespace fs = std::filesystem;
namespace {

QString U(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

std::string Person(const std::string& name, const std::string& address) {
    const bool named = !name.empty() && name != kNoName;
    if (!named)
        return address.empty() ? std::string("（なし）") : address;
    return address.empty() ? name : name + " <" + address + ">";
}

// One mail as the document's HTML (Qt's rich text subset): pictures as resources of the document,
// no wider than the page.
std::string MailHtml(QTextDocument& doc, const MailRecord& mail, const std::vector<MailAttachment>& attachments,
                     qreal pageWidth, qreal pixelScale, int& pictureNumber, bool first) {
    std::string html = first ? "" : "<hr>";
    html += "<h2>" + HtmlEscaped(mail.subject.empty() ? "（件名なし）" : mail.subject) + "</h2>";
    html += "<table cellspacing=\"0\" cellpadding=\"1\"><tr><td><b>日付</b>&nbsp;</td><td>" +
            HtmlEscaped(mail.ymd + " " + mail.hms) + "</td></tr><tr><td><b>差出人</b>&nbsp;</td><td>" +
            HtmlEscaped(Person(mail.sndName, mail.sndAdd)) + "</td></tr><tr><td><b>宛先</b>&nbsp;</td><td>" +
            HtmlEscaped(Person(mail.rcvName, mail.rcvAdd)) + "</td></tr></table>";
    html += "<p style=\"white-space: pre-wrap\">" + HtmlEscaped(mail.body) + "</p>";
    std::string names;
    for (const MailAttachment& a : attachments) {
        QImage picture;
        if (a.contentType.rfind("image/", 0) == 0 && a.contentType.find("svg") == std::string::npos &&
            picture.loadFromData(reinterpret_cast<const uchar*>(a.data.data()), static_cast<int>(a.data.size()))) {
            const QString name = QString("picture:%1").arg(++pictureNumber);
            doc.addResource(QTextDocument::ImageResource, QUrl(name), picture);
            // As large as on a screen (96 pixels an inch), never wider than the page.
            const qreal width = std::min<qreal>(picture.width() * pixelScale, pageWidth);
            html += "<p><img src=\"" + name.toStdString() + "\" width=\"" + std::to_string(static_cast<int>(width)) +
                    "\"></p>";
        }
        names += (names.empty() ? "" : "、") + HtmlEscaped(a.fileName);
    }
    if (!names.empty())
        html += "<p><b>添付ファイル</b>&nbsp;" + names + "</p>";
    return html;
}

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
    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&device);
    doc.setDefaultFont(font);
    doc.setPageSize(QSizeF(area.width(), area.height() - 2 * band));

    std::string html;
    int pictures = 0;
    SelectionStream stream(db, selection);
    MailRowReader reader(db);
    MailAttachmentReader attachments(db);
    std::vector<int64_t> rows;
    bool more = true;
    ShowExportCount(wait, 0, stream.Total());
    while (more && !result.stopped) {
        rows.clear();
        more = stream.Read(rows, 256);
        for (int64_t row : rows) {
            if (wait.CancelRequested()) {
                result.stopped = true;
                break;
            }
            if (const auto mail = reader.Read(row)) {
                html += MailHtml(doc, *mail, attachments.Read(*mail), doc.pageSize().width(),
                                 device.logicalDpiX() / 96.0, pictures, result.written == 0);
                ++result.written;
            }
            wait.Pump();
        }
        ShowExportCount(wait, result.written, stream.Total());
    }
    doc.setHtml(U(html));
    const int pageCount = doc.pageCount();
    for (int n = 0; n < pageCount && !result.stopped; ++n) {
        if (n > 0 && !device.newPage())
            throw std::runtime_error("次のページを始められません。");
        painter.save();
        painter.setFont(font);
        painter.drawText(QRectF(0, 0, area.width(), band), Qt::AlignLeft | Qt::AlignTop, U(title));
        painter.drawText(QRectF(0, area.height() - band, area.width(), band), Qt::AlignHCenter | Qt::AlignBottom,
                         QString("%1 / %2").arg(n + 1).arg(pageCount));
        painter.translate(0, band - n * doc.pageSize().height());
        doc.drawContents(&painter, QRectF(0, n * doc.pageSize().height(), area.width(), doc.pageSize().height()));
        painter.restore();
        wait.Pump();
    }
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
    wait.SetLines({"　PDF を書き出しています。", "　少々お待ちください。", "", "", "", ""});
    wait.OfferCancelAsking(
        "PDF の書き出しを中止しますか？\n中止すると PDF ファイルは作らず、ここまでに用意した分も残りません。");
    wait.Pump();
    // Qt writes into memory; the file goes down the one way once the document is whole.
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ExportResult result;
    {
        QPdfWriter pdf(&buffer);
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
    const QByteArray& bytes = buffer.data();
    WriteExportFile(target, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())),
                    PrivateModeOf(archive));
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
