#pragma once
#include <QMap>
#include <QString>
#include <QStringList>
#include <vector>

// A workbook read back from its zip archive (with `unzip -p`), reduced to
// what the export promises: cells with their types and looks, merged ranges,
// row heights, column widths and defined names.
struct XmlCell {
    QString type;   // "n" number, "inlineStr" / "s" / "str" text, "" blank
    QString value;  // number or text
    QString font;   // font name
    double size = 0;
    bool bold = false;
    QString fill;   // "FF00DCE1" or ""
    QString border; // left border style, "thin" or ""
    QString align;  // horizontal alignment or ""
    QString numberFormat; // format code, "General" for none

    friend bool operator==(const XmlCell&, const XmlCell&) = default;
};

struct XmlSheet {
    QMap<QString, XmlCell> cells; // by reference, "A1"
    QStringList merged;           // "A1:C1"
    int rows = 0;                 // rows holding cells
    QMap<int, double> columnWidths; // by 1-based column
    QMap<int, double> rowHeights;   // by 1-based row, custom heights
    double defaultRowHeight = 0;
};

struct XmlWorkbook {
    std::vector<XmlSheet> sheets;
    QStringList sheetNames;
    QMap<QString, QString> definedNames; // "_xlnm.Print_Area" of sheet 1 as "'Sheet1'!$A$1:$C$5" etc.
};

// Throws nothing; a failed unzip gives an empty workbook.
[[nodiscard]] XmlWorkbook readWorkbook(const QString& path);
[[nodiscard]] QByteArray unzipEntry(const QString& path, const QString& entry);
