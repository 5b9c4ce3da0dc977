#pragma once
// The years at a glance under the lists (表示 → 年ごとのメール): the months' mail of what the view
// shows, counted again each time it is asked while the picture is shown, nothing counted while hidden.
#include <QString>

#include <SQLiteCpp/Database.h>

#include "browse/QtMonthChart.h"
#include "browse/ViewModes.h"

namespace kamo {

class Prompter;
struct KeyItem;

class QtYearsPicture : public QtMonthChart {
    Q_OBJECT
public:
    QtYearsPicture(Prompter& prompter, QWidget* parent = nullptr);

    // Counts `key`'s mail (a key of `mode`, the address or name view) or, without a key, the whole
    // archive's, and marks `month` ("yyyy/mm") of the key; only emptied while hidden. A failing
    // archive is told through the prompter.
    void Count(SQLite::Database& db, ViewMode mode, const KeyItem* key, const QString& month);

private:
    Prompter& prompter_;
};

} // namespace kamo
