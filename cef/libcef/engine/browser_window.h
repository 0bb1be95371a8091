// The top-level window of a browser that has no parent window: a popup.
#ifndef CEF_LIBCEF_ENGINE_BROWSER_WINDOW_H_
#define CEF_LIBCEF_ENGINE_BROWSER_WINDOW_H_
#pragma once

#include <functional>

#include <QPointer>
#include <QWidget>

namespace cef {

///
/// A top-level window whose one child, the engine view, fills it. It never
/// keeps the application running and is deleted once closed. Lives on the Qt
/// GUI thread.
///
class BrowserWindow : public QWidget {
 public:
  ///
  /// |owner| is the window that opened it, or null. An owned window is
  /// hidden when its owner is closed or hidden and deleted with it, as the
  /// windows of a closed application go. |close_requested| decides whether a
  /// close may go ahead now.
  ///
  BrowserWindow(QWidget* owner, std::function<bool()> close_requested);
  void SetContent(QWidget* content);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<bool()> close_requested_;
  QPointer<QWidget> content_;
};

}  // namespace cef

#endif  // CEF_LIBCEF_ENGINE_BROWSER_WINDOW_H_
