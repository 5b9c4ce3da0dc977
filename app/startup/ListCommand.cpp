#include "startup/ListCommand.h"

#include <exception>
#include <iostream>
#include <map>
#include <optional>

#include <SQLiteCpp/Statement.h>

#include "browse/KeyLists.h"
#include "browse/MailView.h"
#include "browse/SubjectCursor.h"
#include "common/Messages.h"
#include "db/MailRows.h"
#include "export/MailSelection.h"
#include "search/Conversations.h"
#include "startup/CommandSession.h"
#include "startup/TerminalOutput.h"

namespace kamo {
namespace {

constexpr const char* kUsage =
    "使い方: kamomail list [--by address|name|date|filter]\n"
    "        kamomail list --address A | --name N | --date yyyy/mm/dd | --filter 番号か名前 [--format text|json] "
    "[--body] [--threads]";

std::optional<ViewMode> ModeNamed(const std::string& name) {
    if (name == "address")
        return ViewMode::Address;
    if (name == "name")
        return ViewMode::Name;
    if (name == "date")
        return ViewMode::Date;
    if (name == "filter")
        return ViewMode::Filter;
    return std::nullopt;
}

} // namespace

int RunListCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::optional<ViewMode> by;
    std::optional<ViewMode> keyMode;
    std::string key;
    MailOutput output;
    bool threads = false;
    auto wrong = [&](const std::string& what) {
        err << "kamomail list: " << what << '\n' << kUsage << '\n';
        return 2;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string error;
        const bool hasValue = i + 1 < args.size();
        if (a == "--by" && hasValue) {
            by = ModeNamed(args[++i]);
            if (!by)
                return wrong("--by は address, name, date, filter のどれかです: " + args[i]);
        } else if ((a == "--address" || a == "--name" || a == "--date" || a == "--filter") && hasValue) {
            if (keyMode)
                return wrong("キーは 1 つだけ指定して下さい。");
            keyMode = ModeNamed(a.substr(2));
            key = args[++i];
        } else if (a == "--threads") {
            threads = true;
        } else if (output.Parse(args, i, error)) {
            if (!error.empty())
                return wrong(error);
        } else {
            return wrong("不明な引数です: " + a);
        }
    }
    std::string error;
    if (!output.Valid(error))
        return wrong(error);
    if (by && keyMode)
        return wrong("--by とキーは一緒に使えません。");
    if (!keyMode && (output.json || output.body || threads))
        return wrong("--format と --body と --threads はメールの一覧に使います。");
    try {
        const auto session = StartCommandSession(err, "list");
        if (!session)
            return 1;
        SQLite::Database& db = session->Database();
        if (!keyMode) {
            const ViewMode mode = by.value_or(ViewMode::Address);
            for (const KeyItem& item : FillKeyList(db, mode)) {
                if (mode == ViewMode::Filter)
                    out << item.filterNo << '\t';
                out << item.text << '\n';
            }
            out.flush();
            return 0;
        }
        std::unique_ptr<SubjectRowStream> stream;
        if (*keyMode == ViewMode::Filter) {
            const auto number = FindFilterNumber(db, key);
            if (!number) {
                err << "kamomail list: そのフィルターはありません: " << key << '\n';
                return 1;
            }
            stream = std::make_unique<SubjectRowStream>(db, *number);
        } else {
            stream = std::make_unique<SubjectRowStream>(db, *keyMode, key);
        }
        // Filter lines name their mail by its key; the other lists by the mail's own row.
        SubjectLineReader lines(db, stream->Source());
        MailRowReader mails(db);
        SQLite::Statement rowOf(db, "SELECT rowid FROM tblKamoMail WHERE " + MailKeyCondition("tblKamoMail"));
        // Conversations are read from the whole archive first, when asked for.
        std::optional<Conversations> conversations;
        if (threads || output.json)
            conversations.emplace(db);
        struct Listed {
            int64_t row;
            MailRecord mail;
        };
        std::vector<Listed> listed; // --threads: every line, then grouped
        auto print = [&](const Listed& l, bool reply) {
            MailThread thread;
            if (conversations)
                thread = {conversations->ThreadOf(l.row), conversations->MessageIdOf(l.row)};
            out << (reply && !output.json ? "  " : "") << output.Of(l.mail, conversations ? &thread : nullptr) << '\n';
        };
        std::vector<int64_t> rows;
        bool more = true;
        while (more) {
            rows.clear();
            more = stream->Read(rows, 1024);
            for (int64_t row : rows) {
                std::optional<MailRecord> mail;
                if (stream->Source() == SubjectSource::Mail) {
                    mail = mails.Read(row);
                } else {
                    const MailKey key = lines.Read(row).key;
                    mail = ReadMail(db, key);
                    rowOf.reset();
                    BindMailKey(rowOf, 1, key);
                    row = rowOf.executeStep() ? rowOf.getColumn(0).getInt64() : 0;
                }
                if (!mail)
                    continue;
                if (threads)
                    listed.push_back({row, std::move(*mail)});
                else
                    print({row, std::move(*mail)}, false);
            }
        }
        if (threads) {
            // Each conversation where its first listed mail stands, its listed mails in the list's
            // order (oldest first), the later ones indented under the first.
            std::map<std::string, std::vector<size_t>> byThread;
            std::vector<std::string> order;
            for (size_t i = 0; i < listed.size(); ++i) {
                auto& group = byThread[conversations->ThreadOf(listed[i].row)];
                if (group.empty())
                    order.push_back(conversations->ThreadOf(listed[i].row));
                group.push_back(i);
            }
            for (const auto& thread : order) {
                const auto& group = byThread[thread];
                for (size_t k = 0; k < group.size(); ++k)
                    print(listed[group[k]], k > 0);
            }
        }
        out.flush();
        return 0;
    } catch (const std::exception& e) {
        err << "kamomail list: 一覧の作成中にエラーが発生しました。" << ErrorText(e) << '\n';
        return 1;
    }
}

int ListCommand(const std::vector<std::string>& args) {
    return RunListCommand(args, std::cout, std::cerr);
}

} // namespace kamo
