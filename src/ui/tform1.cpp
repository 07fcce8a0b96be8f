#include "ui/tform1.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QLayout>
#include <QMenuBar>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>
#include <algorithm>

namespace velunda {
namespace {

constexpr int kClientWidth = 459;
constexpr int kClientHeight = 339;
const char* const kHintProperty = "hint";

QFont PanelFont(bool bold) {
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setPixelSize(bold ? 13 : 11);
  font.setBold(bold);
  return font;
}

// A text wider than its cell in the fallback face is narrowed until it fits.
void FitFont(QLabel& label, QFont font, const QString& text) {
  const int room = label.contentsRect().width() - label.indent() - 2;
  for (int stretch = 100; stretch > 60 && room > 0; stretch -= 3) {
    font.setStretch(stretch);
    if (QFontMetrics(font).horizontalAdvance(text) <= room) {
      break;
    }
  }
  if (label.font() != font) {
    label.setFont(font);
  }
}

// Narrow menu-bar items: the six menus stand on one line of the 459-pixel window even in a
// face wider than the one the window was drawn for.
class NarrowMenuBarStyle final : public QProxyStyle {
 public:
  QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                         const QWidget* widget) const override {
    if (type == CT_MenuBarItem) {
      if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option)) {
        const QSize text = item->fontMetrics.size(Qt::TextShowMnemonic, item->text);
        return {text.width() + 8, std::max(size.height(), text.height() + 4)};
      }
    }
    return QProxyStyle::sizeFromContents(type, option, size, widget);
  }
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    if (metric == PM_MenuBarItemSpacing || metric == PM_MenuBarHMargin) {
      return 0;
    }
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

QString HintOf(const QAction* action) {
  return action == nullptr ? QString() : action->property(kHintProperty).toString();
}

}  // namespace

TForm1::TForm1(MainWindowModel& model) : model_(model) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("VELUNDA"));
  // A title bar without buttons: the program is left through its menu.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFont(PanelFont(false));
  BuildMenus();
  BuildPanels();
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  move(97, 45);
  model_.View = this;

  Timer1.setObjectName(QStringLiteral("Timer1"));
  Timer1.setInterval(10);
  Timer1.start();
}

TForm1::~TForm1() {
  if (model_.View == this) {
    model_.View = nullptr;
  }
}

void TForm1::BuildMenus() {
  QMenuBar* bar = menuBar();
  bar->setNativeMenuBar(false);
  bar->setFont(PanelFont(false));
  auto* style = new NarrowMenuBarStyle;
  style->setParent(bar);
  bar->setStyle(style);
  size_t top = 0;
  for (const MenuRow& row : MenuRows()) {
    if (row.onBar) {
      AddBarEntry(row, top++);
    } else {
      AddItem(row, *menus_[top - 1]);
    }
  }
  bar->setFont(MenuBarFont());
}

void TForm1::AddBarEntry(const MenuRow& row, size_t index) {
  QAction* action = nullptr;
  if (std::holds_alternative<OpenMenu>(row.command)) {
    QMenu* menu = menuBar()->addMenu(QString::fromUtf8(row.caption));
    menu->setObjectName(QString::fromUtf8(row.name) + QStringLiteral("Menu"));
    menus_[index] = menu;
    action = menu->menuAction();
  } else {
    action = menuBar()->addAction(QString::fromUtf8(row.caption));
  }
  action->setObjectName(QString::fromUtf8(row.name));
  action->setProperty(kHintProperty, QString::fromUtf8(row.hint));
  action->setVisible(model_.MenuVisible[index]);
  topActions_[index] = action;
}

void TForm1::AddItem(const MenuRow& row, QMenu& menu) {
  QAction* action = menu.addAction(QString::fromUtf8(row.caption));
  action->setObjectName(QString::fromUtf8(row.name));
  action->setProperty(kHintProperty, QString::fromUtf8(row.hint));
}

// Narrowed if need be, so that the six menus stand on one line of the window.
QFont TForm1::MenuBarFont() const {
  QFont font = PanelFont(false);
  for (int stretch = 100; stretch > 60; stretch -= 3) {
    font.setStretch(stretch);
    const QFontMetrics metrics(font);
    int width = 0;
    for (const QAction* action : topActions_) {
      width += metrics.size(Qt::TextShowMnemonic, action->text()).width() + 8;
    }
    if (width <= kClientWidth - 4) {
      break;
    }
  }
  return font;
}

void TForm1::BuildPanels() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);
  for (int n = 1; n <= kPanelCount; ++n) {
    if (PanelLayout(n).Width != 0) {
      panels_[static_cast<size_t>(n)] = AddPanel(n, *client);
      PanelChanged(n);
    }
  }
}

QLabel* TForm1::AddPanel(int n, QWidget& client) {
  const PanelGeometry& g = PanelLayout(n);
  auto* label = new QLabel(&client);
  label->setObjectName(QStringLiteral("Panel%1").arg(n));
  label->setFrameStyle(QFrame::Panel | QFrame::Raised);
  label->setLineWidth(1);
  label->setGeometry(g.Left, g.Top, g.Width, g.Height);
  label->setFont(PanelFont(g.Bold));
  label->setAlignment((g.Align == PanelAlign::Centre ? Qt::AlignHCenter : Qt::AlignLeft) |
                      Qt::AlignVCenter);
  label->setIndent(g.Align == PanelAlign::Centre ? 0 : 3);
  label->setTextFormat(Qt::PlainText);
  label->setAutoFillBackground(true);
  return label;
}

void TForm1::InstallHintHandler() {
  if (hintsInstalled_) {
    return;
  }
  hintsInstalled_ = true;
  // The menu bar also reports the items highlighted in its menus.
  connect(menuBar(), &QMenuBar::hovered, this,
          [this](QAction* action) { ShowHintInStatusLine(HintOf(action)); });
}

void TForm1::ShowHintInStatusLine(const QString& hint) {
  SetPanelText(model_, 1, hint.toStdString());
}

QAction* TForm1::Item(const char* objectName) const {
  return findChild<QAction*>(QString::fromUtf8(objectName));
}

QLabel* TForm1::PanelLabel(int panel) const {
  return panel >= 1 && panel <= kPanelCount ? panels_[static_cast<size_t>(panel)] : nullptr;
}

void TForm1::ShowSettingsCaptions(const SettingsCaptions& captions) {
  for (const MenuRow& row : MenuRows()) {
    if (const auto* setting = std::get_if<SettingCommand>(&row.command)) {
      Item(row.name)->setText(QString::fromStdString(captions.*(setting->caption)));
    }
  }
}

void TForm1::PanelChanged(int panel) {
  QLabel* label = PanelLabel(panel);
  if (label == nullptr) {
    return;
  }
  const PanelCell& cell = Panel(model_, panel);
  const QString text = QString::fromStdString(cell.Text);
  FitFont(*label, PanelFont(PanelLayout(panel).Bold), text);
  label->setText(text);
  QPalette palette = label->palette();
  palette.setColor(QPalette::Window, cell.Colour == PanelColour::Red
                                         ? QColor(Qt::red)
                                         : QGuiApplication::palette().color(QPalette::Button));
  label->setPalette(palette);
  label->setVisible(cell.Visible);
  // The session loop does not go back to the event loop between blocks: paint now.
  if (label->isVisible()) {
    label->repaint();
  }
}

void TForm1::MenuVisibilityChanged(TopMenu menu) {
  const auto index = static_cast<size_t>(menu);
  if (index < topActions_.size() && topActions_[index] != nullptr) {
    topActions_[index]->setVisible(model_.MenuVisible[index]);
    menuBar()->repaint();
  }
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (MayClose && !MayClose()) {
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace velunda
