#pragma once
// The toolkit's own texts (file and folder dialogs, the text fields' menu,
// standard buttons) in the program's language.

class QCoreApplication;
class QTranslator;

namespace platform {

// Loads Qt's Spanish translations from the toolkit's translations folder
// and installs them in `app`, which owns them. nullptr (and a warning on the
// terminal) when they are not installed: the toolkit then speaks English.
QTranslator* InstallToolkitTranslations(QCoreApplication& app);

}  // namespace platform
