#pragma once
// Helpers of the window tests that drive the filter editor: finding and working its controls, and
// reading back what it stored.
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QtTest>
#include <string>
#include <utility>
#include <vector>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include "filters/frmFilter.h"

namespace kamo::test {

inline QString U(const char* text) {
    return QString::fromUtf8(text);
}

template <typename T> T* Find(QWidget* w, const char* name) {
    T* child = w->findChild<T*>(name);
    if (!child)
        qFatal("control %s not found", name);
    return child;
}

struct Stored {
    int no;
    int rule;
    int action;
    std::string header;
    bool operator==(const Stored&) const = default;
};

inline std::vector<Stored> StoredFilters(SQLite::Database& db) {
    std::vector<Stored> rows;
    SQLite::Statement q(db, "SELECT tblFilter_No, tblFilter_TermsCode, tblFilter_ActionCode, tblFilter_Header "
                            "FROM tblFilter ORDER BY tblFilter_No");
    while (q.executeStep())
        rows.push_back(
            {q.getColumn(0).getInt(), q.getColumn(1).getInt(), q.getColumn(2).getInt(), q.getColumn(3).getString()});
    return rows;
}

inline std::vector<std::pair<int, std::string>> FilterData(SQLite::Database& db) {
    std::vector<std::pair<int, std::string>> rows;
    SQLite::Statement q(db, "SELECT tblFilterDt_No, tblFilterDt_Subject FROM tblFilterData ORDER BY tblFilterDt_Id");
    while (q.executeStep())
        rows.emplace_back(q.getColumn(0).getInt(), q.getColumn(1).getString());
    return rows;
}

inline void Fill(frmFilter& w, const char* header, int rule, int action, const char* terms) {
    Find<QLineEdit>(&w, "txtFilterHeader")->setText(U(header));
    Find<QLineEdit>(&w, "txtTerms")->setText(U(terms));
    if (rule >= 0)
        Find<QRadioButton>(&w, QString("optTerms_%1").arg(rule).toLatin1().constData())->setChecked(true);
    if (action >= 0)
        Find<QRadioButton>(&w, QString("optAct_%1").arg(action).toLatin1().constData())->setChecked(true);
}

inline void Click(QWidget* w, const char* name) {
    QTest::mouseClick(Find<QPushButton>(w, name), Qt::LeftButton);
}

inline void ClickRow(frmFilter& w, int row) {
    auto* grid = Find<QTableWidget>(&w, "grdFilter");
    QTableWidgetItem* item = grid->item(row, 0);
    QVERIFY(item);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualItemRect(item).center());
}

} // namespace kamo::test
