// The tests of widgets (the window's, the control's, the message layer's)
// need one QApplication for the whole run, made before any test and after
// GoogleTest has taken its own arguments.

#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Listing the tests (as the build does to register them) needs no display.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  // Run by hand, the tests still need no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // As at start-up: the title every error box carries.
  QApplication::setApplicationName(QStringLiteral("Corvane"));
  // The View menu's options are kept in a folder of the run's own, never in
  // the user's.
  QApplication::setOrganizationName(QStringLiteral("Corvane"));
  const QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  return RUN_ALL_TESTS();
}
