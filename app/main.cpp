#include "FormMain.h"
#include "LevelingModule.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("levelbook"));
    QApplication::setDesktopFileName(QStringLiteral("levelbook"));

    gaocheng::LevelingModule leveling;
    FormMain window(leveling, FormMain::QtHostFactory());
    window.show();
    return application.exec();
}
