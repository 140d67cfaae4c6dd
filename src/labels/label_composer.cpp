#include "labels/label_composer.h"

namespace velmar {

namespace {

constexpr int kCustomerChars = 12;
constexpr int kMarkChars = 15;
constexpr int kBunchesChars = 14;

// A value cut to the room its field has, counted in letters as they print: a
// name stored decomposed keeps its last letter's accent and its full length.
QString shortened(const QString& value, int letters) {
    return value.normalized(QString::NormalizationForm_C).left(letters);
}

template <typename... F> struct Overloaded : F... { using F::operator()...; };

Epl2Text text(int x, int y, TextStyle s, QStringList pieces) {
    Epl2Text t;
    t.x = x;
    t.y = y;
    t.font = s.font;
    t.hMult = s.hMult;
    t.vMult = s.vMult;
    t.pieces = std::move(pieces);
    return t;
}

QStringList pieces(const TextField& f, const BoxData& d) {
    switch (f.value) {
    case LabelValue::Fixed:
        return {f.fixed};
    case LabelValue::Customer:
        return {shortened(d.customer, kCustomerChars)};
    case LabelValue::ColourClass:
        return {d.colourClass};
    case LabelValue::BoxTag:
        return {QStringLiteral("[# ") + d.box + QStringLiteral(" ]")};
    case LabelValue::Mark:
        return {shortened(d.mark, kMarkChars)};
    case LabelValue::MasterWaybill:
        return {QStringLiteral("AWB #") + d.masterWaybill};
    case LabelValue::HouseWaybill:
        return {QStringLiteral("HAWB #") + d.houseWaybill};
    case LabelValue::TotalBunches:
        return {QStringLiteral("TOTAL  "), QString::number(d.bunches)};
    case LabelValue::TotalStems:
        return {QStringLiteral("STEMS ") + QString::number(d.stems)};
    }
    return {};
}

// The coordinate of the last heading equal to `value`, or `stray`. Only
// headings read take part: an empty value must not land on a row that has no
// heading.
int place(const QStringList& headings, const QString& value, int stray, int first, int step) {
    int p = stray;
    for (int m = 0; m < headings.size(); ++m)
        if (headings[m] == value)
            p = first + step * m;
    return p;
}

void addGrid(GridPart part, const GridGeometry& g, const BoxData& d, Epl2Document& doc) {
    switch (part) {
    case GridPart::ColumnHeadings:
        for (int i = 0; i < d.columns.size(); ++i)
            doc.commands.append(
                text(g.columnX + g.columnStep * i, g.columnY, g.columnStyle, {d.columns[i]}));
        break;
    case GridPart::RowHeadings:
        for (int j = 0; j < d.rows.size() && j < g.rowsPrinted; ++j)
            doc.commands.append(text(g.rowX, g.rowY + g.rowStep * j, g.rowStyle,
                                     {shortened(d.rows[j], g.rowChars)}));
        break;
    case GridPart::Entries:
        for (int k = 0; k < d.entries.size() && k < g.entriesPrinted; ++k) {
            const GridEntry& e = d.entries[k];
            doc.commands.append(text(place(d.columns, e.column, g.strayX, g.entryX, g.columnStep),
                                     place(d.rows, e.row, g.strayY, g.rowY, g.rowStep),
                                     g.entryStyle, {shortened(e.bunches, kBunchesChars)}));
        }
        break;
    }
}

} // namespace

Epl2Document composeLabel(const LabelLayout& layout, const BoxData& data) {
    Epl2Document doc;
    doc.commands.append(Epl2Clear{});
    for (const QString& s : layout.settings)
        doc.commands.append(Epl2Setting{s});
    for (const LayoutItem& item : layout.items)
        std::visit(Overloaded{
                       [&](const TextField& f) {
                           doc.commands.append(text(f.x, f.y, f.style, pieces(f, data)));
                       },
                       [&](const Rule& r) {
                           doc.commands.append(
                               Epl2Line{Epl2Line::Ink::Black, r.x, r.y, r.width, r.thickness});
                       },
                       [&](GridPart part) { addGrid(part, layout.grid, data, doc); },
                   },
                   item);
    doc.commands.append(Epl2Print{layout.copies});
    // a blank line closes the job
    doc.commands.append(Epl2Setting{QString()});
    return doc;
}

} // namespace velmar
