#pragma once
// The three box-detail labels described as data: where each field goes, in
// which font, and which value of the box it shows, plus where the grid of
// stem lengths by variety is drawn.

#include <QString>
#include <QStringList>
#include <QVector>

#include <variant>

namespace velmar {

// A resident font and its multipliers.
struct TextStyle {
    int font;
    int hMult;
    int vMult;
};

enum class LabelValue {
    Fixed,         // the field's own text
    Customer,      // the first 12 characters of the customer's name
    ColourClass,   // RED, RAINBOW, COLOR; BQT RED, BQT COL
    BoxTag,        // "[# " box " ]"
    Mark,          // the first 15 characters of the box's mark
    MasterWaybill, // "AWB #" and the waybill's first part
    HouseWaybill,  // "HAWB #" and its second part
    TotalBunches,  // "TOTAL  " and the count, as two quoted pieces
    TotalStems,    // "STEMS " and the sum
};

struct TextField {
    int x;
    int y;
    TextStyle style;
    LabelValue value;
    QString fixed = {};
};

struct Rule {
    int x;
    int y;
    int width;
    int thickness;
};

// Where the grid's three parts go in the label's command order.
enum class GridPart { ColumnHeadings, RowHeadings, Entries };

using LayoutItem = std::variant<TextField, Rule, GridPart>;

// Columns are stem lengths, rows short variety names; an entry, the bunches
// of one variety and length, lands where its row and column meet.
struct GridGeometry {
    int columnX;
    int columnStep;
    int columnY;
    TextStyle columnStyle;
    int rowX;
    int rowY;
    int rowStep;
    int rowsPrinted;
    int rowChars; // a row heading is cut to this many characters
    TextStyle rowStyle;
    int entryX; // the first column's x for entries, right of its heading
    int entriesPrinted;
    TextStyle entryStyle;
    // An entry whose row or column has no heading goes here.
    int strayX = 400;
    int strayY = 255;
};

enum class ColourRule {
    RedRainbowColour, // RED when any variety is red, else RAINBOW, else COLOR
    Bouquet,          // BQT RED when the first red variety's colour is RED or ROJO
};

// What a label needs of the database besides the box's own rows.
struct BoxQueries {
    bool waybillFirst; // the waybill is looked up before the box (and even without bunches)
    ColourRule colour;
    QString columnOrder; // appended to the column headings' query
    int rowsRead;        // row headings read back, printed or not: entries fall on them
};

struct LabelLayout {
    BoxQueries queries;
    QStringList settings; // after N: the form and printer settings
    QVector<LayoutItem> items;
    GridGeometry grid;
    int copies;
};

const LabelLayout& smallLabel();   // imprimir_detalle_peq: 680 dots wide
const LabelLayout& boxLabel();     // imprimir_detalle: the size the printer keeps
const LabelLayout& bouquetLabel(); // imprimir_detalle_bqt: 816 x 1269 dots

} // namespace velmar
