// The start-up peer: the least a Qt Widgets program does before its first
// window is on screen. Shows an empty window, says so on stdout, and quits.

#include <QApplication>
#include <QWidget>
#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(400, 300);
    window.show();
    std::printf("shown\n");
    std::fflush(stdout);
    return 0;
}
