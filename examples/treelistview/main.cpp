// A window with a TTreeListView of three columns: the bodies of the solar
// system with their diameters and orbital periods. The texts of the two
// number columns live in the program's own table; the control asks for them
// row by row while it paints. Click a header to fit its column.
//
//   treelistview_example                      shows the window
//   treelistview_example --screenshot FILE    draws the window before and
//                                             after a click on each header
//                                             into FILE (PNG) and quits

#include <QApplication>
#include <QHash>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>
#include <QWidget>
#include <iterator>

#include "Treelistview.h"

namespace {

using Treelistview::TTreeListView;
using Treelistview::TTreeNode;

struct Body {
  const char* name;
  const char* diameter;  // km
  const char* period;    // days, around what the body orbits
  int level;
};

constexpr Body kBodies[] = {
    {"Sun", "1,392,700", "", 0},       {"Mercury", "4,879", "88", 1},      {"Venus", "12,104", "225", 1},
    {"Earth", "12,742", "365", 1},     {"Moon", "3,475", "27.3", 2},       {"Mars", "6,779", "687", 1},
    {"Phobos", "22", "0.32", 2},       {"Deimos", "12", "1.26", 2},        {"Jupiter", "139,820", "4,333", 1},
    {"Io", "3,643", "1.77", 2},        {"Europa", "3,122", "3.55", 2},     {"Ganymede", "5,268", "7.15", 2},
    {"Callisto", "4,821", "16.7", 2},  {"Saturn", "116,460", "10,759", 1}, {"Titan", "5,150", "15.9", 2},
    {"Uranus", "50,724", "30,687", 1}, {"Neptune", "49,244", "60,190", 1},
};

class SolarSystemWindow : public QWidget {
 public:
  SolarSystemWindow() {
    setWindowTitle(QStringLiteral("TTreeListView example"));
    view_ = new TTreeListView(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(view_);

    // Deliberately ill-fitting at first: a click on a header fits the
    // column to the texts on screen.
    Treelistview::THeaderSections* columns = view_->ColumnsGet();
    columns->Add(QStringLiteral("Body"), 150);
    columns->Add(QStringLiteral("Diameter"), 50, Treelistview::taRightJustify);
    columns->Add(QStringLiteral("Period"), 100, Treelistview::taCenter);
    view_->OnColumnDataGet = {this, &SolarSystemWindow::ColumnText};

    Fill();
    resize(400, 340);
  }

  TTreeListView& View() { return *view_; }

 private:
  void Fill() {
    Treelistview::TTreeNodes* items = view_->pTreeView()->Items();
    TTreeNode* parents[3] = {};
    for (const Body& body : kBodies) {
      TTreeNode* parent = body.level > 0 ? parents[body.level - 1] : nullptr;
      TTreeNode* node = items->AddChild(parent, QString::fromLatin1(body.name));
      parents[body.level] = node;
      bodies_.insert(node, &body);
    }
    view_->pTreeView()->FullExpand();
    view_->pTreeView()->SetSelected(items->TopItem(0)->Item(2));
  }

  void ColumnText(TTreeListView*, TTreeNode* node, int column, QString& text) {
    const Body* body = bodies_.value(node);
    if (body == nullptr) return;
    // A fitted column is exactly as wide as its widest text; the trailing
    // space keeps the right-justified column apart from the next one.
    if (column == 1) text = QString::fromLatin1(body->diameter) + QStringLiteral(" km ");
    if (column == 2 && body->period[0] != '\0') text = QString::fromLatin1(body->period) + QStringLiteral(" d");
  }

  TTreeListView* view_ = nullptr;
  QHash<const TTreeNode*, const Body*> bodies_;
};

void ClickEveryHeader(TTreeListView& view) {
  auto* header = view.findChild<Treelistview::THeaderControl*>();
  for (int column = 0; column < view.ColumnsGet()->Count(); ++column) {
    // Sections move as the ones before them are fitted.
    const Treelistview::THeaderSection* section = view.ColumnsGet()->Item(column);
    const QPointF centre((section->Left() + section->Right()) / 2.0, header->height() / 2.0);
    const QPointF global = header->viewport()->mapToGlobal(centre);
    QMouseEvent press(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(header->viewport(), &press);
    QApplication::sendEvent(header->viewport(), &release);
  }
}

int SaveScreenshot(SolarSystemWindow& window, const QString& file) {
  window.show();
  QApplication::processEvents();
  const QPixmap before = window.grab();
  ClickEveryHeader(window.View());
  QApplication::processEvents();
  const QPixmap after = window.grab();

  constexpr int kCaptionHeight = 22;
  constexpr int kGap = 12;
  QPixmap sheet(before.width() + kGap + after.width(), kCaptionHeight + std::max(before.height(), after.height()));
  sheet.fill(Qt::white);
  QPainter painter(&sheet);
  painter.drawText(QRect(0, 0, before.width(), kCaptionHeight), Qt::AlignCenter, QStringLiteral("as created"));
  painter.drawText(QRect(before.width() + kGap, 0, after.width(), kCaptionHeight), Qt::AlignCenter,
                   QStringLiteral("after a click on each header"));
  painter.drawPixmap(0, kCaptionHeight, before);
  painter.drawPixmap(before.width() + kGap, kCaptionHeight, after);
  painter.end();
  return sheet.save(file, "PNG") ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  SolarSystemWindow window;
  const QStringList arguments = QApplication::arguments();
  const qsizetype screenshot = arguments.indexOf(QStringLiteral("--screenshot"));
  if (screenshot >= 0 && screenshot + 1 < arguments.size()) return SaveScreenshot(window, arguments[screenshot + 1]);
  window.show();
  return QApplication::exec();
}
