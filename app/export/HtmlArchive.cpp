#include "export/HtmlArchive.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>
#include <vector>

#include "common/MailHead.h"
#include "common/NumberText.h"
#include "export/ExportFiles.h"
#include "export/MailAttachments.h"
#include "export/MailMessage.h"

namespace kamo {
namespace fs = std::filesystem;
namespace {

constexpr size_t kListedSubjectBytes = 200; // a subject in the lists; the mail's page has it whole

const char* const kStyle =
    R"(body { font-family: sans-serif; margin: 1em auto; max-width: 60em; padding: 0 1em; line-height: 1.5; }
nav { margin-bottom: 1em; }
nav a { margin-right: 1em; }
table.head th { text-align: left; padding-right: 1em; vertical-align: top; white-space: nowrap; }
.text { white-space: pre-wrap; overflow-wrap: anywhere; border-top: 1px solid #ccc; padding-top: 1em; }
.pictures img { max-width: 100%; height: auto; display: block; margin: 1em 0; }
table.list td { padding: 0 .6em; vertical-align: top; }
.years td { padding: 0 .4em; }
.bar { display: inline-block; height: .9em; }
.received { background: #6a9fd8; }
.sent { background: #e8a34a; }
.sent-mail { color: #8a5a00; }
)";

// At most `bytes` of `text`, cut on a character boundary, "…" marking the cut.
std::string CutUtf8(std::string_view text, size_t bytes) {
    if (text.size() <= bytes)
        return std::string(text);
    size_t cut = bytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return std::string(text.substr(0, cut)) + "…";
}

std::string LowerAscii(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string ExtensionOf(std::string_view name) {
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : LowerAscii(std::string(name.substr(dot + 1)));
}

// A file a browser opens as a page of its own, whose scripts would run from the stick.
bool RunsAsPage(std::string_view name, std::string_view contentType) {
    static const std::set<std::string> kExtensions = {"htm", "html", "xhtml", "xht", "shtml", "svg", "svgz",
                                                      "xml", "xsl",  "xslt",  "mht", "mhtml", "htc", "hta"};
    const std::string type = LowerAscii(std::string(contentType.substr(0, contentType.find(';'))));
    return kExtensions.count(ExtensionOf(name)) || type == "text/html" || type == "application/xhtml+xml" ||
           type == "image/svg+xml" || type == "text/xml" || type == "application/xml";
}

// A relative link to a file we named: every byte but the unreserved ones and "/" percent-encoded.
std::string Href(std::string_view path) {
    static const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~' || c == '/') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string Page(const std::string& title, const std::string& root, const std::string& body) {
    return "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n<meta name=\"viewport\" "
           "content=\"width=device-width, initial-scale=1\">\n<meta name=\"referrer\" content=\"no-referrer\">\n"
           "<title>" +
           HtmlEscaped(title) + "</title>\n<link rel=\"stylesheet\" href=\"" + root +
           "style.css\">\n</head>\n<body>\n" + body + "</body>\n</html>\n";
}

struct Entry {
    int64_t row = 0;
    std::string ymd, hms, subject, id;
    bool sent = false;
    size_t friendIndex = 0;
    size_t placeWithFriend = 0;
};

struct FriendLine {
    std::string name;
    std::string address;
    std::vector<size_t> mails; // entries, oldest first
    std::string page;          // "friend/0001.html"
};

// "2003/04" of a date; empty when the date is not one.
std::string MonthOf(const std::string& ymd) {
    if (ymd.size() < 7 || ymd[4] != '/')
        return {};
    for (size_t i : {0, 1, 2, 3, 5, 6})
        if (ymd[i] < '0' || ymd[i] > '9')
            return {};
    return ymd.substr(0, 7);
}

std::string MonthPage(const std::string& month) {
    return month.empty() ? "month/none.html" : "month/" + month.substr(0, 4) + "-" + month.substr(5, 2) + ".html";
}

std::string MonthCaption(const std::string& month) {
    if (month.empty())
        return "日付のないメール";
    return month.substr(0, 4) + "年" + std::to_string(std::stoi(month.substr(5, 2))) + "月";
}

class HtmlWriter {
public:
    HtmlWriter(SQLite::Database& db, const MailSelection& selection, const fs::path& folder, unsigned mode,
               WaitReporter& wait)
        : db_(db), selection_(selection), folder_(folder), mode_(mode), wait_(wait),
          title_("KamoMail " + selection.Describe()) {}

    ExportResult Run() {
        ExportResult result;
        result.target = folder_;
        MakeExportFolder(folder_);
        for (const char* sub : {"mail", "friend", "month"})
            MakeExportFolder(folder_ / sub, true);
        if (!Collect()) {
            result.stopped = true;
            return result;
        }
        MailRowReader reader(db_);
        MailAttachmentReader attachments(db_);
        const std::optional<int64_t> total = static_cast<int64_t>(entries_.size());
        ShowExportCount(wait_, 0, total);
        for (size_t i = 0; i < entries_.size(); ++i) {
            if (wait_.CancelRequested()) {
                result.stopped = true;
                ShowExportCount(wait_, result.written, total);
                return result;
            }
            const auto mail = reader.Read(entries_[i].row);
            if (!mail)
                continue;
            WriteMail(i, *mail, attachments.Read(*mail));
            if (++result.written % 64 == 0)
                ShowExportCount(wait_, result.written, total);
            wait_.Pump();
        }
        WriteExportFile(folder_ / "style.css", kStyle, mode_);
        WriteLists();
        WriteIndex();
        ShowExportCount(wait_, result.written, total);
        wait_.Pump();
        return result;
    }

private:
    // The first pass: a line of the lists for every mail, the friends and their order.
    bool Collect() {
        SelectionStream stream(db_, selection_);
        MailRowReader reader(db_);
        std::map<std::string, size_t> friendByKey;
        std::vector<int64_t> rows;
        bool more = true;
        while (more) {
            rows.clear();
            more = stream.Read(rows, 256);
            for (int64_t row : rows) {
                if (wait_.CancelRequested())
                    return false;
                const auto mail = reader.Read(row);
                if (!mail)
                    continue;
                const std::string& name = mail->sent ? mail->rcvName : mail->sndName;
                const std::string& address = mail->sent ? mail->rcvAdd : mail->sndAdd;
                const std::string key = address.empty() ? "\x01" + name : LowerAscii(address);
                auto [it, added] = friendByKey.emplace(key, friends_.size());
                if (added)
                    friends_.push_back({name, address, {}, {}});
                else if (!name.empty() && name != kNoName)
                    friends_[it->second].name = name; // the latest name the friend went by
                entries_.push_back({row, mail->ymd, mail->hms, CutUtf8(mail->subject, kListedSubjectBytes),
                                    names_.Claim(MailFileStem(*mail)), mail->sent, it->second, 0});
            }
            wait_.Pump();
        }
        // Oldest first whatever the selection's order (a search lists the newest first).
        std::stable_sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
            return std::tie(a.ymd, a.hms, a.id) < std::tie(b.ymd, b.hms, b.id);
        });
        for (size_t i = 0; i < entries_.size(); ++i) {
            auto& mails = friends_[entries_[i].friendIndex].mails;
            entries_[i].placeWithFriend = mails.size();
            mails.push_back(i);
        }
        // Friends in the order of their names, numbered in it.
        std::vector<size_t> order(friends_.size());
        for (size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(), [this](size_t a, size_t b) {
            return std::tie(friends_[a].name, friends_[a].address) < std::tie(friends_[b].name, friends_[b].address);
        });
        friendOrder_ = order;
        for (size_t n = 0; n < order.size(); ++n) {
            char page[48];
            std::snprintf(page, sizeof page, "friend/%04zu.html", n + 1);
            friends_[order[n]].page = page;
        }
        return true;
    }

    std::string FriendCaption(const FriendLine& f) const { return PartyText(f.name, f.address, PartyForm::Page); }

    std::string MailLink(size_t i, const std::string& root, const std::string& text) const {
        return "<a href=\"" + root + "mail/" + entries_[i].id + ".html\">" + HtmlEscaped(text) + "</a>";
    }

    void WriteMail(size_t i, const MailRecord& mail, const std::vector<MailAttachment>& attachments) {
        const Entry& e = entries_[i];
        const FriendLine& f = friends_[e.friendIndex];
        std::string body = "<nav><a href=\"../index.html\">目次</a><a href=\"../" + f.page + "\">" +
                           HtmlEscaped(FriendCaption(f)) + "</a>";
        if (e.placeWithFriend > 0)
            body += MailLink(f.mails[e.placeWithFriend - 1], "../", "← 前のメール");
        if (e.placeWithFriend + 1 < f.mails.size())
            body += MailLink(f.mails[e.placeWithFriend + 1], "../", "次のメール →");
        // The subject as the heading (and the page's title), the other fields of the head as a table.
        std::string subject, rows;
        for (const HeadField& field : MailHead(mail, HeadForm::HtmlPage)) {
            if (field.kind == HeadKind::Subject)
                subject = field.value;
            else
                rows += "<tr><th>" + HtmlEscaped(field.label) + "</th><td>" + HtmlEscaped(field.value) + "</td></tr>\n";
        }
        body += "</nav>\n<h1>" + HtmlEscaped(subject) + "</h1>\n<table class=\"head\">\n" + rows + "</table>\n";
        body += "<div class=\"text\">" + HtmlEscaped(mail.body) + "</div>\n";
        std::string pictures, files;
        std::set<std::string> taken; // names in this mail's folder, letter case aside (FAT sees no case)
        for (size_t n = 0; n < attachments.size(); ++n) {
            const MailAttachment& a = attachments[n];
            std::string name = AttachmentFileName(a.fileName, a.contentType, n + 1);
            while (!taken.insert(LowerAscii(name)).second)
                name = std::to_string(n + 1) + "-" + name;
            if (n == 0)
                MakeExportFolder(folder_ / "mail" / e.id, true);
            WriteExportFile(folder_ / "mail" / e.id / name, a.data, mode_);
            const std::string href = Href(e.id + "/" + name);
            if (a.picture) // named or not, as the mail display shows it
                pictures +=
                    "<a href=\"" + href + "\"><img src=\"" + href + "\" alt=\"" + HtmlEscaped(name) + "\"></a>\n";
            files += "<li><a href=\"" + href + "\">" + HtmlEscaped(name) + "</a> (" +
                     WithSeparators(static_cast<int64_t>(a.data.size())) + " バイト)</li>\n";
        }
        if (!pictures.empty())
            body += "<div class=\"pictures\">\n" + pictures + "</div>\n";
        if (!files.empty())
            body += "<h2>添付ファイル</h2>\n<ul class=\"attachments\">\n" + files + "</ul>\n";
        WriteExportFile(folder_ / "mail" / (e.id + ".html"), Page(subject, "../", body), mode_);
        const std::string earlier = EarlierMailFileStem(MailFileStem(mail));
        RemoveEarlierFile(folder_ / "mail" / (earlier + ".html"));
        RemoveEarlierFile(folder_ / "mail" / earlier);
    }

    std::string MailTable(const std::vector<size_t>& mails, bool withFriend) const {
        std::string rows = "<table class=\"list\">\n";
        for (size_t i : mails) {
            const Entry& e = entries_[i];
            rows += "<tr" + std::string(e.sent ? " class=\"sent-mail\"" : "") + "><td>" + HtmlEscaped(e.ymd) + " " +
                    HtmlEscaped(e.hms) + "</td><td>" + (e.sent ? "送信" : "受信") + "</td>";
            if (withFriend)
                rows += "<td>" + HtmlEscaped(FriendCaption(friends_[e.friendIndex])) + "</td>";
            rows += "<td>" + MailLink(i, "../", e.subject.empty() ? "（件名なし）" : e.subject) + "</td></tr>\n";
        }
        return rows + "</table>\n";
    }

    void WriteLists() {
        for (const FriendLine& f : friends_) {
            const std::string title = FriendCaption(f);
            WriteExportFile(folder_ / f.page,
                            Page(title, "../",
                                 "<nav><a href=\"../index.html\">目次</a></nav>\n<h1>" + HtmlEscaped(title) +
                                     "</h1>\n" + MailTable(f.mails, false)),
                            mode_);
        }
        for (const auto& [month, mails] : Months()) {
            const std::string title = MonthCaption(month);
            WriteExportFile(folder_ / MonthPage(month),
                            Page(title, "../",
                                 "<nav><a href=\"../index.html\">目次</a></nav>\n<h1>" + HtmlEscaped(title) +
                                     "</h1>\n" + MailTable(mails, true)),
                            mode_);
        }
    }

    std::map<std::string, std::vector<size_t>> Months() const {
        std::map<std::string, std::vector<size_t>> months;
        for (size_t i = 0; i < entries_.size(); ++i)
            months[MonthOf(entries_[i].ymd)].push_back(i);
        return months;
    }

    void WriteIndex() {
        std::string body = "<h1>" + HtmlEscaped(title_) + "</h1>\n<p>" +
                           WithSeparators(static_cast<int64_t>(entries_.size())) + " 通のメール</p>\n";
        // The years at a glance: received and sent as two bars, as long as their share of the busiest year.
        std::map<std::string, std::pair<int64_t, int64_t>> years;
        for (const Entry& e : entries_) {
            const std::string month = MonthOf(e.ymd);
            auto& y = years[month.empty() ? std::string("日付なし") : month.substr(0, 4)];
            (e.sent ? y.second : y.first)++;
        }
        int64_t busiest = 1;
        for (const auto& [year, counts] : years)
            busiest = std::max(busiest, counts.first + counts.second);
        body += "<h2>年ごとのメール</h2>\n<table class=\"years\">\n";
        for (const auto& [year, counts] : years) {
            const auto width = [busiest](int64_t n) { return std::to_string(n * 100 / busiest) + "%"; };
            body += "<tr><td>" + HtmlEscaped(year) +
                    "</td><td style=\"width: 70%\"><span class=\"bar received\" style=\"width: " + width(counts.first) +
                    "\"></span><span class=\"bar sent\" style=\"width: " + width(counts.second) +
                    "\"></span></td><td>受信 " + WithSeparators(counts.first) + " 通 / 送信 " +
                    WithSeparators(counts.second) + " 通</td></tr>\n";
        }
        body += "</table>\n<h2>おともだちごと</h2>\n<ul>\n";
        for (size_t n : friendOrder_) {
            const FriendLine& f = friends_[n];
            body += "<li><a href=\"" + f.page + "\">" + HtmlEscaped(FriendCaption(f)) + "</a> (" +
                    WithSeparators(static_cast<int64_t>(f.mails.size())) + " 通)</li>\n";
        }
        body += "</ul>\n<h2>月ごと</h2>\n<ul>\n";
        for (const auto& [month, mails] : Months())
            body += "<li><a href=\"" + MonthPage(month) + "\">" + HtmlEscaped(MonthCaption(month)) + "</a> (" +
                    WithSeparators(static_cast<int64_t>(mails.size())) + " 通)</li>\n";
        body += "</ul>\n";
        WriteExportFile(folder_ / "index.html", Page(title_, "", body), mode_);
    }

    SQLite::Database& db_;
    const MailSelection& selection_;
    fs::path folder_;
    unsigned mode_;
    WaitReporter& wait_;
    std::string title_;
    std::vector<Entry> entries_;
    MailFileNames names_; // the mail pages' names, each mail's own
    std::vector<FriendLine> friends_;
    std::vector<size_t> friendOrder_;
};

} // namespace

std::string HtmlEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            // Control characters are no text of HTML: left out, but for tab and line feed (CR of a
            // CR LF goes; the line feed stays).
            if ((static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) || c == '\t' || c == '\n')
                out += c;
        }
    }
    return out;
}

std::string AttachmentFileName(std::string_view name, std::string_view contentType, size_t number) {
    const size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos)
        name = name.substr(slash + 1);
    std::string clean;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            continue;
        clean += std::string_view(":*?\"<>|").find(c) != std::string_view::npos ? '_' : c;
    }
    // No hidden file, nothing Windows or FAT drops at the ends.
    const size_t first = clean.find_first_not_of(". ");
    clean = first == std::string::npos ? std::string() : clean.substr(first);
    while (!clean.empty() && (clean.back() == ' ' || clean.back() == '.'))
        clean.pop_back();
    if (clean.empty())
        clean = "添付ファイル" + std::to_string(number);
    constexpr size_t kBytes = 120;
    if (clean.size() > kBytes) {
        // Keep the extension: it tells the browser what the file is.
        const std::string extension = ExtensionOf(clean).size() <= 10 ? "." + ExtensionOf(clean) : std::string();
        std::string stem = CutUtf8(clean.substr(0, clean.size() - (extension.size() > 1 ? extension.size() : 0)),
                                   kBytes - extension.size() - 3);
        clean = stem + (extension.size() > 1 ? extension : std::string());
    }
    if (RunsAsPage(clean, contentType))
        clean += ".txt";
    return clean;
}

ExportResult WriteHtmlArchive(SQLite::Database& db, const MailSelection& selection, const fs::path& folder,
                              unsigned mode, WaitReporter& wait) {
    HtmlWriter writer(db, selection, folder, mode, wait);
    return writer.Run();
}

} // namespace kamo
