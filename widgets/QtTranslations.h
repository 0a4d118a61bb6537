#pragma once

class QCoreApplication;

// Loads Qt's own Korean texts (file dialogs, standard buttons, Qt's own
// questions) whatever the desktop's language is. Returns false when the
// translation files are not installed; Qt then speaks English.
bool installQtKoreanTranslations(QCoreApplication& app);
