#include "WorkbookXml.h"

#include <QProcess>
#include <QXmlStreamReader>

QByteArray unzipEntry(const QString& path, const QString& entry)
{
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), path, entry});
    if (!unzip.waitForFinished(120000))
        return {};
    return unzip.readAllStandardOutput();
}

namespace {

struct Style {
    int font = 0, fill = 0, border = 0, numFmt = 0;
    QString align;
};
struct Font {
    QString name;
    double size = 0;
    bool bold = false;
};

QString attr(const QXmlStreamReader& xml, const char* name)
{
    return xml.attributes().value(QLatin1String(name)).toString();
}

QString builtinFormat(int id)
{
    static const QMap<int, QString> known{{0, "General"}, {1, "0"}, {2, "0.00"}, {3, "#,##0"}, {4, "#,##0.00"},
                                          {9, "0%"}, {10, "0.00%"}, {11, "0.00E+00"}, {49, "@"}};
    return known.value(id, QStringLiteral("builtin %1").arg(id));
}

struct Styles {
    std::vector<Style> xfs;
    std::vector<Font> fonts;
    QStringList fills, borders;
    QMap<int, QString> formats;

    explicit Styles(const QByteArray& bytes)
    {
        QXmlStreamReader xml(bytes);
        QString section;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            const QString name = xml.name().toString();
            if (name == "fonts" || name == "fills" || name == "borders" || name == "cellXfs" || name == "cellStyleXfs")
                section = name;
            else if (name == "numFmt")
                formats.insert(attr(xml, "numFmtId").toInt(), attr(xml, "formatCode"));
            else if (section == "fonts" && name == "font")
                fonts.push_back({});
            else if (section == "fonts" && name == "b")
                fonts.back().bold = true;
            else if (section == "fonts" && name == "sz")
                fonts.back().size = attr(xml, "val").toDouble();
            else if (section == "fonts" && name == "name")
                fonts.back().name = attr(xml, "val");
            else if (section == "fills" && name == "fill")
                fills << QString();
            else if (section == "fills" && name == "fgColor")
                fills.back() = attr(xml, "rgb");
            else if (section == "borders" && name == "border")
                borders << QString();
            else if (section == "borders" && name == "left")
                borders.back() = attr(xml, "style");
            else if (section == "cellXfs" && name == "xf")
                xfs.push_back({attr(xml, "fontId").toInt(), attr(xml, "fillId").toInt(), attr(xml, "borderId").toInt(),
                               attr(xml, "numFmtId").toInt(), {}});
            else if (section == "cellXfs" && name == "alignment")
                xfs.back().align = attr(xml, "horizontal");
        }
    }

    void apply(int s, XmlCell& cell) const
    {
        if (s < 0 || size_t(s) >= xfs.size())
            return;
        const Style& st = xfs[size_t(s)];
        if (size_t(st.font) < fonts.size()) {
            cell.font = fonts[size_t(st.font)].name;
            cell.size = fonts[size_t(st.font)].size;
            cell.bold = fonts[size_t(st.font)].bold;
        }
        cell.fill = fills.value(st.fill);
        cell.border = borders.value(st.border);
        cell.align = st.align;
        cell.numberFormat = formats.value(st.numFmt, builtinFormat(st.numFmt));
    }
};

QStringList sharedStrings(const QByteArray& bytes)
{
    QStringList strings;
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("si"))
            strings << QString();
        else if (xml.name() == QLatin1String("t"))
            strings.back() += xml.readElementText();
    }
    return strings;
}

XmlSheet readSheet(const QByteArray& bytes, const Styles& styles, const QStringList& shared)
{
    XmlSheet sheet;
    QXmlStreamReader xml(bytes);
    XmlCell* cell = nullptr;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name() == QLatin1String("c"))
            cell = nullptr;
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString();
        if (name == "sheetFormatPr") {
            sheet.defaultRowHeight = attr(xml, "defaultRowHeight").toDouble();
        } else if (name == "col") {
            for (int c = attr(xml, "min").toInt(); c <= attr(xml, "max").toInt(); ++c)
                sheet.columnWidths.insert(c, attr(xml, "width").toDouble());
        } else if (name == "row") {
            ++sheet.rows;
            if (attr(xml, "customHeight") == "1")
                sheet.rowHeights.insert(attr(xml, "r").toInt(), attr(xml, "ht").toDouble());
        } else if (name == "c") {
            cell = &sheet.cells[attr(xml, "r")];
            cell->type = attr(xml, "t");
            if (cell->type.isEmpty())
                cell->type = QStringLiteral("blank");
            styles.apply(attr(xml, "s").toInt(), *cell);
        } else if (cell && name == "v") {
            cell->value = xml.readElementText();
            if (cell->type == "blank")
                cell->type = QStringLiteral("n");
            if (cell->type == "s")
                cell->value = shared.value(cell->value.toInt());
        } else if (cell && name == "t") {
            cell->value += xml.readElementText();
        } else if (name == "mergeCell") {
            sheet.merged << attr(xml, "ref");
        }
    }
    return sheet;
}

} // namespace

XmlWorkbook readWorkbook(const QString& path)
{
    XmlWorkbook book;
    const Styles styles(unzipEntry(path, QStringLiteral("xl/styles.xml")));
    const QStringList shared = sharedStrings(unzipEntry(path, QStringLiteral("xl/sharedStrings.xml")));
    QXmlStreamReader xml(unzipEntry(path, QStringLiteral("xl/workbook.xml")));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("sheet")) {
            book.sheetNames << attr(xml, "name");
        } else if (xml.name() == QLatin1String("definedName")) {
            const QString key = attr(xml, "name") + QLatin1Char('#') + attr(xml, "localSheetId");
            book.definedNames.insert(key, xml.readElementText());
        }
    }
    for (qsizetype i = 0; i < book.sheetNames.size(); ++i)
        book.sheets.push_back(readSheet(unzipEntry(path, QStringLiteral("xl/worksheets/sheet%1.xml").arg(i + 1)),
                                        styles, shared));
    return book;
}
