// Prints the stamps of a fixed moment in the locale the program would pick
// from this process's environment; the naming tests run it with chosen
// LC_ALL / LC_TIME / LANG, since the system locale is read once per process.

#include "mainwindow/cycle/StoredFileName.h"

#include <cstdio>

int main()
{
    using namespace fetchora;
    const QLocale locale = fileStampLocale();
    const QString line = shortDateText(QDate(2026, 12, 4), locale) + u'|' + longTimeText(QTime(19, 59, 58), locale);
    std::fputs(line.toUtf8().constData(), stdout);
    return 0;
}
