#include "Aboutboxform.h"

#include <QFont>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

#include <algorithm>
#include <string>

#include "tree_icons.h"
#include "version_reader.h"
#include "window_fonts.h"

namespace corvane {
namespace {

constexpr int kClientWidth = 368;
constexpr int kClientHeight = 400;

// txtBuild as laid out: 288, 52, 73 x 13. Longer version texts widen it to
// the left, never past txtName's left edge, so the right edge stays lined up
// with the notes below; a taller font may grow it down to the notes' top.
constexpr int kBuildLeft = 288;
constexpr int kBuildTop = 52;
constexpr int kBuildWidth = 73;
constexpr int kBuildHeight = 13;
constexpr int kBuildRight = kBuildLeft + kBuildWidth;  // 361
constexpr int kBuildLeftmost = 78;                     // txtName's left
constexpr int kBuildLowest = 72;                       // AboutMe's top

const char* const kNotes =
    "Corvane shows what a Portable Executable file (a program, DLL, driver "
    "or control) links against.\n"
    "Each file you open gets a tree with:\n"
    "  - Stats: image base, code and data sizes, version;\n"
    "  - Exported APIs: what the file offers to others;\n"
    "  - each imported library, with the functions used.\n"
    "\n"
    "Files are opened read-only and are never run: Corvane only reads their "
    "headers and tables, and checks every offset before it reads.\n"
    "\n"
    "To look inside an imported library, right-click its branch and choose "
    "\"Inspect Library\" from the context menu: the library's own exports "
    "and imports are added under it, and its icon turns blue.\n"
    "\n"
    "Corvane keeps no settings: it writes nothing to your home folder or "
    "anywhere else.";

}  // namespace

TAboutBox::TAboutBox(QWidget* owner) : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QStringLiteral("About Me"));
  setWindowIcon(ProgramIcon());
  setFont(SansFont(QStringLiteral("MS Sans Serif"), 11));
  setFixedSize(kClientWidth, kClientHeight);
  setModal(true);

  btnOk = new QPushButton(QStringLiteral("&Ok"), this);
  btnOk->setGeometry(146, 368, 75, 25);
  btnOk->setDefault(true);
  btnOk->setToolTip(QStringLiteral("To Exit From Here..."));
  connect(btnOk, &QPushButton::clicked, this, &TAboutBox::btnOkClick);

  Image1 = new QLabel(this);
  Image1->setGeometry(8, 8, 57, 57);
  Image1->setAlignment(Qt::AlignCenter);
  Image1->setPixmap(ProgramIcon().pixmap(QSize(32, 32), devicePixelRatioF()));

  txtName = new QLabel(QStringLiteral("Corvane"), this);
  txtName->setGeometry(78, 13, 283, 37);
  txtName->setAlignment(Qt::AlignCenter);
  txtName->setFont(SansFont(QStringLiteral("Arial"), 32, true));
  txtName->setToolTip(QStringLiteral("So what?  It's the program name :)"));

  AboutMe = new QPlainTextEdit(this);
  AboutMe->setGeometry(8, 72, 353, 289);
  AboutMe->setReadOnly(true);
  AboutMe->setToolTip(QStringLiteral("Few notes about this program"));
  AboutMe->setPlainText(QString::fromUtf8(kNotes));

  txtBuild = new QLabel(this);
  txtBuild->setGeometry(kBuildLeft, kBuildTop, kBuildWidth, kBuildHeight);
  txtBuild->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  setTabOrder(btnOk, AboutMe);

  VS_FIXEDFILEINFO info;
  ShowBuild(ReadFixedFileInfo(&info, nullptr) ? &info : nullptr);
}

void TAboutBox::ShowBuild(const VS_FIXEDFILEINFO* info) {
  const std::string version =
      info != nullptr ? FormatVersion(info->dwFileVersionMS, info->dwFileVersionLS) : std::string("0.0.0.0");
  txtBuild->setText(QStringLiteral("version: ") + QString::fromStdString(version));
  const QSize needed = txtBuild->sizeHint();
  const int width = std::clamp(needed.width(), kBuildWidth, kBuildRight - kBuildLeftmost);
  const int height = std::clamp(needed.height(), kBuildHeight, kBuildLowest - kBuildTop);
  txtBuild->setGeometry(kBuildRight - width, kBuildTop, width, height);
}

void TAboutBox::btnOkClick() { accept(); }

void TAboutBox::showEvent(QShowEvent* event) {
  // Centred on the screen the owner is on (the dialog's own without one);
  // not again when the window system re-shows it, e.g. after minimising.
  if (!event->spontaneous()) {
    QScreen* target = parentWidget() != nullptr ? parentWidget()->screen() : screen();
    if (target != nullptr) {
      QRect frame = frameGeometry();
      frame.moveCenter(target->availableGeometry().center());
      move(frame.topLeft());
    }
  }
  QDialog::showEvent(event);
}

}  // namespace corvane
