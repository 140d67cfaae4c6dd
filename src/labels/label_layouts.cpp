#include "labels/label_layouts.h"

namespace velmar {

namespace {

const QString kRegistration = QStringLiteral("EC42-QMBR-07-3316");
const QString kVariety = QStringLiteral("VARIETY");

constexpr TextStyle k222{2, 2, 2};
constexpr TextStyle k312{3, 1, 2};
constexpr TextStyle k321{3, 2, 1};
constexpr TextStyle k322{3, 2, 2};
constexpr TextStyle k422{4, 2, 2};
constexpr TextStyle k423{4, 2, 3};
constexpr TextStyle k433{4, 3, 3};

const QStringList kStandardSettings = {QStringLiteral("S2"), QStringLiteral("D8"),
                                       QStringLiteral("ZT"), QStringLiteral("TTh:m"),
                                       QStringLiteral("TDy2.mn.dd")};

TextField fixed(int x, int y, TextStyle style, const QString& text) {
    return {x, y, style, LabelValue::Fixed, text};
}

} // namespace

const LabelLayout& smallLabel() {
    using enum LabelValue;
    static const LabelLayout layout{
        .queries = {.waybillFirst = true,
                    .colour = ColourRule::RedRainbowColour,
                    .columnOrder = QString(),
                    .rowsRead = 12},
        .settings =
            QStringList{QStringLiteral("q680"), QStringLiteral("Q795, 5 + 0")} + kStandardSettings,
        .items = {fixed(50, 5, k322, kRegistration), fixed(15, 50, k433, QString()),
                  Rule{24, 115, 625, 2}, TextField{20, 130, k422, Customer},
                  TextField{450, 130, k422, ColourClass}, Rule{24, 180, 625, 2},
                  fixed(55, 200, k322, kVariety), TextField{450, 200, k322, BoxTag},
                  GridPart::ColumnHeadings, Rule{24, 250, 625, 2}, GridPart::RowHeadings,
                  GridPart::Entries, Rule{24, 760, 625, 2}, TextField{47, 780, k321, TotalBunches},
                  TextField{387, 780, k321, TotalStems}, TextField{47, 810, k322, Mark},
                  TextField{50, 850, k322, MasterWaybill},
                  // the house waybill goes into the band that the empty line at 50
                  // leaves under the registration code: inside the form, clear of "AWB #"
                  TextField{50, 60, k322, HouseWaybill}},
        .grid = {.columnX = 300,
                 .columnStep = 70,
                 .columnY = 210,
                 .columnStyle = k312,
                 .rowX = 60,
                 .rowY = 265,
                 .rowStep = 40,
                 .rowsPrinted = 12,
                 .rowChars = 15,
                 .rowStyle = k312,
                 .entryX = 300,
                 .entriesPrinted = 30,
                 .entryStyle = k312},
        .copies = 2};
    return layout;
}

const LabelLayout& boxLabel() {
    using enum LabelValue;
    static const LabelLayout layout{
        .queries = {.waybillFirst = false,
                    .colour = ColourRule::RedRainbowColour,
                    .columnOrder = QStringLiteral(" order by 1"),
                    .rowsRead = 14},
        .settings = {},
        .items = {fixed(10, 10, k422, QStringLiteral("QUIMBARO/MIRDAROSES")),
                  fixed(10, 60, k322, kRegistration),
                  Rule{24, 100, 825, 2},
                  TextField{10, 110, k322, MasterWaybill},
                  TextField{10, 150, k322, HouseWaybill},
                  Rule{24, 190, 825, 2},
                  fixed(100, 200, k423, QStringLiteral("ROSES")),
                  TextField{470, 210, k322, BoxTag},
                  Rule{24, 264, 825, 2},
                  TextField{15, 270, k423, Customer},
                  TextField{450, 290, k322, ColourClass},
                  Rule{24, 340, 825, 2},
                  fixed(40, 360, k322, kVariety),
                  GridPart::ColumnHeadings,
                  Rule{24, 410, 825, 2},
                  GridPart::RowHeadings,
                  GridPart::Entries,
                  Rule{24, 740, 625, 2},
                  TextField{47, 760, k322, TotalBunches},
                  TextField{47, 800, k321, TotalStems},
                  Rule{24, 830, 825, 2},
                  TextField{40, 850, k322, Mark}},
        // only seven rows and seven entries fit; the totals count up to thirty
        .grid = {.columnX = 355,
                 .columnStep = 95,
                 .columnY = 360,
                 .columnStyle = k322,
                 .rowX = 50,
                 .rowY = 425,
                 .rowStep = 45,
                 .rowsPrinted = 7,
                 .rowChars = 14,
                 .rowStyle = k222,
                 .entryX = 378,
                 .entriesPrinted = 7,
                 .entryStyle = k222},
        .copies = 2};
    return layout;
}

const LabelLayout& bouquetLabel() {
    using enum LabelValue;
    static const LabelLayout layout{
        .queries = {.waybillFirst = false,
                    .colour = ColourRule::Bouquet,
                    .columnOrder = QStringLiteral(" order by 1"),
                    .rowsRead = 14},
        .settings = QStringList{QStringLiteral("q816"), QStringLiteral("Q1269 , 24 + 0")} +
                    kStandardSettings,
        .items = {fixed(50, 10, k322, kRegistration),
                  TextField{50, 70, k322, MasterWaybill},
                  TextField{50, 140, k322, HouseWaybill},
                  Rule{24, 198, 825, 2},
                  TextField{36, 215, k422, ColourClass},
                  fixed(426, 212, k322, QStringLiteral("QUIMBARO")),
                  fixed(426, 260, k322, QStringLiteral("MIRDA ROSES")),
                  Rule{24, 320, 825, 2},
                  TextField{55, 330, k423, Customer},
                  TextField{550, 330, k322, BoxTag},
                  Rule{24, 400, 825, 2},
                  fixed(40, 410, k322, kVariety),
                  GridPart::ColumnHeadings,
                  Rule{24, 450, 825, 2},
                  GridPart::RowHeadings,
                  GridPart::Entries,
                  Rule{24, 1110, 825, 2},
                  TextField{60, 1130, k322, TotalBunches},
                  TextField{450, 1130, k322, TotalStems},
                  Rule{24, 1170, 825, 2},
                  TextField{40, 1200, k322, Mark}},
        .grid = {.columnX = 405,
                 .columnStep = 95,
                 .columnY = 410,
                 .columnStyle = k322,
                 .rowX = 50,
                 .rowY = 465,
                 .rowStep = 45,
                 .rowsPrinted = 14,
                 .rowChars = 14,
                 .rowStyle = k222,
                 .entryX = 408,
                 .entriesPrinted = 30,
                 .entryStyle = k222},
        .copies = 2};
    return layout;
}

} // namespace velmar
