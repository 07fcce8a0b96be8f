#pragma once
#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QStyle>
#include <QTimer>
#include <array>
#include <functional>
#include <memory>

#include "config/settings.hpp"
#include "sessions/main_window_model.hpp"
#include "ui/menu_table.hpp"

namespace velunda {

// The main window: caption "VELUNDA", a fixed 459 x 339 client area, the six menus of the menu
// table with their hints, the hint line Panel1, the rate box Panel15 and the twenty cells of the
// filter screens. It holds no logic: it mirrors the window model into its panels and menus,
// repainting a panel as soon as the model changes it, and says when a menu item is chosen.
class TForm1 final : public QMainWindow, public MainWindowView {
 public:
  explicit TForm1(MainWindowModel& model);
  ~TForm1() override;
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Highlighting a menu or an item writes its hint, or an empty line, into Panel1.
  void InstallHintHandler();

  // The menu item (or top-level menu's action) with that object name.
  QAction* Item(const char* objectName) const;
  QLabel* PanelLabel(int panel) const;
  // The settings items' captions, with their "...choisi(e)" marks.
  void ShowSettingsCaptions(const SettingsCaptions& captions);

  QTimer Timer1;
  // Asked before the window closes, whatever asked it to; false keeps it open.
  std::function<bool()> MayClose;

  void PanelChanged(int panel) override;
  void MenuVisibilityChanged(TopMenu menu) override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void AddBarEntry(const MenuRow& row, size_t index);
  void AddItem(const MenuRow& row, QMenu& menu);
  QFont MenuBarFont() const;
  void BuildPanels();
  QLabel* AddPanel(int n, QWidget& client);
  void ShowHintInStatusLine(const QString& hint);

  MainWindowModel& model_;
  std::array<QMenu*, kTopMenuCount> menus_{};
  std::array<QAction*, kTopMenuCount> topActions_{};
  std::array<QLabel*, kPanelCount + 1> panels_{};
  bool hintsInstalled_ = false;
};

}  // namespace velunda
