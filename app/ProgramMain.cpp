#include "app/ProgramMain.h"

#include <QApplication>

#include "app/FMainForm.h"
#include "app/SessionEnd.h"
#include "db/FData.h"
#include "db/FbClient.h"
#include "db/Installation.h"
#include "logview/ShowBackupLog.h"
#include "plan/FBackupForm.h"
#include "plan/Help.h"
#include "platform/Desktop.h"
#include "platform/Paths.h"
#include "platform/Translations.h"
#include "schedule/FProgramacion.h"

int ProgramMain(int argc, char* argv[]) {
    HoldTerminationSignals();
    // What this process writes (the embedded engine's backup files) holds
    // a company's books.
    RestrictNewFiles();
    const bool windowSystemChosen = platform::ChooseWindowSystem();
    QApplication app(argc, argv);
    // Programs started from here (the help's browser) choose their own.
    if (windowSystemChosen) qunsetenv("QT_QPA_PLATFORM");
    app.setApplicationName(QStringLiteral("Quillbase Backup"));
    platform::InstallToolkitTranslations(app);
    // The main window decides when the program ends: hiding it in the
    // notification area must not end the event loop.
    app.setQuitOnLastWindowClosed(false);

    SetHelpFileSource([] { return HelpFilePath(); });
    // The backup window's spProgramacion opens the schedule dialog.
    InstallScheduleDialogHook();
    TBackupForm::LogBrowserHook = [](TBackupForm& form) { ShowBackupLog(*Data, 0, &form); };
    auto* MainForm = new TMainForm();
    CloseOnTerminationRequest(MainForm);
    fb::SetLocalProvider(InstallationLocalProvider(platform::ExecutableDirectory()));
    if (fb::CurrentLocalProvider() == fb::LocalProvider::Embedded) PrepareEmbeddedEngineLocks();
    Data = new TData();
    MainForm->show();
    const int code = app.exec();

    delete Data;
    delete MainForm;
    fb::Shutdown();
    return code;
}
