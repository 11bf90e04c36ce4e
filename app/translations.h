// Qt's own Russian texts for the standard dialogs and buttons (file dialogs, "Отмена", "Закрыть", ...).
#pragma once

class QCoreApplication;

namespace Translations {

// Loads Qt's Russian translations (qtbase_ru) from Qt's translations folder; false when they are
// not installed, and the standard dialogs then stay in English.
bool Install(QCoreApplication *app);

} // namespace Translations
