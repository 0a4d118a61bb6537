#pragma once
#include "alarms/AlarmTypes.h"

#include <QDialog>
#include <array>

struct AppContext;
struct ChannelSet;
class ColumnGrid;
class QFrame;
class QLabel;
class QLineEdit;
class QPainter;
class QPushButton;
class QToolButton;

// The channel set editor: builds, opens and saves .khd files. The caller puts
// "[" + path + "]" into the PanFile label before exec() to open that set, and
// afterwards reads SaveDialogFileName() for the file the operator ended with.
class TMinputF : public QDialog {
    Q_OBJECT
public:
    TMinputF(AppContext& context, QWidget* parent = nullptr);

    // The file last opened with "Open" or saved successfully since the window
    // opened or since the last "New"; empty when there is none. A save that
    // failed never changes it, so the caller is not given a file that is not there.
    [[nodiscard]] QString SaveDialogFileName() const { return m_handBack; }

    // Paints the colour swatch of a channel row in the Color column.
    bool acGrd1DrawCell(QPainter& painter, const QRect& rect, int row, int col);

public Q_SLOTS:
    void FormShow();
    bool FormCloseQuery();   // true when the window may close
    void butNewClick();
    void butOpenClick();
    void butSaveClick();
    void butExitClick();
    void spbColorClick();
    void spbAddClick();
    void spbEdtClick();
    void spbDelClick();
    // Opens the alarm limits of the selected row (a window-modal dialog that
    // answers when it closes).
    void spbAlarmClick();
    void acGrd1DblClickCell(int row, int col);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;  // any rejection closes like "종료", through the close question
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildTopBand();
    void buildTitleStrip();
    void buildEntryArea();
    void buildGrid();
    QLineEdit* addEdit(QWidget* parent, const char* name, const QString& heading, int maxLength, int x, int y, int width,
                       bool noSeparator = false);
    QToolButton* addRowButton(const char* name, const QString& caption, int kind, int x,
                              void (TMinputF::*handler)());

    void ClearGrid();
    void RenumberRows();
    void LoadSetFile(const QString& fileName);
    int SaveSetFile();

    // The eight edits in the order Enter and Tab walk them.
    [[nodiscard]] std::array<QLineEdit*, 8> entryEdits() const
    {
        return {m_edtTitle, m_edtSam, m_edtAddr, m_edtCap, m_edtReg, m_edtDot, m_edtMax, m_edtMin};
    }
    [[nodiscard]] bool rowInUse(int row) const;
    [[nodiscard]] int selectedRow() const;
    [[nodiscard]] int lastRow() const;
    void writeEntryInto(int row);
    void setSwatch(int color);
    [[nodiscard]] ChannelSet setFromWindow() const;
    void setPanFile(const QString& fileName);
    [[nodiscard]] ChannelAlarmDef alarmDef(int row) const;
    void setAlarmDef(int row, const ChannelAlarmDef& def);
    [[nodiscard]] AlarmSettings alarmSettings() const;
    void saveAlarmFile(const QString& setPath, const ChannelSet& set);

    AppContext& m_context;

    QPushButton* m_butSave;
    QLabel* m_panFile;
    QLineEdit* m_edtTitle;
    QLineEdit* m_edtSam;
    QLineEdit* m_edtAddr;
    QLineEdit* m_edtCap;
    QLineEdit* m_edtReg;
    QLineEdit* m_edtDot;
    QLineEdit* m_edtMax;
    QLineEdit* m_edtMin;
    QFrame* m_shpCol;
    QToolButton* m_spbColor;
    QToolButton* m_spbEdt;
    QToolButton* m_spbDel;
    QToolButton* m_spbAlarm;
    ColumnGrid* m_grid;

    int m_swatch = 16777215;
    int m_dialogColor = 0;     // the colour dialog opens with the colour last chosen in it
    QString m_openName;        // the open dialog's file name
    QString m_saveName;        // the save dialog's file name, proposed at the next save
    QString m_handBack;        // what the caller is given (see SaveDialogFileName)
    bool m_alarmFileUnread = false; // the open set's alarm file could not be read
    bool m_alarmsEdited = false;    // limits changed since the set was opened or saved
};
