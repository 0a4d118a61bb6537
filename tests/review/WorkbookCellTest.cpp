#include "review/WorkbookCell.h"

#include <gtest/gtest.h>

namespace {

using Kind = CellValue::Kind;
using Style = NumberStyle::Kind;

struct Typed {
    const char16_t* text;
    Kind kind;
    double number = 0;
    Style style = Style::General;
    int decimals = 0;
};

Regional separators(char16_t thousands, char16_t decimal)
{
    Regional r = Regional::plain();
    r.thousands = QChar(thousands);
    r.decimal = QChar(decimal);
    return r;
}

void expectTyped(const std::vector<Typed>& table, const Regional& regional)
{
    for (const Typed& t : table) {
        const QString text = QString::fromUtf16(t.text);
        std::vector<CellValue> readings{interpretTyped(text, regional)};
        const QByteArray latin = text.toLatin1();
        if (text == QString::fromLatin1(latin)) // the ASCII path must agree
            readings.push_back(interpretTyped(latin.constData(), latin.size(), regional));
        for (const CellValue& v : readings) {
            SCOPED_TRACE(text.toStdString());
            EXPECT_EQ(v.kind, t.kind);
            if (t.kind != Kind::Number)
                continue;
            EXPECT_DOUBLE_EQ(v.number, t.number);
            EXPECT_EQ(v.style.kind, t.style);
            EXPECT_EQ(v.style.decimals, t.decimals);
        }
    }
}

} // namespace

TEST(WorkbookCell, TypedTextReadsAsASpreadsheetReadsIt)
{
    expectTyped({
        {u"", Kind::Blank},
        {u"   ", Kind::Text},
        {u"0", Kind::Number, 0},
        {u"123.4", Kind::Number, 123.4},
        {u"-5", Kind::Number, -5},
        {u"+7", Kind::Number, 7},
        {u" 42 ", Kind::Number, 42},
        {u"007", Kind::Number, 7},
        {u".5", Kind::Number, 0.5},
        {u"5.", Kind::Number, 5},
        {u"1,234", Kind::Number, 1234, Style::Grouped, 0},
        {u"1,234.5", Kind::Number, 1234.5, Style::Grouped, 1},
        {u"-1,234,567", Kind::Number, -1234567, Style::Grouped, 0},
        {u"1e3", Kind::Number, 1000, Style::Scientific},
        {u"1.5E-2", Kind::Number, 0.015, Style::Scientific},
        {u"12%", Kind::Number, 0.12, Style::Percent, 0},
        {u"12.5%", Kind::Number, 0.125, Style::Percent, 2},
        {u"(5)", Kind::Number, -5},
        {u"12,34", Kind::Text},
        {u"1,2345", Kind::Text},
        {u"1234,567", Kind::Text},
        {u",123", Kind::Text},
        {u"1,234,", Kind::Text},
        {u"1,234e5", Kind::Text},
        {u"(-5)", Kind::Text},
        {u"--5", Kind::Text},
        {u"1.2.3", Kind::Text},
        {u"1e", Kind::Text},
        {u"1e400", Kind::Text},
        {u"0x10", Kind::Text},
        {u"20240105/143023", Kind::Text},
        {u"20240105143023x", Kind::Text},
        {u"2024/01/05", Kind::Text},
        {u"=1+1", Kind::Text},
        {u"TRUE", Kind::Text},
        {u"온도", Kind::Text},
    }, Regional::plain());
}

TEST(WorkbookCell, RegionalSeparatorsAreUnderstood)
{
    expectTyped({
        {u"1.234", Kind::Number, 1234, Style::Grouped, 0},
        {u"1,5", Kind::Number, 1.5},
        {u"1.234,5", Kind::Number, 1234.5, Style::Grouped, 1},
        {u"1,234.5", Kind::Text},
        {u"1.5", Kind::Text},
    }, separators(u'.', u','));
    expectTyped({
        {u"1 234,5", Kind::Number, 1234.5, Style::Grouped, 1},
        {u"1\u202F234", Kind::Number, 1234, Style::Grouped, 0},
        {u"1 23", Kind::Text},
    }, separators(u'\u202F', u','));
}

TEST(WorkbookCell, NumberStylesGiveTheFormatsThatShowTheTypedText)
{
    const std::vector<std::pair<NumberStyle, QString>> table{
        {{Style::General, 0}, ""},
        {{Style::Grouped, 0}, "#,##0"},
        {{Style::Grouped, 2}, "#,##0.00"},
        {{Style::Percent, 0}, "0%"},
        {{Style::Percent, 2}, "0.00%"},
        {{Style::Scientific, 0}, "0.00E+00"},
    };
    for (const auto& [style, code] : table)
        EXPECT_EQ(style.formatCode(), code);
}

TEST(WorkbookCell, ColumnLettersAndLastCell)
{
    const std::vector<std::pair<int, QString>> letters{
        {1, "A"}, {5, "E"}, {26, "Z"}, {27, "AA"}, {52, "AZ"}, {53, "BA"}, {702, "ZZ"}, {703, "AAA"}, {16384, "XFD"}};
    for (const auto& [column, text] : letters)
        EXPECT_EQ(columnLetters(column), text) << column;
    EXPECT_EQ(lastCellReference(3, 3), "C5");
    EXPECT_EQ(lastCellReference(27, 1048574), "AA1048576");
}

TEST(WorkbookCell, WideCharactersCountTwice)
{
    EXPECT_EQ(displayUnits(u"Date/Time"), 9);
    EXPECT_EQ(displayUnits(u"온도 1"), 6);
}
