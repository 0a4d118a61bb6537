#pragma once
#include "review/SampleTable.h"
#include "review/WorkbookCell.h"

#include <QHash>
#include <QString>
#include <memory>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

struct ExportOptions {
    static constexpr qint64 kSheetRows = 1048576;   // rows of one sheet
    static constexpr int kSheetColumns = 16384;     // columns of one sheet
    static constexpr int kCellCharacters = 32767;   // characters of one cell

    qint64 sheetRowLimit = kSheetRows; // title and header rows included
    // Zip the finished workbook on a thread of its own (a month's workbook
    // takes seconds), so the window's thread only looks whether it is done.
    bool closeInBackground = false;
};

// The folder workbooks are made in: the temporary folder, or when that is
// missing or not a folder, /tmp or the home folder (the first that exists).
[[nodiscard]] QString workbookFolder();

// A new file in `folder` named after the record file: "run.xlsx", or
// "run (2).xlsx" and so on when that name is taken. The empty file is created
// to hold the name. Throws KeloError when no name can be taken.
[[nodiscard]] QString reserveWorkbookPath(const QString& folder, const QString& recordFileName);

// Copies the sample grid into a workbook, a slice of rows at a time:
// row 1 the title merged over the used width (휴먼옛체 bold 14, centred),
// row 2 the grid's headers centred on the header colour, the samples from
// row 3; 굴림체 9 and thin borders from A2 to the last cell; column widths
// fitted to the longest text. Samples beyond one sheet continue on further
// sheets that repeat the title and header rows.
//
// The first pass reads every cell to fit the widths and to refuse a grid a
// sheet cannot hold; the workbook is only started after it. libxlsxwriter
// runs in constant-memory mode, so rows go out in order and memory does not
// grow with the row count.
class WorkbookExport {
public:
    enum class Phase { Measuring, Writing, Closing, Done, Failed };

    WorkbookExport(const SampleTable& table, const QString& title, const Regional& regional,
                   const QString& folder, const QString& recordFileName, ExportOptions options = {});
    // An unfinished workbook is dropped and its file removed; one being
    // closed in the background is removed once its thread is done.
    ~WorkbookExport();
    WorkbookExport(const WorkbookExport&) = delete;
    WorkbookExport& operator=(const WorkbookExport&) = delete;

    // Handles up to `rows` more sample rows of the current pass. Throws
    // KeloError with the operator's message when the grid cannot go into a
    // workbook; nothing has been written then.
    Phase step(qint64 rows);
    [[nodiscard]] Phase phase() const { return m_phase; }
    [[nodiscard]] qint64 rowsWritten() const { return m_written; }
    [[nodiscard]] QString path() const { return m_path; }
    [[nodiscard]] QString failure() const { return m_failure; } // why it Failed
    [[nodiscard]] qint64 rowsPerSheet() const { return m_rowsPerSheet; }
    [[nodiscard]] const std::vector<double>& columnWidths() const { return m_widths; }

private:
    enum class Role { Title, Header, Data };

    void checkLayout();
    void measureRow(qint64 row);
    void measureText(int column, const QString& what, QByteArrayView bytes);
    bool open();
    bool startSheet();
    bool writeRow(qint64 row);
    bool writeTyped(int sheetRow, int column, const CellValue& value, const char* utf8, Role role);
    bool writeText(int sheetRow, int column, const QString& text, Role role);
    bool writeField(int sheetRow, int column, QByteArrayView bytes, bool typed);
    lxw_format* format(Role role, NumberStyle style = {});
    void fail(const QString& why);
    void drop();
    Phase close();
    Phase checkClosed();

    const SampleTable& m_table;
    QString m_title;
    Regional m_regional;
    QString m_folder;
    QString m_recordName;
    ExportOptions m_options;
    Phase m_phase = Phase::Measuring;
    qint64 m_measured = 0;
    qint64 m_written = 0;
    qint64 m_rowsPerSheet = 0;
    std::vector<int> m_units;
    std::vector<double> m_widths;
    QString m_path;
    QString m_failure;
    struct Closing;
    std::shared_ptr<Closing> m_closing;
    lxw_workbook* m_workbook = nullptr;
    lxw_worksheet* m_sheet = nullptr;
    int m_sheetRow = 0;
    QHash<int, lxw_format*> m_formats;
    std::string m_utf8;
    std::vector<QByteArrayView> m_fields; // of the row at hand
};

// Runs every step at once; the finished workbook's path, or KeloError.
QString exportWorkbook(const SampleTable& table, const QString& title, const Regional& regional,
                       const QString& folder, const QString& recordFileName, ExportOptions options = {});
