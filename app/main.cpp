#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "app/FormMain.h"
#include "app/ProgramInfo.h"
#include "leveling/LevelingModule.h"

int main(int argc, char* argv[]) {
  if (const auto answer = ProgramInfo::Answer(std::vector<std::string>(argv + 1, argv + argc))) {
    std::fputs(answer->c_str(), stdout);
    return 0;
  }
  QApplication application(argc, argv);
  // QApplication set LC_NUMERIC from the environment; under a decimal comma every printf and
  // strtod in the libraries below (libxlsxwriter's numbers among them) would read and write it.
  std::setlocale(LC_NUMERIC, "C");
  QApplication::setApplicationName(QStringLiteral("levelbook"));
  QApplication::setDesktopFileName(QStringLiteral("com.example.levelbook"));

  // Every text the user meets is Chinese, the standard dialogs' buttons and file dialogs
  // included, whatever the desktop's locale. Without Qt's translation files they stay English.
  QTranslator qtTranslator;
  if (qtTranslator.load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTranslator);

  gaocheng::LevelingModule leveling;
  FormMain window(leveling, FormMain::QtHostFactory());
  window.show();
  // "levelbook FILE" opens FILE as 新建模板 and 打开 would.
  for (const QString& argument : QApplication::arguments().mid(1)) {
    if (argument == QLatin1String("--")) continue;
    window.OpenOnStart(argument);
    break;
  }
  return application.exec();
}
