#pragma once
// A small archive for the tests of the look-up tables and the lists built on them.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/MailRecord.h"
#include "db/LookupLists.h"
#include "testsupport/TestSupport.h"

namespace kamo::test {

inline MailRecord Mail(std::string ymd, std::string hms, bool sent, std::string sndName, std::string sndAdd,
                       std::string rcvName, std::string rcvAdd, std::string subject, int64_t subKey = 0) {
    const std::string body = "本文 " + subject;
    return MailBuilder()
        .Date(std::move(ymd), std::move(hms))
        .SubKey(subKey)
        .Sent(sent)
        .From(std::move(sndName), std::move(sndAdd))
        .To(std::move(rcvName), std::move(rcvAdd))
        .Subject(std::move(subject))
        .Body(body)
        .Build();
}

// The owner (kamo) writes to and hears from two friends over three days.
class OwnerMailTest : public ::testing::Test {
protected:
    void SetUp() override {
        db_ = test::MemoryArchive();
        auto& db = *db_;
        test::InsertTestMail(db, Mail("2002/03/01", "09:00:00", false, "太郎", "taro@example.jp", "かも",
                                      "kamo@example.jp", "おはよう"));
        test::InsertTestMail(
            db, Mail("2002/03/01", "08:00:00", true, "かも", "kamo@example.jp", "太郎", "taro@example.jp", "早起き"));
        test::InsertTestMail(db, Mail("2002/03/01", "08:00:00", true, "かも", "kamo@example.jp", "花子",
                                      "hana@example.jp", "同じ時刻の二通目", 1));
        test::InsertTestMail(db, Mail("2001/12/24", "20:00:00", false, "花子", "HANA@example.jp", "かも",
                                      "kamo@example.jp", "メリークリスマス"));
        test::InsertTestMail(db, Mail("2003/01/01", "00:00:01", false, "花子", "hana@example.jp", "かも",
                                      "kamo@example.jp", "あけおめ"));
        RebuildAddressList(db);
        RebuildNameList(db);
    }
    std::unique_ptr<SQLite::Database> db_;
};

} // namespace kamo::test
