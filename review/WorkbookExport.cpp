#include "review/WorkbookExport.h"

#include "settings/KeloError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>
#include <xlsxwriter.h>

namespace {

// The header row's background: red 0, green 220, blue 225 (stored red-low).
constexpr int kHeaderColour = 14801920;
constexpr double kTitleRowHeight = 20.25;
constexpr double kDataRowHeight = 12.0;
// Sheet XML past this many cells may outgrow a plain zip archive.
constexpr qint64 kZip64Cells = 20'000'000;

lxw_color_t spreadsheetColour(int value)
{
    return lxw_color_t(((value & 0xFF) << 16) | (value & 0xFF00) | ((value >> 16) & 0xFF));
}

// Column width in the sheet's units (characters of its default font) for a
// text of `units` characters of 굴림체 9.
double widthFor(int units)
{
    return std::clamp(units * 0.86 + 1.2, 2.0, 255.0);
}

QString tooLong(const QString& where, qsizetype characters)
{
    return QStringLiteral("엑셀변환을 할 수 없습니다.\r\n%1의 내용이 %2자로, 한 셀에 넣을 수 있는 32,767자를 넘습니다.")
        .arg(where, groupedCount(characters, Regional::plain()));
}

QString withoutNul(QString text)
{
    return text.replace(QChar(0), QChar(0xFFFD));
}

} // namespace

QString workbookFolder()
{
    for (const QString& folder : {QDir::tempPath(), QStringLiteral("/tmp"), QDir::homePath()})
        if (QFileInfo(folder).isDir())
            return QFileInfo(folder).absoluteFilePath();
    return QDir::tempPath();
}

QString reserveWorkbookPath(const QString& folder, const QString& recordFileName)
{
    QString base = QFileInfo(recordFileName).completeBaseName();
    if (base.isEmpty())
        base = QStringLiteral("Data");
    const QDir dir(folder);
    for (int n = 1; n < 10000; ++n) {
        const QString name = n == 1 ? base + QStringLiteral(".xlsx")
                                    : QStringLiteral("%1 (%2).xlsx").arg(base).arg(n);
        const QString path = dir.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return path;
        if (!QFileInfo::exists(path))
            throw KeloError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
    }
    throw KeloError(QStringLiteral("Cannot create a new file for \"%1\" in \"%2\".").arg(base, folder));
}

WorkbookExport::WorkbookExport(const SampleTable& table, const QString& title, const Regional& regional,
                               const QString& folder, const QString& recordFileName, ExportOptions options)
    : m_table(table), m_title(title), m_regional(regional), m_folder(folder),
      m_recordName(recordFileName), m_options(options)
{
    m_rowsPerSheet = std::max<qint64>(1, m_options.sheetRowLimit - 2);
}

// What the closing thread and the export share. The thread owns the
// workbook until it is closed; an export dropped meanwhile leaves the
// removal of the unfinished file to the thread.
struct WorkbookExport::Closing {
    std::mutex mutex;
    bool done = false;
    bool abandoned = false;
    lxw_error result = LXW_NO_ERROR;
    QString path;
};

WorkbookExport::~WorkbookExport()
{
    drop();
}

void WorkbookExport::drop()
{
    if (m_closing) {
        std::lock_guard lock(m_closing->mutex);
        if (!m_closing->done) {
            m_closing->abandoned = true; // the thread removes the file when it is done
            m_path.clear();
        }
    }
    if (m_workbook) {
        lxw_workbook_free(m_workbook);
        m_workbook = nullptr;
        m_sheet = nullptr;
    }
    if (m_phase != Phase::Done && !m_path.isEmpty())
        QFile::remove(m_path);
}

void WorkbookExport::fail(const QString& why)
{
    // The operator is told where: the workbook's name unless the reason gives it.
    m_failure = m_path.isEmpty() || why.contains(m_path) ? why : why + QStringLiteral("\r\n") + m_path;
    drop();
    m_phase = Phase::Failed;
}

WorkbookExport::Phase WorkbookExport::step(qint64 rows)
{
    const qint64 total = m_table.sampleCount();
    if (m_phase == Phase::Measuring) {
        if (m_measured == 0 && m_units.empty())
            checkLayout();
        const qint64 end = std::min(total, m_measured + std::max<qint64>(rows, 1));
        for (; m_measured < end; ++m_measured)
            measureRow(m_measured);
        if (m_measured < total)
            return m_phase;
        m_widths.clear();
        for (int units : m_units)
            m_widths.push_back(widthFor(units));
        if (!open())
            return m_phase;
        m_phase = Phase::Writing;
        return m_phase;
    }
    if (m_phase == Phase::Closing)
        return checkClosed();
    if (m_phase != Phase::Writing)
        return m_phase;
    const qint64 end = std::min(total, m_written + std::max<qint64>(rows, 1));
    for (; m_written < end; ++m_written)
        if (!writeRow(m_written))
            return m_phase;
    if (m_written < total)
        return m_phase;
    return close();
}

WorkbookExport::Phase WorkbookExport::close()
{
    lxw_workbook* workbook = std::exchange(m_workbook, nullptr);
    m_sheet = nullptr;
    if (!m_options.closeInBackground) {
        const lxw_error closed = workbook_close(workbook);
        if (closed != LXW_NO_ERROR) {
            fail(QString::fromUtf8(lxw_strerror(closed)));
            return m_phase;
        }
        m_phase = Phase::Done;
        return m_phase;
    }
    m_closing = std::make_shared<Closing>();
    m_closing->path = m_path;
    m_phase = Phase::Closing;
    std::thread([closing = m_closing, workbook] {
        const lxw_error closed = workbook_close(workbook);
        std::lock_guard lock(closing->mutex);
        closing->done = true;
        closing->result = closed;
        if (closing->abandoned)
            QFile::remove(closing->path);
    }).detach();
    return m_phase;
}

WorkbookExport::Phase WorkbookExport::checkClosed()
{
    lxw_error closed = LXW_NO_ERROR;
    {
        std::lock_guard lock(m_closing->mutex);
        if (!m_closing->done)
            return m_phase;
        closed = m_closing->result;
    }
    m_closing.reset();
    if (closed != LXW_NO_ERROR) {
        fail(QString::fromUtf8(lxw_strerror(closed)));
        return m_phase;
    }
    m_phase = Phase::Done;
    return m_phase;
}

void WorkbookExport::checkLayout()
{
    const int columns = m_table.columnCount();
    if (columns > ExportOptions::kSheetColumns)
        throw KeloError(QStringLiteral("엑셀변환을 할 수 없습니다.\r\n열이 %1개로, 한 시트에 넣을 수 있는 16,384개를 넘습니다.")
                            .arg(groupedCount(columns, Regional::plain())));
    m_units.assign(size_t(columns), 1);
    if (m_title.size() > ExportOptions::kCellCharacters)
        throw KeloError(tooLong(QStringLiteral("타이틀"), m_title.size()));
    for (int c = 0; c < columns; ++c) {
        const QString header = m_table.header(c);
        if (header.size() > ExportOptions::kCellCharacters)
            throw KeloError(tooLong(QStringLiteral("%1열 제목").arg(columnLetters(c + 1)), header.size()));
        m_units[size_t(c)] = std::max(m_units[size_t(c)], displayUnits(header));
    }
    if (const int count = m_table.countColumn(); count >= 0) {
        const int digits = int(groupedCount(m_table.sampleCount(), m_regional).size());
        m_units[size_t(count)] = std::max(m_units[size_t(count)], digits);
    }
}

void WorkbookExport::measureRow(qint64 row)
{
    m_table.fields(row, m_fields);
    for (int c = 0; c < m_table.fieldColumns(); ++c) {
        const QByteArrayView bytes = m_fields[size_t(c)];
        int units = 1;
        if (isAscii(bytes)) {
            units = int(std::min<qsizetype>(bytes.size(), 1 << 20));
            if (bytes.size() > ExportOptions::kCellCharacters
                && (c == 0 || interpretTyped(bytes.data(), bytes.size(), m_regional).kind == CellValue::Kind::Text))
                throw KeloError(tooLong(QStringLiteral("%1번째 데이터의 %2열")
                                            .arg(groupedCount(row + 1, m_regional), columnLetters(c + 1)),
                                        bytes.size()));
        } else {
            const QString text = decodeAnsi(bytes);
            if (text.size() > ExportOptions::kCellCharacters)
                throw KeloError(tooLong(QStringLiteral("%1번째 데이터의 %2열")
                                            .arg(groupedCount(row + 1, m_regional), columnLetters(c + 1)),
                                        text.size()));
            units = displayUnits(text);
        }
        m_units[size_t(c)] = std::max(m_units[size_t(c)], units);
    }
}

bool WorkbookExport::open()
{
    try {
        m_path = reserveWorkbookPath(m_folder, m_recordName);
    } catch (const KeloError& e) {
        fail(e.text());
        return false;
    }
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = nullptr;
    options.use_zip64 = m_table.sampleCount() * m_table.columnCount() > kZip64Cells ? LXW_TRUE : LXW_FALSE;
    const QByteArray name = QFile::encodeName(m_path);
    m_workbook = workbook_new_opt(name.constData(), &options);
    if (!m_workbook) {
        fail(QStringLiteral("Cannot create file \"%1\".").arg(m_path));
        return false;
    }
    return startSheet();
}

bool WorkbookExport::startSheet()
{
    m_sheet = workbook_add_worksheet(m_workbook, nullptr);
    if (!m_sheet) {
        fail(QStringLiteral("Cannot add a sheet to \"%1\".").arg(m_path));
        return false;
    }
    const int columns = m_table.columnCount();
    for (int c = 0; c < columns; ++c)
        worksheet_set_column(m_sheet, lxw_col_t(c), lxw_col_t(c), m_widths[size_t(c)], nullptr);
    worksheet_set_default_row(m_sheet, kDataRowHeight, LXW_FALSE);
    worksheet_set_row(m_sheet, 0, kTitleRowHeight, nullptr);

    const qint64 first = m_written;
    const qint64 rowsHere = std::min(m_rowsPerSheet, m_table.sampleCount() - first);
    // The bordered area A2 to the last cell, and with the title the printed page.
    const QByteArray printArea = (QStringLiteral("A1:") + lastCellReference(columns, rowsHere)).toLatin1();
    worksheet_print_area(m_sheet, RANGE(printArea.constData()));

    const CellValue title = interpretTyped(m_title, m_regional);
    const QByteArray titleText = title.kind == CellValue::Kind::Text ? withoutNul(m_title).toUtf8() : QByteArray();
    lxw_error error = worksheet_merge_range(m_sheet, 0, 0, 0, lxw_col_t(columns - 1), titleText.constData(),
                                            format(Role::Title, title.style));
    if (error == LXW_NO_ERROR && title.kind == CellValue::Kind::Number)
        error = worksheet_write_number(m_sheet, 0, 0, title.number, format(Role::Title, title.style));
    if (error != LXW_NO_ERROR) {
        fail(QString::fromUtf8(lxw_strerror(error)));
        return false;
    }
    for (int c = 0; c < columns; ++c) {
        const QString header = m_table.header(c);
        if (!(c == 0 ? writeText(1, c, header, Role::Header)
                     : writeTyped(1, c, interpretTyped(header, m_regional),
                                  withoutNul(header).toUtf8().constData(), Role::Header)))
            return false;
    }
    m_sheetRow = 2;
    return true;
}

bool WorkbookExport::writeRow(qint64 row)
{
    if (m_sheetRow - 2 >= m_rowsPerSheet && !startSheet())
        return false;
    const int r = m_sheetRow++;
    m_table.fields(row, m_fields);
    for (int c = 0; c < m_table.fieldColumns(); ++c)
        if (!writeField(r, c, m_fields[size_t(c)], c > 0))
            return false;
    if (const int count = m_table.countColumn(); count >= 0) {
        const lxw_error error = worksheet_write_number(m_sheet, lxw_row_t(r), lxw_col_t(count), double(row + 1),
                                                       format(Role::Data, {NumberStyle::Kind::Grouped, 0}));
        if (error != LXW_NO_ERROR) {
            fail(QString::fromUtf8(lxw_strerror(error)));
            return false;
        }
    }
    return true;
}

bool WorkbookExport::writeField(int sheetRow, int column, QByteArrayView bytes, bool typed)
{
    if (bytes.isEmpty()) {
        // An empty channel field is shown, and so handed over, as "0".
        return typed ? writeTyped(sheetRow, column, interpretTyped("0", 1, m_regional), "0", Role::Data)
                     : writeTyped(sheetRow, column, CellValue{}, "", Role::Data);
    }
    if (isAscii(bytes) && !bytes.contains('\0')) {
        m_utf8.assign(bytes.data(), size_t(bytes.size()));
        const CellValue value = typed ? interpretTyped(bytes.data(), bytes.size(), m_regional)
                                      : CellValue{CellValue::Kind::Text, 0, {}};
        return writeTyped(sheetRow, column, value, m_utf8.c_str(), Role::Data);
    }
    const QString text = withoutNul(decodeAnsi(bytes));
    if (!typed)
        return writeText(sheetRow, column, text, Role::Data);
    return writeTyped(sheetRow, column, interpretTyped(text, m_regional), text.toUtf8().constData(), Role::Data);
}

bool WorkbookExport::writeText(int sheetRow, int column, const QString& text, Role role)
{
    const QByteArray utf8 = withoutNul(text).toUtf8();
    const CellValue value{text.isEmpty() ? CellValue::Kind::Blank : CellValue::Kind::Text, 0, {}};
    return writeTyped(sheetRow, column, value, utf8.constData(), role);
}

bool WorkbookExport::writeTyped(int sheetRow, int column, const CellValue& value, const char* utf8, Role role)
{
    const auto row = lxw_row_t(sheetRow);
    const auto col = lxw_col_t(column);
    lxw_error error = LXW_NO_ERROR;
    switch (value.kind) {
    case CellValue::Kind::Blank:
        error = worksheet_write_blank(m_sheet, row, col, format(role));
        break;
    case CellValue::Kind::Text:
        error = worksheet_write_string(m_sheet, row, col, utf8, format(role));
        break;
    case CellValue::Kind::Number:
        error = worksheet_write_number(m_sheet, row, col, value.number, format(role, value.style));
        break;
    }
    if (error != LXW_NO_ERROR) {
        fail(QString::fromUtf8(lxw_strerror(error)));
        return false;
    }
    return true;
}

lxw_format* WorkbookExport::format(Role role, NumberStyle style)
{
    const int key = int(role) * 1000 + style.key();
    if (lxw_format* known = m_formats.value(key))
        return known;
    lxw_format* f = workbook_add_format(m_workbook);
    switch (role) {
    case Role::Title:
        format_set_font_name(f, "휴먼옛체");
        format_set_bold(f);
        format_set_font_size(f, 14);
        format_set_align(f, LXW_ALIGN_CENTER);
        format_set_align(f, LXW_ALIGN_VERTICAL_CENTER);
        break;
    case Role::Header:
        format_set_font_name(f, "굴림체");
        format_set_font_size(f, 9);
        format_set_border(f, LXW_BORDER_THIN);
        format_set_align(f, LXW_ALIGN_CENTER);
        format_set_pattern(f, LXW_PATTERN_SOLID);
        format_set_bg_color(f, spreadsheetColour(kHeaderColour));
        break;
    case Role::Data:
        format_set_font_name(f, "굴림체");
        format_set_font_size(f, 9);
        format_set_border(f, LXW_BORDER_THIN);
        break;
    }
    if (style.kind != NumberStyle::Kind::General)
        format_set_num_format(f, style.formatCode().toUtf8().constData());
    m_formats.insert(key, f);
    return f;
}

QString exportWorkbook(const SampleTable& table, const QString& title, const Regional& regional,
                       const QString& folder, const QString& recordFileName, ExportOptions options)
{
    WorkbookExport job(table, title, regional, folder, recordFileName, options);
    while (true) {
        switch (job.step(1 << 16)) {
        case WorkbookExport::Phase::Done:
            return job.path();
        case WorkbookExport::Phase::Failed:
            throw KeloError(job.failure());
        default:
            break;
        }
    }
}
