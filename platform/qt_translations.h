#pragma once

class QCoreApplication;

namespace quillon {

// Qt's own words (file dialogs, standard buttons, the text boxes' menus) in Brazilian
// Portuguese whatever the user's locale, since every other text of the program is
// Portuguese. Looked for beside the program first (Windows ships the catalogue
// there), then where Qt keeps its translations. False when no catalogue was found:
// the program still runs, with Qt's texts in English.
bool installQtTranslations(QCoreApplication& app);

} // namespace quillon
