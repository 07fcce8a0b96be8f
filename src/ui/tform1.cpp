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

struct ItemEntry {
  const char* name;
  const char* caption;
};

struct MenuEntry {
  TopMenu menu;
  const char* name;
  const char* caption;
  const char* hint;
  std::vector<ItemEntry> items;  // none: the top-level entry is itself a command
};

const std::vector<MenuEntry>& MenuTable() {
  static const std::vector<MenuEntry> table = {
      {TopMenu::Aide,
       "Aide",
       "&Aide",
       "Informations et aides à l'utilisateur",
       {{"Aproposde1", "A propos de..."},
        {"Fonctionalitesdulogiciel1", "Fonctionalités du logiciel"},
        {"Guidedutilisation1", "Guide d'utilisation"}}},
      {TopMenu::Mixer1,
       "Mixer1",
       "&Table de mixage",
       "Réglage de la table de mixage par le logiciel ou par l'utilisateur",
       {{"Software_adjustment", "Software adjustment"},
        {"User_adjustment", "User adjustment"}}},
      {TopMenu::EntreGD1,
       "EntreGD1",
       "&Entrée son",
       "Sélection de l'entrée de la carte son: ligne gauche, droite ou microphone.",
       {{"Entree_Gauche", "Entrée ligne gauche"},
        {"Entree_Droite", "Entrée ligne droite"},
        {"Microphon", "Entrée microphone"}}},
      {TopMenu::Niveaudentre1,
       "Niveaudentre1",
       "&Niveau d'entrée",
       "Sélection de l'amplification du signal d'entrée BF (x2 à x8 pour cartes SB 16)",
       {{"x0_25", "x 0,25"},
        {"x0_5", "x 0,5"},
        {"x1", "x 1"},
        {"x2", "x 2"},
        {"x4", "x 4"},
        {"x8", "x 8"}}},
      {TopMenu::Actions1,
       "Actions1",
       "Ac&tions",
       "Lancement des différents filtres, réducteur de bruit et réjecteur",
       {{"Passe_bas", "Filtre passe-bas"},
        {"Passe_bande", "Filtre passe-bande"},
        {"Reducteur_bruit_general", "Réduction de bruit général"},
        {"Reducteur_bruit_CW_RTTY", "Réduction de bruit pour CW et RTTY "},
        {"BFO_numerique", "BFO numérique et inversion fréquentielle"},
        {"RejecteurporteuseparTFD", "Réjection d'une porteuse"}}},
      {TopMenu::Abandondulogiciel1, "Abandondulogiciel1", "A&bandon du logiciel", "", {}},
  };
  return table;
}

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

const char* TopMenuName(TopMenu menu) {
  return MenuTable()[static_cast<size_t>(menu)].name;
}

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
  for (const MenuEntry& entry : MenuTable()) {
    const auto index = static_cast<size_t>(entry.menu);
    QAction* top = nullptr;
    if (entry.items.empty()) {
      top = bar->addAction(QString::fromUtf8(entry.caption));
    } else {
      QMenu* menu = bar->addMenu(QString::fromUtf8(entry.caption));
      menu->setObjectName(QString::fromUtf8(entry.name) + QStringLiteral("Menu"));
      menus_[index] = menu;
      top = menu->menuAction();
      for (const ItemEntry& item : entry.items) {
        QAction* action = menu->addAction(QString::fromUtf8(item.caption));
        action->setObjectName(QString::fromUtf8(item.name));
        action->setProperty(kHintProperty, QString());
      }
    }
    top->setObjectName(QString::fromUtf8(entry.name));
    top->setProperty(kHintProperty, QString::fromUtf8(entry.hint));
    top->setVisible(model_.MenuVisible[index]);
    topActions_[index] = top;
  }
  // Narrowed if need be, so that the six menus stand on one line of the window.
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
  bar->setFont(font);
}

void TForm1::BuildPanels() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setFixedSize(kClientWidth, kClientHeight);
  setCentralWidget(client);
  for (int n = 1; n <= kPanelCount; ++n) {
    const PanelGeometry& g = PanelLayout(n);
    if (g.Width == 0) {
      continue;
    }
    auto* label = new QLabel(client);
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
    panels_[static_cast<size_t>(n)] = label;
    PanelChanged(n);
  }
}

void TForm1::InstallHintHandler() {
  if (hintsInstalled_) {
    return;
  }
  hintsInstalled_ = true;
  connect(menuBar(), &QMenuBar::hovered, this,
          [this](QAction* action) { ShowHintInStatusLine(HintOf(action)); });
  for (QMenu* menu : menus_) {
    if (menu != nullptr) {
      connect(menu, &QMenu::hovered, this,
              [this](QAction* action) { ShowHintInStatusLine(HintOf(action)); });
    }
  }
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

void TForm1::ShowSettingsCaptions(const SettingsCaptions& c) {
  const std::pair<const char*, const std::string*> items[] = {
      {"Software_adjustment", &c.Software_adjustment},
      {"User_adjustment", &c.User_adjustment},
      {"Entree_Gauche", &c.Entree_Gauche},
      {"Entree_Droite", &c.Entree_Droite},
      {"Microphon", &c.Microphon},
      {"x0_25", &c.x0_25},
      {"x0_5", &c.x0_5},
      {"x1", &c.x1},
      {"x2", &c.x2},
      {"x4", &c.x4},
      {"x8", &c.x8},
  };
  for (const auto& [name, caption] : items) {
    if (QAction* action = Item(name)) {
      action->setText(QString::fromStdString(*caption));
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
