// Start-up: --help and --version answered without a display, the
// application object titled "Corvane", the main window created before the
// event loop, and any exception that escapes start-up shown in a message box.
// The process then ends with status 0 as after a normal end.

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <exception>

#include "Mainform.h"
#include "startup_arguments.h"

int main(int argc, char** argv) {
  corvane::StartupArguments arguments(argc, argv);
  if (arguments.Answer()) {
    std::fputs(arguments.Answer()->c_str(), stdout);
    return 0;
  }
  QApplication application(arguments.QtArgc(), arguments.QtArgv());
  // The application's title, also the caption of every error box. Not the
  // display name: Qt would append that to every window's caption.
  QApplication::setApplicationName(QStringLiteral("Corvane"));
  // With the name, where the View menu's options are kept (~/.config/Corvane/).
  QApplication::setOrganizationName(QStringLiteral("Corvane"));
  // Ties the window to the installed desktop entry, whose icon it shows.
  QGuiApplication::setDesktopFileName(QStringLiteral("corvane"));
  // After QApplication has taken its own options out of the arguments.
  arguments.SetCommandLine();
  try {
    corvane::TMain main;
    main.show();
    QApplication::exec();
  } catch (const std::exception& error) {
    QMessageBox::critical(nullptr, QApplication::applicationName(), QString::fromLocal8Bit(error.what()));
  }
  return 0;
}
