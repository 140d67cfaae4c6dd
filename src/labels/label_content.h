#pragma once
// What a box-detail label shows of one box, as the composer lays it out.
// Where it comes from (the database, a test's rows) is no concern here.

#include <QString>
#include <QStringList>
#include <QVector>

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

} // namespace velmar
