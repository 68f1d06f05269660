#pragma once
// The records window's filter as SQL, for the local store and the shared
// server alike: each text found anywhere in its column, the date at the
// start of written_at. `position` is the database's own "where is this text
// in that column" function (instr, strpos), so that % and _ are plain
// characters.
#include <QString>
#include <QVariantList>

#include "platform/RecordStore.h"

namespace kv::desktop {

inline QString filterClause(const platform::RowFilter& filter, const char* position, QVariantList& values) {
    QString where;
    // `caseless`: letters in either case are the same (a MAC's hex digits).
    auto contains = [&](const char* column, const std::string& text, bool atStart = false, bool caseless = false) {
        if (text.empty()) return;
        const QString field = caseless ? QString("upper(") + column + ")" : QString(column);
        where += QString(where.isEmpty() ? " WHERE " : " AND ") + position + "(" + field + ", " +
                 (caseless ? "upper(?)" : "?") + ") " + (atStart ? "= 1" : "> 0");
        values << QString::fromStdString(text);
    };
    contains("asset_id", filter.asset);
    contains("mac", filter.mac, false, true);
    contains("client_id", filter.client);
    contains("station", filter.station);
    contains("written_at", filter.date, true);
    contains("verified", filter.verified);
    return where;
}

}  // namespace kv::desktop
