#include "review/DataViewP.h"

#include "alarms/AlarmFile.h"
#include "alarms/AlarmLog.h"

#include "monitoring/ChannelSet.h"
#include "monitoring/ChannelValue.h"
#include "review/RecordChart.h"
#include "review/RecordReader.h"
#include "review/SampleModel.h"
#include "settings/Convert.h"
#include "settings/FuncP.h"
#include "settings/KeloError.h"
#include "widgets/AppContext.h"
#include "widgets/ApplicationTitle.h"
#include "widgets/Colors.h"
#include "widgets/EscapeKeeper.h"
#include "widgets/Fonts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QTimer>
#include <chrono>
#include <thread>
#include <QUrl>
#include <QVBoxLayout>
#include <new>

static void initReviewResources()
{
    Q_INIT_RESOURCE(review);
}

namespace {

const QString kRecordFilter = QStringLiteral("모니터링파일(*.kmr)|*.kmr");
const QString kNotFound = QStringLiteral("Excel Program Not Found.");
constexpr int kLoadScale = 1000;     // progress bar steps while a file is read
constexpr qint64 kExportSlice = 2048; // rows between two looks at the clock
constexpr int kExportTimeBox = 30;   // ms of export work between events
constexpr int kProgressInterval = 50; // ms between looks at a running read
constexpr qint64 kSmallRecord = 1024 * 1024;
constexpr int kShownNameLength = 260;

QLabel* titleLabel(const QString& text, const QString& name, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    label->setStyleSheet(QStringLiteral("color: navy;"));
    return label;
}

QPushButton* glyphButton(const QString& text, const QString& name, const QString& icon, QWidget* parent)
{
    auto* button = new QPushButton(QIcon(icon), text, parent);
    button->setObjectName(name);
    button->setIconSize(QSize(24, 24));
    button->setMinimumSize(96, 34);
    button->setAutoDefault(false); // Enter does not press a button of this window
    return button;
}

QString shownName(const QString& name)
{
    return name.size() > kShownNameLength ? name.left(kShownNameLength) + QChar(0x2026) : name;
}

} // namespace

TDataViewF::TDataViewF(AppContext& context, QWidget* parent) : QDialog(parent), m_context(context)
{
    initReviewResources();
    keepOpenOnEscape(this);
    setObjectName(QStringLiteral("DataViewF"));
    setWindowTitle(QStringLiteral("데이터조회및엑셀전환"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    setFont(gulimche(9));
    resize(1000, 640);

    m_model = new SampleModel(this);
    m_work = new QTimer(this);
    m_work->setObjectName(QStringLiteral("WorkTimer"));
    connect(m_work, &QTimer::timeout, this, &TDataViewF::workStep);
    buildLayout();
}

TDataViewF::~TDataViewF()
{
    m_chart->clear(); // a running CSV export reads the table, which goes first
    stopWork();
}

void TDataViewF::buildLayout()
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(buildButtonPanel());

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setObjectName(QStringLiteral("Splitter1"));
    splitter->setHandleWidth(3);
    splitter->setChildrenCollapsible(false);
    splitter->setStyleSheet(QStringLiteral("QSplitter::handle { background-color: red; }"));
    QWidget* left = buildHeaderPanel(splitter);
    QWidget* right = buildRecordPanel(splitter);
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({250, 750});
    layout->addWidget(splitter, 1);
}

QWidget* TDataViewF::buildButtonPanel()
{
    auto* top = new QFrame(this);
    top->setObjectName(QStringLiteral("Panel1"));
    top->setFrameStyle(QFrame::Panel | QFrame::Raised);
    auto* topLayout = new QHBoxLayout(top);
    topLayout->setContentsMargins(6, 4, 6, 4);
    m_open = glyphButton(QStringLiteral("불러오기"), QStringLiteral("bbtOpen"), QStringLiteral(":/review/open.svg"), top);
    m_excel = glyphButton(QStringLiteral("엑셀변환"), QStringLiteral("bbtExcel"), QStringLiteral(":/review/excel.svg"), top);
    m_exit = glyphButton(QStringLiteral("종료"), QStringLiteral("bbtExit"), QStringLiteral(":/exit.svg"), top);
    m_excel->setEnabled(false);
    topLayout->addWidget(m_open);
    topLayout->addWidget(m_excel);
    topLayout->addStretch(1);
    topLayout->addWidget(m_exit);
    connect(m_open, &QPushButton::clicked, this, &TDataViewF::bbtOpenClick);
    connect(m_excel, &QPushButton::clicked, this, &TDataViewF::bbtExcelClick);
    connect(m_exit, &QPushButton::clicked, this, &TDataViewF::bbtExitClick);
    return top;
}

QWidget* TDataViewF::buildHeaderPanel(QWidget* parent)
{
    auto* left = new QFrame(parent);
    left->setObjectName(QStringLiteral("Panel3"));
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(2, 2, 2, 2);
    leftLayout->addWidget(titleLabel(QStringLiteral(" 헤더파일내용"), QStringLiteral("Label1"), left));
    m_headerList = new QListWidget(left);
    m_headerList->setObjectName(QStringLiteral("lsbHd"));
    m_headerList->setAccessibleName(QStringLiteral("헤더파일내용"));
    m_headerList->setFrameShape(QFrame::NoFrame);
    m_headerList->setStyleSheet(QStringLiteral("QListWidget { background-color: palette(button); }"));
    // A set of many channels lists a line per channel: measuring them all in
    // one go would stop the window for a while, so they are laid out in
    // batches between events.
    m_headerList->setLayoutMode(QListView::Batched);
    m_headerList->setBatchSize(2000);
    leftLayout->addWidget(m_headerList, 1);
    m_count1 = titleLabel(QStringLiteral("0건"), QStringLiteral("labCnt1"), left);
    m_count1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    leftLayout->addWidget(m_count1);
    return left;
}

// The record's table, its chart under it and the read's progress.
QWidget* TDataViewF::buildRecordPanel(QWidget* parent)
{
    auto* right = new QFrame(parent);
    right->setObjectName(QStringLiteral("Panel4"));
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(2, 2, 2, 2);
    rightLayout->addWidget(titleLabel(QStringLiteral(" 데이터파일내용"), QStringLiteral("Label2"), right));

    buildGrid(right);
    // The record's chart under the table; the splitter lets the operator give
    // either all the room.
    auto* tableAndChart = new QSplitter(Qt::Vertical, right);
    tableAndChart->setObjectName(QStringLiteral("Splitter2"));
    tableAndChart->addWidget(m_grid);
    m_chart = new RecordChart(m_context, tableAndChart);
    m_chart->setObjectName(QStringLiteral("iPlot1"));
    tableAndChart->addWidget(m_chart);
    tableAndChart->setStretchFactor(0, 2);
    tableAndChart->setStretchFactor(1, 3);
    rightLayout->addWidget(tableAndChart, 1);
    linkGridAndChart();

    m_progress = new QProgressBar(right);
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setTextVisible(false);
    m_progress->setMaximumHeight(16);
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    rightLayout->addWidget(m_progress);
    m_count2 = titleLabel(QStringLiteral("0건"), QStringLiteral("labCnt2"), right);
    m_count2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    rightLayout->addWidget(m_count2);
    return right;
}

void TDataViewF::buildGrid(QWidget* parent)
{
    m_grid = new QTableView(parent);
    m_grid->setObjectName(QStringLiteral("sg1"));
    m_grid->setAccessibleName(QStringLiteral("데이터파일내용"));
    m_grid->setModel(m_model);
    m_grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_grid->setSelectionMode(QAbstractItemView::SingleSelection);
    m_grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_grid->setWordWrap(false);
    QHeaderView* columns = m_grid->horizontalHeader();
    columns->setDefaultSectionSize(70);
    columns->setMinimumSectionSize(20);
    columns->setDefaultAlignment(Qt::AlignCenter);
    columns->setHighlightSections(false);
    // The grid's fixed first column (Date/Time) is the row header, so it stays
    // in place while the channel columns scroll.
    QHeaderView* rows = m_grid->verticalHeader();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setMinimumSectionSize(18);
    rows->setDefaultSectionSize(18);
    rows->setDefaultAlignment(Qt::AlignCenter);
    rows->setFixedWidth(136);
    rows->setHighlightSections(false);
    const QColor fixed = colorFromValue(kFixedCellColor);
    m_grid->setStyleSheet(QStringLiteral(
        "QHeaderView::section, QTableCornerButton::section { background-color: %1; border: none;"
        " border-right: 1px solid gray; border-bottom: 1px solid gray; }"
        " QTableView { gridline-color: silver; }").arg(fixed.name()));
    m_grid->setColumnHidden(0, true);
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] { m_grid->setColumnHidden(0, true); });
    if (auto* corner = m_grid->findChild<QAbstractButton*>())
        corner->installEventFilter(this);
}

// A row picked on the chart is selected in the table, and the table's current
// row is marked on the chart.
void TDataViewF::linkGridAndChart()
{
    connect(m_chart, &RecordChart::rowPicked, this, [this](qint64 row) {
        if (row >= m_model->rowCount())
            return;
        m_grid->selectRow(int(row));
        m_grid->scrollTo(m_model->index(int(row), 1), QAbstractItemView::PositionAtCenter);
    });
    connect(m_grid->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid() && !busy())
                    m_chart->markRow(current.row());
            });
}

bool TDataViewF::eventFilter(QObject* watched, QEvent* event)
{
    // The corner cell above the row headers reads "Date/Time", like a header.
    if (event->type() == QEvent::Paint && qobject_cast<QAbstractButton*>(watched)) {
        auto* corner = static_cast<QAbstractButton*>(watched);
        QStyleOptionHeader option;
        option.initFrom(corner);
        option.rect = corner->rect();
        option.text = m_model->headerData(0, Qt::Horizontal).toString();
        option.textAlignment = Qt::AlignCenter;
        option.position = QStyleOptionHeader::OnlyOneSection;
        QPainter painter(corner);
        corner->style()->drawControl(QStyle::CE_Header, &option, &painter, corner);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TDataViewF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        if (QScreen* s = screen())
            move(s->availableGeometry().center() - rect().center());
        FormShow();
    }
}

void TDataViewF::FormShow()
{
    ResetView();
}

void TDataViewF::ResetView()
{
    stopWork();
    m_chart->clear(); // first: a running CSV export reads the table
    m_headerList->clear();
    m_progress->setValue(0);
    m_model->clear();
    m_series.reset(0, 0, m_context.regional);
    m_excel->setEnabled(false);
}

void TDataViewF::bbtOpenClick()
{
    ResetView();
    FileDialogRequest request;
    request.filter = kRecordFilter;
    request.startDir = MonitorDir();
    const QString chosen = m_context.dialogs.openFileName(this, request);
    if (chosen.isEmpty())
        return;
    const QFileInfo chosenInfo(chosen);
    const QDir folder = chosenInfo.absoluteDir();
    DataFileName = chosenInfo.fileName();
    const QString recordPath = folder.filePath(DataFileName);
    m_recordPath = recordPath;

    HeaderFileName = headerNameOf(readRecordHeaderLine(recordPath));
    const QString headerPath = folder.filePath(HeaderFileName);
    if (!isPlainFileName(HeaderFileName) || !QFileInfo(headerPath).isFile()) {
        m_context.dialogs.MsgBox(this, QStringLiteral("헤더파일이 없습니다.\r\n") + shownName(HeaderFileName),
                                 applicationTitle(), MsgStyle::Ok);
        return;
    }

    m_headerList->addItem(QStringLiteral("헤더 파일명 : ") + HeaderFileName);
    m_headerList->addItem(QStringLiteral("데이터파일명: ") + DataFileName);
    const ChannelSet set = readChannelSetFile(headerPath);
    m_headerList->addItem(QStringLiteral("타이틀명: ") + set.Title);
    SetTitle = set.Title;
    m_headerList->addItem(QStringLiteral("저장시간: ") + set.Sampling + QStringLiteral(" msec"));
    QStringList captions;
    QStringList channelLines;
    m_chartChannels.clear();
    captions.reserve(set.channels.size());
    channelLines.reserve(set.channels.size());
    for (const ChannelDef& channel : set.channels) {
        channelLines << QStringLiteral("[Dot] Caption: [") + channel.Dot + QStringLiteral("] ") + channel.Caption;
        captions << channel.Caption;
        if (m_chartChannels.size() < size_t(RecordChart::kMaxChannels))
            m_chartChannels.push_back({channel.Caption, colorFromValue(parseInt32(channel.Color).value_or(0)),
                                       chartPercent(1.0, channel).value_or(RangeStats::kNone)});
    }
    if (set.channels.isEmpty()) // the table's one "Caption" column
        m_chartChannels.push_back({QStringLiteral("Caption"), Qt::white, RangeStats::kNone});
    m_headerList->addItems(channelLines);
    readAlarmSettings(headerPath, set);
    m_model->setChannels(captions, m_context.regional);
    m_count1->setText(QString::number(set.channels.size()) + QStringLiteral("건"));

    const int channels = int(m_chartChannels.size());
    m_reader = std::make_unique<RecordReader>(recordPath, channels,
                                              parseInt32(set.Sampling).value_or(1000) / 1000.0, m_context.regional);
    m_progress->setRange(0, kLoadScale);
    m_progress->setValue(0);
    if (m_reader->fileSize() < kSmallRecord) {
        m_reader->run(); // at once: too little to show progress for
        finishLoad();
        return;
    }
    RecordReader* reader = m_reader.get();
    QPointer<TDataViewF> self(this);
    m_reader->start([self, reader] {
        // On the reader's thread: the window takes the rows on its own.
        QMetaObject::invokeMethod(self, [self, reader] {
            if (self && self->m_reader.get() == reader)
                self->finishLoad();
        }, Qt::QueuedConnection);
    });
    m_work->start(kProgressInterval);
}

void TDataViewF::workStep()
{
    if (m_reader)
        m_progress->setValue(m_reader->progress(kLoadScale));
    else if (m_export)
        exportStep();
    else
        m_work->stop();
}

void TDataViewF::finishLoad()
{
    m_reader->wait();
    m_work->stop();
    const QString failure = m_reader->failure();
    const bool outOfMemory = m_reader->outOfMemory();
    for (RowChunk& piece : m_reader->takeRows())
        m_model->append(std::move(piece));
    m_series = m_reader->takeSeries();
    m_reader.reset();
    if (outOfMemory) {
        // A file far larger in rows × channels than memory.
        m_context.dialogs.errorBox(this, QStringLiteral("메모리가 부족하여 파일을 끝까지 읽지 못했습니다.\n%1")
                                             .arg(DataFileName));
        return;
    }
    if (!failure.isEmpty()) {
        // The rows read before the failure stay on view; the file is not taken as loaded.
        m_context.dialogs.errorBox(this, failure);
        return;
    }
    const qint64 samples = m_model->table().sampleCount();
    m_count2->setText(groupedCount(samples, m_context.regional) + QStringLiteral("건"));
    m_excel->setEnabled(samples > 0);
    // The bar counts exported rows from here; a range of 0 to 0 would show
    // Qt's busy animation, so an empty file keeps a range of one.
    const int rows = int(std::min<qint64>(samples, std::numeric_limits<int>::max()));
    m_progress->setRange(0, std::max(rows, 1));
    m_progress->setValue(0);
    m_chart->setSetInfo(SetTitle, HeaderFileName);
    m_chart->setRecord(m_series, m_model->table(), m_chartChannels, m_recordPath,
                       m_model->table().fieldColumns() - 1);
    showAlarms();
}

void TDataViewF::bbtExcelClick()
{
    if (m_context.dialogs.MsgBox(this, QStringLiteral("엑셀변환을 하시겠습니까?"), QStringLiteral("확인"),
                                 MsgStyle::YesNoQuestion)
        != MsgResult::Yes)
        return;
    ExportToExcel();
}

void TDataViewF::ExportToExcel()
{
    if (busy())
        return;
    ExportOptions options;
    options.sheetRowLimit = m_sheetRowLimit;
    options.closeInBackground = true;
    m_export = std::make_unique<WorkbookExport>(m_model->table(), SetTitle, m_context.regional, workbookFolder(),
                                                DataFileName, options);
    m_progress->setValue(0); // every export counts its rows from the start
    setExportRunning(true);
    exportStep();
    if (m_export)
        m_work->start(0);
}

void TDataViewF::exportStep()
{
    QElapsedTimer clock;
    clock.start();
    WorkbookExport::Phase phase = m_export->phase();
    try {
        do {
            phase = m_export->step(kExportSlice);
        } while (phase != WorkbookExport::Phase::Done && phase != WorkbookExport::Phase::Failed
                 && phase != WorkbookExport::Phase::Closing && clock.elapsed() < kExportTimeBox);
    } catch (const KeloError& e) {
        // Refused before anything was written.
        endExport();
        m_context.dialogs.MsgBox(this, e.text(), QStringLiteral("경고"), MsgStyle::OkError);
        return;
    }
    const qint64 value = m_export->rowsWritten();
    m_progress->setValue(int(std::min<qint64>(value, m_progress->maximum())));
    if (phase == WorkbookExport::Phase::Closing && m_work->interval() == 0)
        m_work->start(kProgressInterval); // the zipping thread is only looked at
    if (phase == WorkbookExport::Phase::Failed) {
        const QString why = m_export->failure();
        endExport();
        m_context.dialogs.MsgBox(this, QStringLiteral("엑셀 파일을 만들지 못했습니다.\r\n") + why, QStringLiteral("Error"),
                                 MsgStyle::OkError);
    } else if (phase == WorkbookExport::Phase::Done) {
        const QString path = m_export->path();
        endExport();
        workbookMade(path);
    }
}

void TDataViewF::workbookMade(const QString& path)
{
    const QString full = QFileInfo(path).absoluteFilePath();
    QPointer<TDataViewF> self(this);
    const auto failed = [self, full] {
        if (self)
            self->m_context.dialogs.MsgBox(self, QStringLiteral("엑셀 파일을 여는 프로그램이 실패했습니다.\r\n"
                                                                "엑셀 파일은 다음 위치에 있습니다.\r\n") + full,
                                           QStringLiteral("Error"), MsgStyle::OkInformation);
    };
    // The workbook is written all the same: say where it is.
    if (!m_context.openFile(full, failed))
        m_context.dialogs.MsgBox(this, kNotFound + QStringLiteral("\r\n") + full, QStringLiteral("Error"),
                                 MsgStyle::OkInformation);
}

void TDataViewF::endExport()
{
    m_work->stop();
    m_export.reset();
    setExportRunning(false);
}

void TDataViewF::setExportRunning(bool running)
{
    m_open->setEnabled(!running);
    m_excel->setEnabled(!running && m_model->table().sampleCount() > 0);
}

void TDataViewF::bbtExitClick()
{
    close();
}

bool TDataViewF::busy() const
{
    return m_reader || m_export;
}

void TDataViewF::finishPendingWork()
{
    if (m_reader)
        finishLoad();
    // Blocks, for callers that need the workbook now; the window never does.
    while (m_export) {
        if (m_export->phase() == WorkbookExport::Phase::Closing)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        exportStep();
    }
}

void TDataViewF::stopWork()
{
    if (m_work)
        m_work->stop();
    m_reader.reset();
    if (m_export) {
        m_export.reset(); // drops the unfinished workbook
        setExportRunning(false);
    }
}

void TDataViewF::done(int result)
{
    m_chart->clear(); // a running CSV export stops and leaves no file
    stopWork();
    QDialog::done(result);
}

// The set's alarm limits, from the alarm file beside it; a file that cannot
// be read is said in the header list and the chart draws no limits.
void TDataViewF::readAlarmSettings(const QString& headerPath, const ChannelSet& set)
{
    const AlarmFileRead read = readAlarmFile(alarmFilePath(headerPath), set);
    m_alarmSettings = read.settings;
    if (!read.problem.isEmpty())
        m_headerList->addItem(QStringLiteral("경보 설정: ") + read.problem);
}

// Limits as dashed lines, and the periods in alarm from the record's alarm
// log when one lies beside it.
void TDataViewF::showAlarms()
{
    QList<AlarmTransition> log;
    const QString logPath = alarmLogPath(m_recordPath);
    if (QFileInfo::exists(logPath)) {
        QString problem;
        log = readAlarmLog(logPath, &problem);
        m_headerList->addItem(QStringLiteral("경보 기록: %1 (%2건)").arg(QFileInfo(logPath).fileName()).arg(log.size()));
        if (!problem.isEmpty())
            m_headerList->addItem(QStringLiteral("경보 기록: ") + problem);
    }
    m_chart->setAlarms(m_alarmSettings, log);
}
