// Fetchora: fetches one file again and again and keeps every copy.

#include "shell/MessageBoxPrompt.h"
#include "mainwindow/SubMain.h"
#include "trace/modTraceLITE.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Fetchora"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/fetchora.png")));
    // The program ends when the main window has unloaded, even when it was
    // hidden in the tray at that moment.
    QApplication::setQuitOnLastWindowClosed(false);

    fetchora::MessageBoxPrompt prompt;
    fetchora::setTracePrompt(&prompt);

    fetchora::MainWindowSeams seams;
    seams.prompt = &prompt;
    seams.arguments = QApplication::arguments().mid(1);
    fetchora::SubMain(std::move(seams));

    if (!fetchora::g_frmMain)
        return 1;
    QObject::connect(fetchora::g_frmMain.get(), &fetchora::frmMain::unloaded, &app, &QCoreApplication::quit);
    const int rc = app.exec();
    fetchora::g_frmMain.reset();
    return rc;
}
