#pragma once
// Everything a box-detail label shows of one box, gathered from the database
// in one pass before anything is laid out.

#include "labels/label_layouts.h"
#include "station/context.h"

#include <QVector>

#include <optional>

namespace velmar {

struct GridEntry {
    QString row;     // short variety name
    QString column;  // stem length
    QString bunches; // as the work table gives it
};

struct BoxData {
    QString packing;
    QString box;
    QString masterWaybill; // the parts of prepacking.guia_aerea around "/"
    QString houseWaybill;
    QString colourClass;
    QString customer; // of the box's first row
    QString mark;
    QStringList columns;        // up to four
    QStringList rows;           // as many as the label reads back
    QVector<GridEntry> entries; // up to thirty
    qint64 bunches = 0;         // totals of those entries
    qint64 stems = 0;
};

// Runs the label's queries in their order; nothing when the box has no
// bunches. Sets st.guia_actual as the form always has. Throws DbError.
std::optional<BoxData> gatherBoxData(Station& st, const QString& packing, const QString& box,
                                     const BoxQueries& queries);

} // namespace velmar
