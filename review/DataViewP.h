#pragma once
#include "alarms/AlarmTypes.h"
#include "review/RecordChart.h"
#include "review/RecordSeries.h"
#include "review/WorkbookExport.h"

#include <QDialog>
#include <memory>

struct AppContext;
struct ChannelSet;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableView;
class QTimer;
class RecordReader;
class SampleModel;

// The data viewer: opens a record file with the channel set file it names,
// lists the set, tabulates the samples and exports them to a workbook. Below
// the table, a chart draws the record (RecordChart); a click on the chart
// selects its row in the table, and a row selected in the table is marked
// on the chart.
// Files are read on threads of their own while the progress bar moves, and
// workbooks written a slice at a time between events, so the window keeps
// answering.
class TDataViewF : public QDialog {
    Q_OBJECT
public:
    TDataViewF(AppContext& context, QWidget* parent = nullptr);
    ~TDataViewF() override;

    // State of the file on view, used by the export.
    QString DataFileName;   // the record file's name without folder
    QString HeaderFileName; // the header file's name without folder
    QString SetTitle;       // the channel set's Title

    void ResetView();

    // True while a file is being read or a workbook written.
    [[nodiscard]] bool busy() const;
    // Does the rest of a running read or export now (tools and tests).
    void finishPendingWork();
    // Rows of one workbook sheet, title and header rows included.
    void setSheetRowLimit(qint64 rows) { m_sheetRowLimit = rows; }
    [[nodiscard]] const SampleModel& model() const { return *m_model; }
    [[nodiscard]] const RecordSeries& series() const { return m_series; }
    [[nodiscard]] RecordChart* chart() const { return m_chart; }

public Q_SLOTS:
    void FormShow();
    void bbtOpenClick();
    void bbtExcelClick();
    void bbtExitClick();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ExportToExcel();
    void buildLayout();
    [[nodiscard]] QWidget* buildButtonPanel();
    [[nodiscard]] QWidget* buildHeaderPanel(QWidget* parent);
    [[nodiscard]] QWidget* buildRecordPanel(QWidget* parent);
    void buildGrid(QWidget* parent);
    void linkGridAndChart();
    void workStep();
    void finishLoad();
    void exportStep();
    void endExport();
    void stopWork();
    void setExportRunning(bool running);
    void workbookMade(const QString& path);
    void readAlarmSettings(const QString& headerPath, const ChannelSet& set);
    void showAlarms();

    AppContext& m_context;
    QPushButton* m_open = nullptr;
    QPushButton* m_excel = nullptr;
    QPushButton* m_exit = nullptr;
    QListWidget* m_headerList = nullptr;
    QLabel* m_count1 = nullptr;
    QLabel* m_count2 = nullptr;
    QTableView* m_grid = nullptr;
    RecordChart* m_chart = nullptr;
    RecordSeries m_series;
    std::vector<RecordChannel> m_chartChannels; // of the file being read
    QString m_recordPath;
    QProgressBar* m_progress = nullptr;
    SampleModel* m_model = nullptr;
    QTimer* m_work = nullptr;
    std::unique_ptr<RecordReader> m_reader;
    std::unique_ptr<WorkbookExport> m_export;
    qint64 m_sheetRowLimit = ExportOptions::kSheetRows;
    bool m_shown = false;
    AlarmSettings m_alarmSettings; // of the set on view
};
