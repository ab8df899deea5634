#pragma once
// The long options, taken out of the command line before anything else looks
// at it: what is left is searched for "-s" and "-m" as it always was, so a
// folder named after --config that holds "-s" switches nothing on.

#include <QString>
#include <QStringList>

namespace fetchora {

struct CommandLine {
    enum class Mode { Window, Headless, Once };
    Mode mode = Mode::Window;
    bool help = false;
    bool version = false;
    bool quiet = false;    // --quiet: only what went wrong is printed
    bool history = false;  // --history: the history window alone; takes no lock
    QString configFolder;  // --config DIR; empty: the usual application folder
    QStringList rest;      // everything else, in order
    QString error;         // not empty: the command line cannot be run
};

// `arguments` without the program's name.
CommandLine parseCommandLine(const QStringList &arguments);

// Whether a window can be shown: Qt's platform plugin (QT_QPA_PLATFORM, a
// list tried in order) finds its display. With none it would abort the
// program with a message about its plugins.
bool hasDisplay(const QByteArray &platform, const QByteArray &display, const QByteArray &waylandDisplay);

// What --help prints.
QString usageText();

}  // namespace fetchora
