// Start-up: the application object titled "Corvane", the main window created
// before the event loop, and any exception that escapes start-up shown in a
// message box. The process then ends with status 0 as after a normal end.

#include <QApplication>
#include <QMessageBox>

#include <exception>

#include "Mainform.h"
#include "command_line.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  // The application's title, also the caption of every error box. Not the
  // display name: Qt would append that to every window's caption.
  QApplication::setApplicationName(QStringLiteral("Corvane"));
  // Where the options the window keeps across runs are stored.
  QApplication::setOrganizationName(QStringLiteral("Corvane"));
  // Ties the window to the installed desktop entry, whose icon it shows.
  QGuiApplication::setDesktopFileName(QStringLiteral("corvane"));
  // After QApplication has taken its own options out of the arguments.
  corvane::SetCommandLineFromArguments(argc, argv);
  try {
    corvane::TMain main;
    main.show();
    QApplication::exec();
  } catch (const std::exception& error) {
    QMessageBox::critical(nullptr, QApplication::applicationName(), QString::fromLocal8Bit(error.what()));
  }
  return 0;
}
