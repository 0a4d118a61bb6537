#pragma once
#include <QFont>

// 굴림체 and 굴림 are the program's fonts; on Linux the Nanum fonts stand in
// (or Noto CJK, or the Un fonts, where Nanum is not installed).
void installFontSubstitutions();

[[nodiscard]] QFont gulimche(int points = 9);  // 굴림체
[[nodiscard]] QFont gulim(int points = 9);     // 굴림
