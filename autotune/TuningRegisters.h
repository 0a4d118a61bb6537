#pragma once
#include <QByteArray>
#include <QString>
#include <array>

// The registers the auto-tuning window reads and writes on one controller.

// One DRR read of the 32 tuning registers.
extern const QString kTuningReadBody;
// Register 0306 starts tuning with a choice 1 to 4 and stops it with 0.
extern const QString kTuningStopBody;
extern const QString kTuningPollBody;

// "DWS,01,0306,000n" for the radio choice index 0..3 ("1", "2", "3", "Auto").
[[nodiscard]] QString tuningStartBody(int choiceIndex);

// The window's step, kept for the whole run of the program.
enum TuningStep { ReadingSettings = 0, WritingStart = 1, Polling = 2, WritingStop = 3 };

// The body a tuning tick sends in the given step; empty when the step has
// no tick request (reading or stopping), so nothing goes out.
[[nodiscard]] QString tuningTickBody(int atStep, int choiceIndex);

// The displays filled from a 32-word reply.
struct TuningSettings {
    QString zone;   // "ON" / "OFF"
    QString dot;
    QString sv1, sv2, sv3;  // with the decimal point placed
    QString atm;    // "STD" / "LOW"
    // grid[col][row] for columns 1..3, rows 1..9; column 0 and row 0 unused.
    std::array<std::array<QString, 10>, 4> grid{};
};

// Word k (from 1) as a signed decimal value: BadHexValue when it holds a bad
// character or the reply ends before it.
[[nodiscard]] int tuningWordValue(const QByteArray& frame, int k);

[[nodiscard]] TuningSettings decodeTuningSettings(const QByteArray& frame);

// The most decimal places a controller shows.
inline constexpr int kMaxDot = 4;

// Places the point so that Dot digits follow it, when the Dot text sorts
// after "0"; digits shorter than Dot get leading zeros after the point.
[[nodiscard]] QString placeDecimalPoint(const QString& value, const QString& dot);
